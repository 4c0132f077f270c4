#include "bench/bench_maps.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bsp/level.h"
#include "tests/unit/test_maps.h"
#include "tools/bsp_writer.h"

namespace {

constexpr int kGridSizes[] = {1000, 5000, 20000, 60000};
constexpr const char* kRealMaps[] = {"tiny-room", "cube", "libre-e1m1"};

// Fills in what the benchmarks report per map, from the file itself.
bool Describe(BenchMap& map) {
  FILE* file = fopen(map.path.c_str(), "rb");
  if (file == nullptr) return false;
  BspModel world = {};
  bool ok = fread(&map.header, sizeof map.header, 1, file) == 1 &&
            fseek(file, map.header.lumps[kModelsLump].offset, SEEK_SET) == 0 &&
            fread(&world, sizeof world, 1, file) == 1;
  fclose(file);
  if (!ok) return false;
  const BspLump* lumps = map.header.lumps;
  map.faceCount = static_cast<uint16_t>(lumps[kFacesLump].length / sizeof(BspFace));
  map.worldFaces = world.faceTotal;
  map.bytesLoaded = sizeof(BspHeader) + sizeof(BspModel) +
                    uint64_t{map.faceCount} * sizeof(BspFace) +
                    uint64_t{lumps[kEdgesLump].length / sizeof(BspEdge)} * sizeof(BspEdge) +
                    uint64_t{lumps[kSurfEdgesLump].length / sizeof(SurfEdge)} * sizeof(SurfEdge) +
                    uint64_t{static_cast<uint16_t>(lumps[kVerticesLump].length /
                                                   sizeof(BspVertex))} * sizeof(BspVertex);
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
  for (int size : kGridSizes) {
    BenchMap map = {};
    map.name = "grid-" + std::to_string(size);
    map.path = std::string(scratch) + "/" + map.name + ".bsp";
    map.scratch = true;
    if (WriteBspFile(map.path, BspBytes(GridMap(size))) != 0 || !Describe(map)) {
      fprintf(stderr, "could not write %s\n", map.path.c_str());
      RemoveBenchMaps(maps);
      std::error_code ignored;
      std::filesystem::remove_all(scratch, ignored);
      return {};
    }
    maps.push_back(map);
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
    if (!map.scratch) continue;
    std::filesystem::remove(map.path, ignored);
    std::filesystem::remove(std::filesystem::path(map.path).parent_path(), ignored);
  }
}

void ForgetMap() { ResetMapState(); }

int LoadMap(const BenchMap& map) {
  ResetMapState();
  if (OpenBspFile(map.path.c_str()) != 0) return 1;
  return LoadLevel();
}
