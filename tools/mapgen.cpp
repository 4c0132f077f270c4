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
    "  mapgen halflife OUT.bsp the room as version 30, its texture in the mivo.wad it names\n"
    "  mapgen wad OUT.wad      that WAD (WAD3)\n"
    "  mapgen bspx OUT.bsp     the room lit through BSPX lumps: HDR samples laid out\n"
    "                          by a matrix a face, with 16-bit styles\n"
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

// The room around the starting view; each face's texture runs along the
// two axes its plane spans.
MapDraft Room() {
  MapDraft map;
  AddRoom(map, {352, 160, 0}, {736, 800, 192});
  map.entities = "{\n\"classname\" \"worldspawn\"\n}\n"
                 "{\n\"classname\" \"info_player_start\"\n\"origin\" \"544 288 32\"\n\"angle\" \"90\"\n}\n";
  map.texInfos = {BspTexInfo{{1, 0, 0, 0}, {0, 1, 0, 0}, 0, 0}, BspTexInfo{{0, 1, 0, 0}, {0, 0, 1, 0}, 0, 0},
                  BspTexInfo{{1, 0, 0, 0}, {0, 0, 1, 0}, 0, 0}};
  for (size_t f = 0; f < map.faces.size(); ++f) map.faces[f].texInfo = int16_t(f / 2);  // z, x, y
  return map;
}

// A 16 x 16 checker of colours 1 and 2, its own palette making them red and
// white.
MiptexDraft Checker() {
  MiptexDraft texture{"WALL", 16, 16, {}, std::vector<uint8_t>(768, 0)};
  for (int i = 0; i < 256; ++i) texture.indices.push_back(uint8_t((i / 64 + i % 16 / 4) % 2 + 1));
  for (int c : {3, 6, 7, 8}) texture.palette[size_t(c)] = 255;
  return texture;
}

// The room lit with 4 x 4 samples a face, laid out by a matrix that spans
// the face; samples HDR and mono, one style, numbered in 16 bits.
std::vector<uint8_t> BspxRoom() {
  MapDraft map = Room();
  const float mins[3] = {352, 160, 0}, size[3] = {384, 640, 192};
  std::vector<uint8_t> shifts, offsets, styles, decoupled, hdr;
  auto put = [](std::vector<uint8_t>& out, const void* value, size_t n) {
    out.insert(out.end(), static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + n);
  };
  for (size_t f = 0; f < map.faces.size(); ++f) {
    map.faces[f].styles[0] = 0;
    map.faces[f].lightOffset = int32_t(16 * f);
    const BspTexInfo& info = map.texInfos[size_t(map.faces[f].texInfo)];
    const uint16_t sides[2] = {4, 4}, style[2] = {0, 0xFFFF};
    put(decoupled, sides, 4);
    put(decoupled, &map.faces[f].lightOffset, 4);
    for (const float* axis : {info.s, info.t}) {
      const int a = axis[0] != 0 ? 0 : axis[1] != 0 ? 1 : 2;
      float row[4] = {0, 0, 0, -3 * mins[a] / size[a]};
      row[a] = 3 / size[a];
      put(decoupled, row, 16);
    }
    shifts.push_back(4);
    put(offsets, &map.faces[f].lightOffset, 4);
    put(styles, style, 4);
    for (int i = 0; i < 16; ++i) {
      map.lighting.push_back(uint8_t(64 + 8 * i));
      const uint32_t e5bgr9 = 17u << 27 | uint32_t(32 + 4 * i) << 18 | uint32_t(16 + 4 * i) << 9 | uint32_t(32 + 16 * i);
      put(hdr, &e5bgr9, 4);
    }
  }
  return WithBspx(BspBytes(map), {{"LMSHIFT", shifts}, {"LMOFFSET", offsets}, {"LMSTYLE16", styles},
                                  {"DECOUPLED_LM", decoupled}, {"LIGHTING_E5BGR9", hdr}});
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
  std::vector<uint8_t> ready;  // a file made whole, written as it is
  if (kind == "grid" && argc == 4) {
    int count = 0;
    if (!ParseCount(argv[2], version == 29 ? kMaxGridFaces : kMaxWideGridFaces, &count)) {
      return Usage();
    }
    if (version == 29) {
      map = GridMap(count);
    } else {
      ready = Bsp2QuadBytes(GridQuads(count));
      ready[0] = static_cast<uint8_t>(version);  // BSP2 or 2PSB: the same records
      ready[1] = static_cast<uint8_t>(version >> 8);
      ready[2] = static_cast<uint8_t>(version >> 16);
      ready[3] = static_cast<uint8_t>(version >> 24);
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
  } else if (kind == "halflife") {
    map = Room();
    map.version = 30;
    map.entities.insert(map.entities.find('}'), "\"wad\" \"\\half-life\\valve\\MIVO.wad\"\n");
    map.rawLumps[kTexturesLump] = MiptexLump({{"WALL", 16, 16, {}, {}}});
    out = argv[2];
  } else if (kind == "wad" || kind == "bspx") {
    out = argv[2];
    ready = kind == "wad" ? WadBytes({Checker()}, true) : BspxRoom();
  } else {
    return Usage();
  }
  std::vector<uint8_t> bytes = BspBytes(map);
  if (!ready.empty()) {
    bytes = ready;
  } else if (version != 29) {
    bytes = Bsp2Bytes(bytes, version);
  }
  if (WriteBspFile(out, bytes) != 0) {
    fprintf(stderr, "mapgen: cannot write %s: %s\n", out, strerror(errno));
    return 1;
  }
  if (kind == "wad") {
    printf("%s: WAD3 of 1 texture\n", out);
    return 0;
  }
  const BspHeader header = HeaderOf(bytes);
  const size_t faceSize = version == 29 ? sizeof(BspFace) : sizeof(Bsp2Face);
  printf("%s: %zu faces, %zu vertices\n", out, header.lumps[kFacesLump].length / faceSize,
         header.lumps[kVerticesLump].length / sizeof(BspVertex));
  return 0;
}
