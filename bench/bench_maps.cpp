#include "bench/bench_maps.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bsp/level.h"
#include "bsp/pak.h"
#include "tests/unit/support.h"
#include "tools/bsp_writer.h"

namespace {

constexpr int kGridSizes[] = {1000, 5000, 20000, 60000};
constexpr int kWideGridSizes[] = {100000, 300000};  // BSP2 only: past 16-bit indices
constexpr const char* kRealMaps[] = {"tiny-room", "cube", "libre-e1m1", "clay-bsp2"};

// Fills in what the benchmarks report per map, as the viewer reads it.
bool Describe(BenchMap& map) {
  ResetMapState();
  MessagesOnStderr = true;
  bool ok = OpenMap(map.path.c_str()) == 0 && LoadLevel() == 0;
  map.header = BspFile.header;
  map.wide = Level.format == kBsp2Format;
  map.faceCount = Level.faceCount;
  map.worldFaces = Level.worldModel.faceTotal;
  map.bytesLoaded = sizeof(BspHeader) + sizeof(BspModel) +
                    uint64_t{Level.faceCount} * (map.wide ? sizeof(Bsp2Face) : sizeof(BspFace)) +
                    uint64_t{Level.edgeCount} * (map.wide ? sizeof(Bsp2Edge) : sizeof(BspEdge)) +
                    uint64_t{Level.surfEdgeCount} * sizeof(SurfEdge) +
                    uint64_t{Level.vertexCount} * sizeof(BspVertex);
  map.triangleBytes = uint64_t{Level.triangles.cornerCount} * 25;
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
  for (const char* name : kRealMaps) {
    BenchMap map = {};
    map.name = name;
    map.path = std::string(realDir) + "/" + name + ".bsp";
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
    if (map.scratch)
      std::filesystem::remove_all(std::filesystem::path(map.path).parent_path(), ignored);
  }
}

void ForgetMap() { ResetMapState(); }

int LoadMap(const BenchMap& map) {
  ResetMapState();
  if (OpenMap(map.path.c_str()) != 0) return 1;
  return LoadLevel();
}
