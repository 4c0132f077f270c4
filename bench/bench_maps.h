// The maps the load and frame benchmarks run on: grid maps of about 1,000,
// 5,000, 20,000 and 60,000 faces, the largest also as BSP2 and inside a pak,
// BSP2 grids of 100,000 and 300,000 faces, all written by the BSP writer
// into a scratch directory; then the real maps when MIVO_REAL_MAPS names
// their directory, each opened from a game folder laid out in the scratch
// directory (GAME/maps/NAME.bsp, linked, with its portal file NAME.prt
// beside it where it has one), with the shared palette as
// GAME/gfx/palette.lmp so that their textures show.
//
//   std::vector<BenchMap> maps = PrepareBenchMaps();
//   ... register and run benchmarks on maps[i].path ...
//   RemoveBenchMaps(maps);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bsp/bsp_file.h"

struct BenchMap {
  std::string name;  // "grid-1000", "libre-e1m1"
  std::string path;
  bool scratch;         // written here, removed by RemoveBenchMaps
  BspHeader header;     // the file's lump directory
  uint32_t faceCount;   // face records: what loading colours
  int32_t worldFaces;   // faces of the world model: what a frame draws
  uint64_t bytesLoaded; // header, world model and the four whole lumps
  bool wide;              // BSP2 or 2PSB
  uint64_t surfaceBytes;  // the surfaces and corner arrays built at load
  uint64_t lightBytes;    // the light pages
  uint64_t textureBytes;  // the textures' texels, as expanded when first shown (GL adds a third for mip levels)
  int lightPages;
  int textures;           // shown
  bool views;             // worth timing in every view, culled and not
  bool portals;           // a portal file of its own lies beside it
};

// Returns the maps, or an empty list after saying on stderr what failed.
// Says on stderr when the real maps are skipped.
std::vector<BenchMap> PrepareBenchMaps();

void RemoveBenchMaps(const std::vector<BenchMap>& maps);

// Closes the map file and frees the level, as at program start.
void ForgetMap();

// OpenMap and LoadLevel on a fresh process state, and the portal file
// beside the map, as the viewer reads them. Returns 0 on success.
int LoadMap(const BenchMap& map);
