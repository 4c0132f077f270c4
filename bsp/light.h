// The light a map's compiler baked into it: where the samples come from
// (the light lump, coloured by a BSPX lump or a .lit file beside the map),
// how each face's grid of samples lies on it, and the pages of light-map
// texels the views draw with.
//
//   ReadLightSamples();                      once, after the faces are loaded
//   grid = LightGridOf(...);                 per face
//   PackLightMaps(grids);                    places and fills every block
#pragma once

#include <cstdint>
#include <vector>

#include "bsp/level.h"

// Fills Level.light's samples, channels, offsetScale and source.
void ReadLightSamples();

// A face's light: its state, and for a face with samples of its own, where
// its grid lies (in samples, 16 texels apart) and where its block went.
struct LightGrid {
  SurfaceLight light;
  bool dark;        // light mapped onto black: no samples of its own
  int smin, tmin;   // the grid's first sample lies at s = 16 smin, t = 16 tmin
  int width, height;
  int styleCount;
  uint64_t byteOffset;  // of its first sample
  int page, x, y;       // its block, a border of one texel around the grid
};

// How a face with texture info `texInfo` (or none: -1 or out of range),
// these light fields and corners spanning [sMin, sMax] x [tMin, tMax]
// texels is lit.
LightGrid LightGridOf(bool haveTexInfo, bool special, const uint8_t styles[4],
                      int32_t lightOffset, float sMin, float sMax, float tMin, float tMax);

// Places every light-mapped grid in the pages, fills them (each style at
// full strength, summed, capped at 255 a channel; a border repeating the
// grid's edge), and sets each grid's page, x and y. Dark grids share a
// black block.
void PackLightMaps(std::vector<LightGrid*>& grids);
