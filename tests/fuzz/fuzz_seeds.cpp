// fuzz_seeds OUTDIR: writes small sound maps in shapes mapgen's maps do
// not have, as starting points for the map fuzzer: a world model that
// starts after other models' faces, faces of zero to two corners, surface
// edges walked backwards and surface edge 0. Exit 0 when all are written.
#include <cstdio>
#include <string>

#include "tools/bsp_writer.h"

namespace {

// A room and a pillar, the world model owning the pillar's faces only:
// the room's faces come first, as if they belonged to a door.
MapDraft WorldAfterOtherModels() {
  MapDraft map;
  AddRoom(map, {0, 0, 0}, {1088, 1024, 256});
  AddBlock(map, {480, 600, 0}, {608, 728, 128});
  map.models = {BspModel{{}, 6, 6}, BspModel{{}, 0, 6}};
  return map;
}

// A triangle in front of the eye drawn by faces of 0, 1, 2 and 3 corners,
// one of which walks edge 0 backwards and one of which has a corner count
// that reads as negative.
MapDraft DegenerateFaces() {
  MapDraft map;
  map.vertices = {{480, 600, 0}, {544, 600, 64}, {608, 600, 0}};
  map.edges = {{0, 2}, {0, 1}, {1, 2}};
  map.surfEdges = {1, 2, 0, -2, -1};
  for (int16_t corners : {0, 1, 2, 3}) map.faces.push_back(BspFace{{}, 0, corners, {}});
  map.faces.push_back(BspFace{{}, 2, 3, {}});
  map.faces.push_back(BspFace{{}, 99, -3, {}});
  return map;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: fuzz_seeds OUTDIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  int failed = 0;
  failed |= WriteBspFile(dir + "/world-after-other-models.bsp", BspBytes(WorldAfterOtherModels()));
  failed |= WriteBspFile(dir + "/degenerate-faces.bsp", BspBytes(DegenerateFaces()));
  if (failed != 0) perror("fuzz_seeds");
  return failed;
}
