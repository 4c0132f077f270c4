#include "bench/bench_maps.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/light.h"
#include "bsp/pak.h"
#include "bsp/textures.h"
#include "tests/unit/support.h"
#include "tools/bsp_writer.h"

namespace {

constexpr int kGridSizes[] = {1000, 5000, 20000, 60000};
constexpr int kWideGridSizes[] = {100000, 300000};  // BSP2 only: past 16-bit indices
constexpr const char* kRealMaps[] = {"tiny-room",       "cube",
                                     "libre-e1m1",      "clay-bsp2",
                                     "e4m4-bsp2-sub64", "e4m4-bsp2-sub64-fastvis",
                                     "e4m4-bsp2-sub64-novis"};

// Fills in what the benchmarks report per map, as the viewer reads it.
bool Describe(BenchMap& map) {
  MessagesOnStderr = true;
  bool ok = LoadMap(map) == 0;
  map.header = BspFile.header;
  map.wide = Level.format == kBsp2Format;
  map.faceCount = Level.faceCount;
  map.worldFaces = Level.worldModel.faceTotal;
  map.bytesLoaded = sizeof(BspHeader) + sizeof(BspModel) +
                    uint64_t{Level.faceCount} * (map.wide ? sizeof(Bsp2Face) : sizeof(BspFace)) +
                    uint64_t{Level.edgeCount} * (map.wide ? sizeof(Bsp2Edge) : sizeof(BspEdge)) +
                    uint64_t{Level.surfEdgeCount} * sizeof(SurfEdge) +
                    uint64_t{Level.vertexCount} * sizeof(BspVertex);
  const Corners& c = Level.corners;
  map.surfaceBytes = Level.surfaces.size() * sizeof(Surface) +
                     (c.positions.size() + c.textureCoords.size() + c.lightCoords.size()) * 4;
  // What the views that show light and textures make of them when first shown.
  FillLightPages();
  ExpandTextures();
  map.lightBytes = Level.light.pages.size();
  map.portals = !Portals.path.empty();
  map.lightPages = Level.light.pageCount;
  map.textureBytes = 0;
  map.textures = 0;
  for (const Texture& texture : Level.textures) {
    map.textureBytes += texture.texels.size() + texture.brights.size();
    map.textures += texture.width > 0;
  }
  ResetMapState();
  return ok;
}

bool Write(std::vector<BenchMap>& maps, const std::string& dir, const std::string& name,
           const std::vector<uint8_t>& bytes) {
  BenchMap map = {};
  map.name = name;
  map.path = dir + "/" + name + ".bsp";
  map.scratch = true;
  if (WriteBspFile(map.path, bytes) != 0 || !Describe(map)) {
    fprintf(stderr, "could not write %s\n", map.path.c_str());
    return false;
  }
  maps.push_back(map);
  return true;
}

}  // namespace

std::vector<BenchMap> PrepareBenchMaps() {
  std::vector<BenchMap> maps;
  char scratch[] = "/tmp/mivo-bench-XXXXXX";
  if (mkdtemp(scratch) == nullptr) {
    perror("mkdtemp");
    return {};
  }
  bool written = true;
  for (int size : kGridSizes) {
    const std::vector<uint8_t> bytes = BspBytes(GridMap(size));
    written = written && Write(maps, scratch, "grid-" + std::to_string(size), bytes);
    if (size == kGridSizes[std::size(kGridSizes) - 1]) {
      // The same map as BSP2, and inside a pak.
      written = written &&
                Write(maps, scratch, "grid-" + std::to_string(size) + "-bsp2", Bsp2Bytes(bytes));
      const std::string pak = std::string(scratch) + "/pak0.pak";
      written = written && WriteBspFile(pak, PakBytes({{"maps/grid.bsp", bytes}})) == 0;
      BenchMap inPak = maps[maps.size() - 2];
      inPak.name += "-pak";
      inPak.path = pak + "/maps/grid.bsp";
      inPak.scratch = false;
      maps.push_back(inPak);
    }
  }
  for (int size : kWideGridSizes) {
    written = written && Write(maps, scratch, "grid-" + std::to_string(size) + "-bsp2",
                               Bsp2QuadBytes(GridQuads(size)));
    maps.back().views = size == kWideGridSizes[std::size(kWideGridSizes) - 1];
  }
  if (!written) {
    RemoveBenchMaps(maps);
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return {};
  }
  const char* realDir = getenv("MIVO_REAL_MAPS");
  if (realDir == nullptr || *realDir == '\0') {
    fprintf(stderr, "MIVO_REAL_MAPS is not set: skipping the real maps.\n");
    return maps;
  }
  namespace fs = std::filesystem;
  const fs::path game = fs::path(scratch) / "game";
  std::error_code error;
  fs::create_directories(game / "maps", error);
  fs::create_directories(game / "gfx", error);
  fs::copy_file(fs::path(realDir) / "libre-palette.lmp", game / "gfx" / "palette.lmp", error);
  for (const char* name : kRealMaps) {
    BenchMap map = {};
    map.name = name;
    map.path = (game / "maps" / (std::string(name) + ".bsp")).string();
    map.views = map.name != "tiny-room" && map.name != "cube";
    fs::create_symlink(fs::absolute(fs::path(realDir) / (std::string(name) + ".bsp")), map.path,
                       error);
    // The portal file the compiler left beside the map, beside it here too.
    const fs::path portals = fs::path(realDir) / (std::string(name) + ".prt");
    if (fs::exists(portals, error)) {
      fs::create_symlink(fs::absolute(portals), game / "maps" / (std::string(name) + ".prt"), error);
    }
    if (!Describe(map)) {
      fprintf(stderr, "skipping %s: cannot read it\n", map.path.c_str());
      continue;
    }
    maps.push_back(map);
  }
  return maps;
}

void RemoveBenchMaps(const std::vector<BenchMap>& maps) {
  std::error_code ignored;
  for (const BenchMap& map : maps) {
    // The grids lie in the scratch directory itself, the real maps two
    // folders down; the grids come first.
    if (map.scratch) {
      std::filesystem::remove_all(std::filesystem::path(map.path).parent_path(), ignored);
      return;
    }
  }
}

void ForgetMap() { ResetMapState(); }

int LoadMap(const BenchMap& map) {
  ResetMapState();
  if (OpenMap(map.path.c_str()) != 0 || LoadLevel() != 0) return 1;
  LoadPortals(CompilerFilesOf(OpenedMap)[2]);  // as the viewer reads it beside the map
  return 0;
}
