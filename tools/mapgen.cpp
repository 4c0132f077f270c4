// mapgen: writes the maps the project makes for itself: the demo level the
// build installs, and test and benchmark maps.
//
//   mapgen demo OUT.bsp      exit 0 written, 1 not written, 2 bad arguments
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/bsp_writer.h"

namespace {

constexpr int kMaxGridFaces = 64000;  // beyond this the vertices outgrow 16 bits

const char kUsage[] =
    "usage: mapgen KIND [N] OUT.bsp\n"
    "  mapgen demo OUT.bsp     the demo level around the starting view\n"
    "  mapgen grid N OUT.bsp   N small faces filling the starting view (0 to 64000)\n"
    "  mapgen room OUT.bsp     one room of six faces around the starting view\n"
    "  mapgen empty OUT.bsp    a valid map with no faces\n";

int Usage() {
  fputs(kUsage, stderr);
  return 2;
}

// A whole decimal number within [0, limit], nothing else.
bool ParseCount(const char* text, int limit, int* count) {
  if (text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > limit) return false;
  *count = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 3) return Usage();
  std::string kind = argv[1];
  MapDraft map;
  const char* out = nullptr;
  if (kind == "grid" && argc == 4) {
    int count = 0;
    if (!ParseCount(argv[2], kMaxGridFaces, &count)) return Usage();
    map = GridMap(count);
    out = argv[3];
  } else if (argc != 3) {
    return Usage();
  } else if (kind == "demo") {
    map = DemoMap();
    out = argv[2];
  } else if (kind == "room") {
    // Wide enough that the first frame shows the floor, the far wall and
    // the ceiling; the eye stands 128 in from the back wall.
    AddRoom(map, {352, 160, 0}, {736, 800, 192});
    out = argv[2];
  } else if (kind == "empty") {
    out = argv[2];
  } else {
    return Usage();
  }
  if (WriteBspFile(out, BspBytes(map)) != 0) {
    fprintf(stderr, "mapgen: cannot write %s: %s\n", out, strerror(errno));
    return 1;
  }
  printf("%s: %zu faces, %zu vertices\n", out, map.faces.size(), map.vertices.size());
  return 0;
}
