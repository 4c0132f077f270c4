// The light a map's compiler baked into it: where the samples come from
// (the light lump, coloured or given a range beyond 255 by a BSPX lump or a
// .lit file beside the map), how each face's grid of samples lies on it (by
// its texture, at 16 texels a sample or another spacing, or by a matrix of
// its own), and the pages of light-map texels the views draw with.
//
//   ReadLightSamples();                      once, after the faces are loaded
//   grid = LightGridOf(...);                 per face
//   PlaceLightMaps(grids);                   places every block in the pages
//   FillLightPages();                        when a view first shows light
//   SetStyleValues(values);                  as the styles' strengths change
//   RefreshLightBlock(grid);                 for each grid drawn
#pragma once

#include <cstdint>
#include <vector>

#include "bsp/level.h"

// Fills Level.light's samples and what they are, and the BSPX lumps that
// replace a face's own light fields. Needs Level.faceCount.
void ReadLightSamples();

// How face record `face`, with texture info (`haveTexInfo`, special: sky or
// liquid) or without, these light fields of its record and corners
// spanning [sMin, sMax] x [tMin, tMax] texels is lit. Changes nothing.
LightGrid LightGridOf(uint32_t face, bool haveTexInfo, bool special, const uint8_t styles[4],
                      int32_t lightOffset, float sMin, float sMax, float tMin, float tMax);

// Appends the styles of a grid that is kept to Level.light.styles, where
// its firstStyle then points; `styles` are its face record's own.
void KeepStyles(LightGrid& grid, const uint8_t styles[4]);

// The light-map matrix of face record `face` (2 rows of 4) when its light is
// laid out apart from its texture, else null.
const float* LightMatrixOf(uint32_t face);

// How many texels, borders included, the grids of a map may take in all:
// four times the samples it holds, and a page or four for small maps.
// Compilers lay out about two texels a sample; only faces that name the
// same samples over and over take more, and past this they show full
// bright.
uint64_t LightTexelBudget();

// Places every light-mapped grid in the pages: sets each grid's page, x and
// y, and Level.light.pageCount; dark grids share a black block. Keeps the
// grids with samples of their own in Level.light.grids for FillLightPages.
void PlaceLightMaps(std::vector<LightGrid*>& grids);

// Fills Level.light.pages from the placed grids, unless they are filled,
// each block as ComposeLightBlock makes it.
void FillLightPages();

// Writes the block of `grid` into `pages` (pageCount pages of RGB texels):
// each style's samples times its strength (Level.light.styleValues),
// summed, capped at 255 a channel, grey for mono samples; a border of one
// texel repeating the grid's edge. An HDR sample of value v counts as 128 v.
void ComposeLightBlock(const LightGrid& grid, uint8_t* pages);

// Sets each style's strength (Level.light.styleValues; a style past the end
// of `values` is at full strength). Styles whose strength changes are
// marked, so that RefreshLightBlock knows which blocks are out of date.
void SetStyleValues(const std::vector<float>& values);

// Composes the grid's block in Level.light.pages again when the strength of
// one of its styles changed since it was last composed. Needs the pages
// filled. Returns whether it did.
bool RefreshLightBlock(LightGrid& grid);
