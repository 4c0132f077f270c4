// mapgen: writes the maps the project makes for itself: the demo level the
// build installs, and test and benchmark maps.
//
//   mapgen [--format bsp2|2psb] KIND [N] OUT.bsp   exit 0 written, 1 not, 2 bad arguments
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/bsp_writer.h"

namespace {

constexpr int kMaxGridFaces = 64000;  // beyond this the vertices outgrow 16 bits
constexpr int kMaxWideGridFaces = 4000000;

const char kUsage[] =
    "usage: mapgen [--format bsp2|2psb] KIND [N] OUT.bsp\n"
    "  version 29 unless --format names another\n"
    "  mapgen demo OUT.bsp     the demo level around the starting view\n"
    "  mapgen grid N OUT.bsp   N small faces filling the starting view (0 to 64000;\n"
    "                          4000000 as BSP2 or 2PSB)\n"
    "  mapgen room OUT.bsp     one room of six faces around the starting view\n"
    "  mapgen empty OUT.bsp    a valid map with no faces\n"
    "  mapgen alive OUT.bsp    panels with a pulsing light, water, sky, a fence and an\n"
    "                          animated texture, for the map's clock\n"
    "  mapgen pak OUT.pak NAME=FILE...   a pak holding each FILE as NAME\n";

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

int WritePak(const char* out, int count, char** files) {
  std::vector<PakFile> entries;
  for (int i = 0; i < count; ++i) {
    const char* equals = strchr(files[i], '=');
    if (equals == nullptr) return Usage();
    FILE* file = fopen(equals + 1, "rb");
    if (file == nullptr) {
      fprintf(stderr, "mapgen: cannot read %s: %s\n", equals + 1, strerror(errno));
      return 1;
    }
    std::vector<uint8_t> bytes;
    for (int c; (c = fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    fclose(file);
    entries.emplace_back(std::string(files[i], static_cast<size_t>(equals - files[i])), bytes);
  }
  if (WriteBspFile(out, PakBytes(entries)) != 0) {
    fprintf(stderr, "mapgen: cannot write %s: %s\n", out, strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 2 && strcmp(argv[1], "pak") == 0) return WritePak(argv[2], argc - 3, argv + 3);
  int32_t version = 29;
  if (argc > 2 && strcmp(argv[1], "--format") == 0) {
    if (strcmp(argv[2], "bsp2") == 0) {
      version = kBsp2Version;
    } else if (strcmp(argv[2], "2psb") == 0) {
      version = k2psbVersion;
    } else {
      return Usage();
    }
    argc -= 2;
    argv += 2;
  }
  if (argc < 3) return Usage();
  std::string kind = argv[1];
  MapDraft map;
  const char* out = nullptr;
  std::vector<uint8_t> wideGrid;
  if (kind == "grid" && argc == 4) {
    int count = 0;
    if (!ParseCount(argv[2], version == 29 ? kMaxGridFaces : kMaxWideGridFaces, &count)) {
      return Usage();
    }
    if (version == 29) {
      map = GridMap(count);
    } else {
      wideGrid = Bsp2QuadBytes(GridQuads(count));
      wideGrid[0] = static_cast<uint8_t>(version);  // BSP2 or 2PSB: the same records
      wideGrid[1] = static_cast<uint8_t>(version >> 8);
      wideGrid[2] = static_cast<uint8_t>(version >> 16);
      wideGrid[3] = static_cast<uint8_t>(version >> 24);
    }
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
  } else if (kind == "alive") {
    map = AliveMap();
    out = argv[2];
  } else if (kind == "empty") {
    out = argv[2];
  } else {
    return Usage();
  }
  std::vector<uint8_t> bytes = BspBytes(map);
  if (!wideGrid.empty()) {
    bytes = wideGrid;
  } else if (version != 29) {
    bytes = Bsp2Bytes(bytes, version);
  }
  if (WriteBspFile(out, bytes) != 0) {
    fprintf(stderr, "mapgen: cannot write %s: %s\n", out, strerror(errno));
    return 1;
  }
  const BspHeader header = HeaderOf(bytes);
  const size_t faceSize = version == 29 ? sizeof(BspFace) : sizeof(Bsp2Face);
  printf("%s: %zu faces, %zu vertices\n", out, header.lumps[kFacesLump].length / faceSize,
         header.lumps[kVerticesLump].length / sizeof(BspVertex));
  return 0;
}
