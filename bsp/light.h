// The light a map's compiler baked into it: where the samples come from
// (the light lump, coloured by a BSPX lump or a .lit file beside the map),
// how each face's grid of samples lies on it, and the pages of light-map
// texels the views draw with.
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

// Fills Level.light's samples, channels, offsetScale and source.
void ReadLightSamples();

// How a face with texture info `texInfo` (or none: -1 or out of range),
// these light fields and corners spanning [sMin, sMax] x [tMin, tMax]
// texels is lit.
LightGrid LightGridOf(bool haveTexInfo, bool special, const uint8_t styles[4],
                      int32_t lightOffset, float sMin, float sMax, float tMin, float tMax);

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
// texel repeating the grid's edge.
void ComposeLightBlock(const LightGrid& grid, uint8_t* pages);

// Sets each style's strength (Level.light.styleValues; a style past the end
// of `values` is at full strength). Styles whose strength changes are
// marked, so that RefreshLightBlock knows which blocks are out of date.
void SetStyleValues(const std::vector<float>& values);

// Composes the grid's block in Level.light.pages again when the strength of
// one of its styles changed since it was last composed. Needs the pages
// filled. Returns whether it did.
bool RefreshLightBlock(LightGrid& grid);
