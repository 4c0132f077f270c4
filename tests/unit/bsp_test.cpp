// Reading map files and loading the level: the readers' contract, the
// colours, and what each kind of damaged file leaves the user with.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <array>
#include <functional>
#include <iostream>
#include <sstream>
#include <tuple>

#include "app/watch.h"
#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "tests/unit/support.h"

namespace {

const std::string kReadError = "Error reading bsp file (truncated or damaged?)\n";
const std::string kReferenceError =
    "Error: bsp file is damaged (bad face, edge or vertex reference).\n";
const std::string kSharedCorners =
    "Error: bsp file is damaged (its faces walk far more corners than it holds).\n";

// Six faces facing in; edge 0 is the writer's unused dummy, as compilers
// leave it.
MapDraft Room() {
  MapDraft map;
  AddRoom(map, {352, 160, 0}, {736, 800, 192});
  return map;
}

Bytes Changed(const std::function<void(MapDraft&)>& change) {
  MapDraft map = Room();
  change(map);
  return BspBytes(map);
}

Bytes WithVersion(Bytes bytes, int32_t version) {
  BspHeader header = HeaderOf(bytes);
  header.version = version;
  SetHeader(bytes, header);
  return bytes;
}

// `bytes` (a map of the room, or a BSP2 map) with `faces` faces that all
// walk the same `corners` surface edges, made that long with zeros, which
// walk edge 0 to vertex 0.
Bytes SharedCorners(Bytes b, int faces, uint32_t corners) {
  const bool wide = HeaderOf(b).version != 29;
  const uint32_t size = wide ? 28 : 20;
  BspHeader h = HeaderOf(b);
  h.lumps[13] = {static_cast<int32_t>(b.size()), corners * 4};
  h.lumps[7] = {h.lumps[13].offset + int32_t(corners * 4), uint32_t(faces) * size};
  b.resize(b.size() + corners * 4 + faces * size);
  for (int f = 0; f < faces; ++f) {
    uint8_t* face = &b[h.lumps[7].offset + size * f];
    if (wide) memcpy(face + 12, &corners, 4);
    else memcpy(face + 8, &corners, 2);
  }
  memcpy(&b[h.lumps[14].offset + 56], std::array<int32_t, 2>{0, faces}.data(), 8);  // the world's faces
  SetHeader(b, h);
  return b;
}

// `faces` faces 4,080 units square whose texture vectors are s = x and
// t = y, all lit from the first sample: each names the same 256 x 256 grid.
Bytes SharedLight(int faces) {
  MapDraft map;
  for (int i = 0; i < faces; ++i) AddRect(map, {0, 0, 0}, {4080, 4080, 0}, Facing::kPlusZ);
  for (BspFace& face : map.faces) {
    face.lightOffset = 0;
    memcpy(face.styles, "\0\xff\xff\xff", 4);
  }
  map.texInfos = {BspTexInfo{{1, 0, 0, 0}, {0, 1, 0, 0}, 0, 0}};
  map.lighting.assign(256 * 256, 128);
  return BspBytes(map);
}

BspModel World(int32_t faceStart, int32_t faceTotal) {
  BspModel model{};
  std::tie(model.faceStart, model.faceTotal) = std::tie(faceStart, faceTotal);
  return model;
}

class Bsp : public testing::Test {
 protected:
  void TearDown() override { ResetMapState(); }
};

}  // namespace

TEST_F(Bsp, DamagedFilesAreRefusedWithTheirMessage) {
  const Bytes good = BspBytes(Room());
  const BspHeader header = HeaderOf(good);
  const int64_t end = static_cast<int64_t>(good.size());
  struct Case {
    std::string what;
    Bytes bytes;
    std::string outcome;
    std::function<bool()> bounded = nullptr;  // what the loaded level may cost
  };
  std::vector<Case> cases = {
      {"sound", good, "loads"},
      {"empty file", {}, "open fails"},
      {"cut inside the header", Bytes(good.begin(), good.begin() + 123), "open fails"},
      {"entities past the end", WithLump(good, 0, end + 9, 99), "loads"},
      {"entities of 2^32 - 1 bytes", WithLump(good, 0, 0, UINT32_MAX), "loads"},
      {"faces lump 5 bytes over a record", WithLump(good, 7, header.lumps[7].offset,
                                                    header.lumps[7].length + 5), "loads"},
      // Counted in 16 bits: 4,294,967,295 / 20 keeps 52,428 faces, more
      // than the file holds.
      {"faces lump of 2^32 - 1 bytes", WithLump(good, 7, header.lumps[7].offset, UINT32_MAX),
       kReadError},
      {"world model's faces past the lump", Changed([](MapDraft& m) { m.models = {World(1, 6)}; }),
       kReferenceError},
      {"negative first face", Changed([](MapDraft& m) { m.models = {World(-1, 2)}; }),
       kReferenceError},
      {"no world faces, any start", Changed([](MapDraft& m) { m.models = {World(-9, 0)}; }),
       "loads"},
      {"surface edges past the lump",
       Changed([](MapDraft& m) { m.faces[5].surfEdgeStart = int32_t(m.surfEdges.size()) - 3; }),
       kReferenceError},
      {"negative first surface edge", Changed([](MapDraft& m) { m.faces[0].surfEdgeStart = -1; }),
       kReferenceError},
      {"faces without corners, any start", Changed([](MapDraft& m) {
         m.faces[0] = m.faces[1] = BspFace{};
         m.faces[0].surfEdgeStart = m.faces[1].surfEdgeStart = -7;
         m.faces[1].surfEdgeTotal = -1;
       }), "loads"},
      {"edge past the lump", Changed([](MapDraft& m) { m.surfEdges[2] = int32_t(m.edges.size()); }),
       kReferenceError},
      {"walked back, edge past the lump",
       Changed([](MapDraft& m) { m.surfEdges[2] = -int32_t(m.edges.size()); }), kReferenceError},
      {"start vertex past the lump",
       Changed([](MapDraft& m) { m.edges[m.surfEdges[0]].startVertex = 8; }), kReferenceError},
      {"end vertex past the lump, never walked from", Changed([](MapDraft& m) {
         m.edges[m.surfEdges[0]].endVertex = 8;
         for (SurfEdge& s : m.surfEdges) s = s < 0 ? -s : s;
       }), "loads"},
      // Zero walks edge 0 from its end.
      {"surface edge 0, end vertex past the lump",
       Changed([](MapDraft& m) { m.surfEdges[0] = 0, m.edges[0] = {0, 8}; }), kReferenceError},
      {"surface edge 0, start vertex past the lump",
       Changed([](MapDraft& m) { m.surfEdges[0] = 0, m.edges[0] = {8, 0}; }), "loads"},
  };
  // Other formats: Half-Life's has the same records; BSP2 and 2PSB wider
  // ones; anything else is refused before a lump is read.
  const Bytes wide = Bsp2Bytes(good);
  const BspLump wideEdges = HeaderOf(wide).lumps[12];
  Bytes badVertex = wide;
  badVertex[wideEdges.offset + 8] = 8;  // edge 1's start: vertex 8 of 8
  cases.insert(cases.end(), {
      {"version 30", WithVersion(good, 30), "loads"},
      {"BSP2", wide, "loads"},
      {"2PSB", Bsp2Bytes(good, k2psbVersion), "loads"},
      {"BSP2 vertex past a 32-bit count", badVertex, kReferenceError},
      {"BSP2 faces lump of 2^32 - 1 bytes", WithLump(wide, 7, HeaderOf(wide).lumps[7].offset,
                                                     UINT32_MAX), kReadError},
      {"BSP2 faces walking one run of surface edges over and over",
       SharedCorners(Bsp2QuadBytes({{}}), 65, 1 << 20), kSharedCorners},
      {"IBSP", WithVersion(good, 0x50534249), "Error: unsupported bsp version (IBSP).\n"},
      {"38", WithVersion(good, 38), "Error: unsupported bsp version (38).\n"},
      {"text", Bytes(200, 'x'), "Error: unsupported bsp version (xxxx).\n"},
  });
  const char* names[] = {"vertices", "faces", "edges", "surface edges", "models"};
  int i = 0;
  for (int lump : {3, 7, 12, 13, 14}) {
    const BspLump at = header.lumps[lump];
    cases.push_back({std::string(names[i]) + " run past the end",
                     WithLump(good, lump, end - 2, at.length), kReadError});
    cases.push_back({std::string(names[i++]) + " at a negative offset",
                     WithLump(good, lump, -at.length, at.length), kReadError});
  }
  // Hostile files, small but costly: what they cost follows what they hold.
  cases.insert(cases.end(), {
      {"1,000 faces naming one 256 x 256 grid of light samples", SharedLight(1000), "loads", [] {
         int fullBright = 0;
         for (const Surface& surface : Level.surfaces) fullBright += surface.light == kFullBright;
         return Level.light.pageCount <= 20 && fullBright >= 980;
       }},
      {"a texture directory of a million entries", Changed([](MapDraft& m) {
         m.rawLumps[2] = Bytes(4 + 4'000'000, 0xFF);
         memcpy(m.rawLumps[2]->data(), std::array<int32_t, 1>{1'000'000}.data(), 4);
       }), "loads", [] { return Level.textures.size() <= 1 && Level.textureEntryCount == 1'000'000; }},
      {"faces walking one run of surface edges over and over",
       SharedCorners(good, 200, 32767), kSharedCorners},
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Outcome(c.bytes), c.outcome);
    if (c.bounded) {
      EXPECT_TRUE(c.bounded());
    }
  }
}

TEST_F(Bsp, PaksOpenTheirMapsAsTheGameFindsThemAndDamagedOnesSayWhy) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / ("mivo-paks-" + std::to_string(getpid()));
  fs::create_directories(dir / "id1");
  const Bytes room = BspBytes(Room()), demo = BspBytes(DemoMap());  // 6 and 331 faces
  const Bytes pak = PakBytes({{"maps/start.bsp", room}, {"MAPS/E1M1.BSP", demo}, {"x", {1}}});
  const size_t directory = pak.size() - 3 * 64;  // then maps/start.bsp's name, offset, length
  const std::string game = (dir / "id1").string();
  WriteBspFile(game + "/PAK0.PAK", PakBytes({{"maps/e1m1.bsp", room}}));
  WriteBspFile(game + "/pak1.pak", pak);
  // pak1 with `count` bytes at `at` made `value`, the last four of them as a number.
  auto file = [&](size_t at, int32_t value, size_t count = 4) {
    Bytes b = pak;
    memset(&b[at], 'x', count - 4);
    memcpy(&b[at + count - 4], &value, 4);
    const std::string path = dir.string() + "/bad" + std::to_string(at + value) + ".pak";
    WriteBspFile(path, b);
    return path;
  };
  const std::string kPakError = "Error reading pak file (truncated or damaged?)\n";
  const struct {
    std::string path, outcome;
  } cases[] = {
      {game + "/pak1.pak/maps/e1m1.bsp", "loads 331"},
      {game + "/pak1.pak", "loads 6"},
      {game + "/maps/e1m1.bsp", "loads 331"},  // pak1 before PAK0
      {game + "/MAPS/start.bsp", "loads 6"},
      {game + "/PAK0.PAK", "Error: " + game + "/PAK0.PAK holds no maps/start.bsp. Its maps: "
                                              "maps/e1m1.bsp.\n"},
      {game + "/pak1.pak/maps/e1m2.bsp", "Error opening bsp file (not found?)\n"},
      {game + "/maps/e1m2.bsp", "Error opening bsp file (not found?)\n"},
      {"maps/e1m1.bsp", "loads 331"},  // from inside the game folder
      {file(0, 0x58434150), kPakError},  // "PACX"
      {file(4, int32_t(pak.size())), kPakError},
      {file(8, 63), kPakError},
      {file(directory + 60, int32_t(pak.size())), kPakError},
      {file(directory + 56, -1), kPakError},
      {file(directory + 60, -1), kPakError},
      {file(directory, 0x78787878, 56), kPakError},  // a name without its zero byte
      // The models lump, last in the map, runs past the entry's end into
      // the next file of the pak.
      {file(directory + 60, int32_t(room.size() - 8)) + "/maps/start.bsp", kReadError},
  };
  const fs::path cwd = fs::current_path();
  fs::current_path(game);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ResetMapState();
    testing::internal::CaptureStderr();
    const int status = OpenMap(c.path.c_str()) != 0 ? 1 : LoadLevel();
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status == 0 ? "loads " + std::to_string(Level.faceCount) : shown, c.outcome);
  }
  fs::current_path(cwd);
  fs::create_directories(game + "/maps");  // a loose file wins
  WriteBspFile(game + "/maps/e1m1.bsp", room);
  ResetMapState();
  EXPECT_EQ(OpenMap((game + "/maps/e1m1.bsp").c_str()), 0);
  EXPECT_EQ(BspFile.size, INT64_MAX) << "the loose file, not an entry";
  fs::remove_all(dir);
}

TEST_F(Bsp, ColouredLightAndThePaletteAreFoundWhereTheGameKeepsThem) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / ("mivo-beside-" + std::to_string(getpid()));
  for (const char* folder : {"mod/maps", "mod/gfx", "ID1/Gfx"}) fs::create_directories(dir / folder);
  const std::string map = (dir / "mod/maps/m.bsp").string();
  MapDraft draft = Room();
  draft.lighting = {1, 2, 3, 4};
  Bytes bytes = BspBytes(draft);
  WriteBspFile(map, bytes);
  auto load = [](const std::string& path) {
    ResetMapState();
    EXPECT_EQ(OpenMap(path.c_str()) == 0 ? LoadLevel() : 1, 0) << path;
    return std::string(Level.light.source) + ", " + Level.paletteSource;
  };
  // A .lit file: "QLIT", version 1, 3 bytes for each of the 4 samples (or
  // 0x10001, 4 bytes of HDR); one cut short, one of another version and one
  // that is no .lit are passed over.
  const std::string mono = "mono (the light lump), ", coloured = "coloured (.lit file), ";
  Bytes lit(20, 7);
  memcpy(lit.data(), "QLIT\1\0\0\0", 8);
  Bytes cut = lit, version2 = lit, other = lit, hdr(24, 7);
  memcpy(hdr.data(), "QLIT\1\0\1\0", 8);
  cut.pop_back(), version2[4] = 2, other[3] = 'X';
  for (const auto& [file, outcome] :
       {std::pair{lit, coloured}, {hdr, "coloured HDR (.lit file), "}, {cut, mono}, {version2, mono}, {other, mono}}) {
    WriteBspFile((dir / "mod/maps/m.lit").string(), file);
    EXPECT_EQ(load(map), outcome);
  }
  const Bytes palette(768, 0);
  WriteBspFile((dir / "mod/pak2.pak").string(),
               PakBytes({{"maps/p.bsp", bytes}, {"MAPS/P.LIT", lit}, {"gfx/palette.lmp", palette}}));
  for (const char* pak : {"mod/pak0.pak", "mod/pak1.pak", "ID1/pak0.pak"})
    WriteBspFile((dir / pak).string(), PakBytes({{"GFX/PALETTE.LMP", palette}}));
  WriteBspFile((dir / "mod/gfx/palette.lmp").string(), palette);
  WriteBspFile((dir / "ID1/Gfx/palette.lmp").string(), palette);
  EXPECT_EQ(load((dir / "mod/pak2.pak/maps/p.bsp").string()),
            coloured + (dir / "mod/pak2.pak/gfx/palette.lmp").string());
  // The map's own folder, its paks from the highest, then id1's: each
  // found until it is gone.
  fs::remove(dir / "mod/pak2.pak");
  fs::remove(dir / "mod/maps/m.lit");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir / "mod");  // maps/m.bsp from inside the game folder
  EXPECT_EQ(load("maps/m.bsp"), mono + "./gfx/palette.lmp");
  fs::current_path(cwd);
  for (const char* found : {"mod/gfx/palette.lmp", "mod/pak1.pak", "mod/pak0.pak", "ID1/Gfx/palette.lmp", "ID1/pak0.pak"}) {
    const std::string where = (dir / found).string();
    EXPECT_EQ(load(map), mono + where + (where.ends_with(".pak") ? "/gfx/palette.lmp" : ""));
    fs::remove(dir / found);
  }
  // No palette; and a BSPX directory running past the file is passed over.
  const char bspx[] = "BSPX\xff\0\0\0";
  bytes.resize((bytes.size() + 3) / 4 * 4);
  bytes.insert(bytes.end(), bspx, bspx + 8);
  WriteBspFile(map, bytes);
  EXPECT_EQ(load(map), mono);
  fs::remove_all(dir);
}

TEST_F(Bsp, LevelDrawsThreeColoursAFaceAndIsFreedOnce) {
  BspVertex vertex;
  EXPECT_EQ(ReadVertices(&vertex), 1) << "no file open yet";
  ASSERT_EQ(LoadBytes(BspBytes(Room())), 0);
  EXPECT_EQ(OpenBspFile("/proc/self/exe"), 1) << "a second open";
  EXPECT_EQ(NextRandom(), 4827) << "six faces draw exactly 18 values, the 19th comes next";
  FreeLevel();
  FreeLevel();
  EXPECT_TRUE(Level.faces == nullptr && Level.edges == nullptr && Level.surfEdges == nullptr &&
              Level.vertices == nullptr && Level.faceColors == nullptr);
  ASSERT_EQ(LoadBytes(BspBytes(MapDraft{})), 0);
  EXPECT_EQ(RandomState, 1u) << "no faces, no colours drawn";
}

TEST_F(Bsp, CountsCutFacesAndVerticesTo16Bits) {
  const uint32_t cases[][3] = {{7, 45, 2}, {7, 65536 * 20, 0}, {7, 65537 * 20, 1}, {3, 13, 1},
                               {3, 65536 * 12, 0}, {3, 65537 * 12 + 11, 1},
                               {12, UINT32_MAX, UINT32_MAX / 4}, {13, 65536 * 4, 65536}};
  for (const auto& [lump, length, count] : cases) {
    BspFile.header.lumps[lump].length = length;
    EXPECT_EQ(lump == 7 ? CountFaces() : lump == 3 ? CountVertices() : lump == 12 ? CountEdges()
                                                                                  : CountSurfEdges(),
              count) << "lump " << lump << ", " << length << " bytes";
  }
}

namespace {

[[noreturn]] void LoadHugeEdges() {
  Bytes bytes = WithLump(BspBytes(Room()), 12, 124, 0xFFFFFFF0u);
  rlimit limit = {1u << 30, 1u << 30};
  setrlimit(RLIMIT_AS, &limit);
  bool failed = LoadBytes(bytes) == 1;
  bool partial = Level.faces != nullptr && Level.faceColors != nullptr &&
                 Level.edgeCount == 0x3FFFFFFC && Level.edges == nullptr &&
                 Level.surfEdges == nullptr && Level.surfEdgeCount == 0;
  FreeLevel();
  exit(failed && partial ? 0 : 1);
}

}  // namespace

TEST(BspDeathTest, FailedAllocationSaysWhichAndLeavesThePartForFreeLevel) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
  EXPECT_EXIT(LoadHugeEdges(), testing::ExitedWithCode(0), "Error allocating edges array\\.");
}

TEST(Entities, PlayerStartIsTheFirstInfoPlayerStartElseDeathmatch) {
  const struct {
    const char* what;
    std::string text;
    PlayerStart start;
  } cases[] = {
      {"start", "{\n\"classname\" \"info_player_start\"\n\"origin\" \"544 288 32\"\n\"angle\" \"90\"\n}",
       {true, {544, 288, 32}, 90}},
      {"start after deathmatch", R"({"classname" "info_player_deathmatch" "origin" "1 2 3"}
        {"origin" "-1.5 2e1 3" "classname" "info_player_start" "angle" "east"})",
       {true, {-1.5f, 20, 3}, 0}},
      {"deathmatch; a bad origin passed over", R"({"classname" "info_player_start" "origin" "1 2"}
        {"classname" "info_player_deathmatch" "origin" "4 5 6" "angle" "-0.5"})",
       {true, {4, 5, 6}, -0.5f}},
      {"damage after a deathmatch start", R"({"classname" "info_player_deathmatch" "origin"
        "7 8 9"} junk {"classname" "info_player_start" "origin" "1 2 3"})", {true, {7, 8, 9}, 0}},
      {"none", R"({"classname" "worldspawn"})", {}},
      {"unterminated", R"({"classname" "info_player_start" "origin" "1 2 3)", {}},
      {"unclosed", R"({"classname" "info_player_start" "origin" "1 2 3")", {}},
      {"nonsense", "\x01\xff{}", {}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    // Exactly the text's bytes, unterminated, so reading past them is caught.
    const std::vector<char> text(c.text.begin(), c.text.end());
    const PlayerStart got = FindPlayerStart(text.data(), text.size());
    EXPECT_EQ((std::vector<float>{float(got.found), got.origin[0], got.origin[1], got.origin[2],
                                  got.angle}),
              (std::vector<float>{float(c.start.found), c.start.origin[0], c.start.origin[1],
                                  c.start.origin[2], c.start.angle})) << c.what;
  }
  EXPECT_FALSE(FindPlayerStart(cases[0].text.data(), cases[0].text.size() - 1).found)
      << "cut before its closing brace";
}

namespace {

// What a point file (`leaves` -2) or a portal file decodes to, or why it is
// refused: its points; or its form (PRT1, PRT2, PRTA for PRT1-AM),
// clusters, each portal's sides, corner count and first corner, and each
// BSP leaf's cluster. Given exactly the text's bytes, unterminated, so
// reading past them is caught.
std::string Decoded(const std::string& text, int64_t leaves) {
  const std::vector<char> bytes(text.begin(), text.end());
  std::string problem;
  std::vector<float> points;
  PortalSet set{};
  if (leaves == -2 ? ParsePointFile(bytes.data(), bytes.size(), &points, &problem) != 0
                   : ParsePortalFile(bytes.data(), bytes.size(), leaves, &set, &problem) != 0) {
    return problem;
  }
  std::ostringstream out;
  for (float v : points) out << " " << v;
  if (leaves != -2) out << "PRT" << "12A"[set.form] << " " << set.clusterCount << ":";
  for (const Portal& p : set.portals) {
    out << " " << p.sides[0] << "-" << p.sides[1] << " x" << p.pointCount << " at";
    for (int k = 0; k < 3; ++k) out << " " << set.points[3 * p.firstPoint + k];
    out << ",";
  }
  if (leaves != -2) out << " |";
  for (int32_t cluster : set.clusterOfLeaf) out << " " << cluster;
  return out.str();
}

}  // namespace

TEST(Diagnostics, PointAndPortalFilesDecodeOrSayWhichLineIsWrong) {
  const std::string prt1 = "PRT1\n3\n2\n3 0 1 (0 0 0) (1 0 0) (1 1 0)\n4 1 2 ( 0 0 1 ) (1 0 1 )(1 1 1) (0 1 1)\r\n";
  const std::string prt2 = "PRT2\n4\n2\n1\n3 0 1 (0 0 0) (1 0 0) (1 1 0)\n";
  const std::string tri = " (0 0 0) (1 0 0) (1 1 0)\n";
  const struct {
    std::string text;
    int64_t leaves;  // -2: a point file
    std::string want;
  } cases[] = {
      {"  1 2 3 \r\n\n1 2 3\n4.5 -6 +7e1\n1 2 3", -2, " 1 2 3 4.5 -6 70 1 2 3"},
      {"", -2, ""},
      {"1 2 3\n1 2\n", -2, "line 2: not three finite numbers"},
      {"1 2 3 4", -2, "line 1: not three finite numbers"},
      {"1 2 nan", -2, "line 1: not three finite numbers"},
      {"1 2 1e39", -2, "line 1: not three finite numbers"},
      {"1-2 3 4", -2, "line 1: not three finite numbers"},
      {prt1, 3, "PRT1 3: 0-1 x3 at 0 0 0, 1-2 x4 at 0 0 1, | -1 0 1 2"},
      {prt1, 4, "line 2: 3 leaves, not the map's 4"},
      {prt2 + "0 3 -1\n1 -1\n", -1, "PRT2 2: 0-1 x3 at 0 0 0, | -1 0 1 -1 0"},
      {"PRT1-AM\n2\n1\n3\n3 1 0" + tri + "1\n0\n1\n", 3, "PRTA 2: 1-0 x3 at 0 0 0, | -1 1 0 1"},
      {"PRT3\n", -1, "line 1: not PRT1, PRT2 or PRT1-AM"},
      {"PRT1\n3\n", -1, "line 3: no count of portals"},
      {"PRT1\n3\n1000001\n", -1, "line 3: more than 1,000,000 portals"},
      {"PRT1\n3\n3\n3 0 1" + tri + "3 0 1" + tri, -1, "line 6: the file ends after 2 of its 3 portals"},
      {prt1 + "3 0 1" + tri, -1, "line 6: more lines than its counts"},
      {"PRT1\n3\n1\n2 0 1 (0 0 0) (1 0 0)\n", -1, "line 4: a polygon of fewer than 3 points"},
      {"PRT1\n3\n1\n3 0 3" + tri, -1, "line 4: a leaf out of range"},
      {"PRT1\n3\n1\n4 0 1" + tri, -1, "line 4: a point that is not (x y z), three finite numbers"},
      {"PRT1\n3\n1\n3 0 1 (0 0) (1 0 0) (1 1 0)\n", -1, "line 4: a point that is not (x y z), three finite numbers"},
      {"PRT1\n3\n1\n3 0 1" + tri.substr(0, tri.size() - 1) + " (1 1 1)\n", -1, "line 4: more than its 3 points"},
      {"PRT2\n4\n2\n1\n3 0 2" + tri, -1, "line 5: a cluster out of range"},
      {prt2 + "0 4 -1\n1 -1\n", -1, "line 6: a leaf out of range"},
      {prt2 + "0 3 -1\n3 -1\n", -1, "line 7: leaf 3 in two clusters"},
      {prt2 + "0 3\n1 -1\n", -1, "line 6: not a list of leaves ending in -1"},
      {prt2 + "0 3 -1\n", -1, "line 7: the file ends after 1 of its 2 clusters' lines of leaves"},
      {"PRT1-AM\n2\n1\n3\n3 1 0" + tri + "1\n2\n1\n", -1, "line 7: not a cluster in range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Decoded(c.text, c.leaves), c.want);
  }
}

TEST(Entities, EveryEntityKeepsItsKeysAndPointEntitiesAndTriggersAreFound) {
  const std::string text = R"({"classname" "worldspawn" "origin" "0 0 0"}
    {"classname" "monster_ogre" "origin" "1 2 3" "angle" "90" "angle" "180"}
    {"classname" "item_health" "origin" "4 5 6"} {"classname" "weapon_nailgun" "origin" "0 0 0"}
    {"classname" "light_flame" "origin" "7 8 9"} {"classname" "info_teleport_destination" "origin" "1 1 1"}
    {"classname" "path_corner" "origin" "2 2 2"} {"classname" "info_null" "origin" "1 2"}
    {"classname" "func_door" "model" "*1"} {"classname" "trigger_once" "model" "*2" "origin" "0 0 8"}
    {"classname" "misc_model" "model" "progs/x.mdl" "origin" "3 3 3"} {"classname" "cut" "origin")";
  const std::vector<char> bytes(text.begin(), text.end());
  const MapEntities found = ReadMapEntities(bytes.data(), bytes.size(), 3);
  ASSERT_EQ(found.entities.size(), 11u) << "the one cut short is not kept";
  EXPECT_STREQ(ValueOf(found.entities[1], "angle"), "180") << "the last of two";
  EXPECT_EQ(ValueOf(found.entities[1], "target"), nullptr);
  std::string points;
  for (const PointEntity& p : found.points) {
    points += testing::PrintToString(std::vector<float>{float(p.entity), float(p.family), p.origin[2], p.mins[2], p.maxs[2]});
  }
  EXPECT_EQ(points, "{ 1, 1, 3, -24, 32 }{ 2, 2, 6, 0, 32 }{ 3, 2, 0, 0, 32 }{ 4, 0, 9, -8, 8 }"
                    "{ 5, 3, 1, -24, 32 }{ 6, 4, 2, -8, 8 }");
  ASSERT_EQ(found.brushes.size(), 1u);
  EXPECT_EQ(found.brushes[0].entity, 8u);
  ASSERT_EQ(found.triggers.size(), 1u);
  EXPECT_EQ((std::vector<float>{float(found.triggers[0].model), float(found.triggers[0].entity), found.triggers[0].origin[2]}),
            (std::vector<float>{2, 9, 8}));
}

TEST(Entities, WorldspawnGivesTheMapsLookAndLightEntitiesTheSwitchedStylesThatStartOff) {
  const struct {
    const char* text;
    float water, lava, fog, fogRed;
    uint64_t off;
  } cases[] = {
      {R"({"classname" "worldspawn"})", 1, 1, 0, 0.3f, 0},
      {R"({"classname" "worldspawn" "wateralpha" "0.4" "_lavaalpha" "2" "fog" "0.1"})", 0.4f, 1,
       0.1f, 0.3f, 0},
      {R"({"_wateralpha" "-1" "classname" "worldspawn" "_fog" "0.2 1.5 0 0"})", 0, 1, 0.2f, 1, 0},
      {R"({"classname" "worldspawn" "fog" "0.2 1 0" "wateralpha" "half"})", 1, 1, 0, 0.3f, 0},
      {R"({"classname" "worldspawn"} {"classname" "worldspawn" "wateralpha" "0.5"})", 1, 1, 0, 0.3f,
       0},
      {R"({"classname" "light" "style" "32" "spawnflags" "1"} {"classname" "light_torch" "style" "62"
          "spawnflags" "3"} {"classname" "light" "style" "40" "spawnflags" "1"} {"classname" "light"
          "style" "40"} {"classname" "light" "style" "63" "spawnflags" "1"} {"classname" "light"
          "style" "33.5" "spawnflags" "1"} {"classname" "info_null" "style" "34" "spawnflags" "1"})",
       1, 1, 0, 0.3f, 1ull << 32 | 1ull << 62},
  };
  for (const auto& c : cases) {
    const MapLook look = ReadMapEntities(c.text, strlen(c.text), 0).look;
    EXPECT_EQ((std::vector<double>{look.liquidAlpha[kWater], look.liquidAlpha[kLava],
                                   look.fogDensity, look.fogColor[0], double(look.lightsOff)}),
              (std::vector<double>{c.water, c.lava, c.fog, c.fogRed, double(c.off)}))
        << c.text;
  }
}

TEST(Watch, AChangeCountsOnceTheFileHasStayedTheSameForHalfASecond) {
  namespace fs = std::filesystem;
  const std::string file = testing::TempDir() + "mivo-watched-" + std::to_string(getpid()),
                    other = file + ".new";
  const auto write = [](const std::string& path, const char* text) {
    fs::remove(path);
    WriteBspFile(path, Bytes(text, text + strlen(text)));
  };
  // Another file of the same size and time, made later: moved over, only its
  // creation time tells it apart, where the file system keeps one.
  write(other, "one");
  const auto born = [](const std::string& path) { return FileStateOf(path).created.dwLowDateTime; };
  write(file, "one");
  for (int tries = 0; tries < 100 && born(file) == born(other); ++tries) write(file, "one");
  const bool births = born(file) != born(other);
  if (!births) std::cout << "No birth times here: a file moved over the map is not checked.\n";
  fs::last_write_time(other, fs::last_write_time(file));
  WatchFile(file, FileStateOf(file));
  const struct {
    std::function<void()> change;
    DWORD now;
    int reload;
  } steps[] = {{nullptr, 0, 0},
               {[&] { fs::rename(other, file); }, 1000, 0}, {nullptr, 1500, births ? 1 : 0},
               {[&] { write(file, "two"); }, 2000, 0},  // written in steps
               {[&] { write(file, "two, three"); }, 2400, 0},
               {nullptr, 2899, 0}, {nullptr, 2900, 1}, {nullptr, 5000, 0},
               {[&] { fs::remove(file); }, 6000, 0}, {nullptr, 6500, 1}, {nullptr, 9000, 0},
               {[&] { write(file, "one"); }, 10000, 0}, {nullptr, 10500, 1}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.now);
    if (step.change) step.change();
    EXPECT_EQ(PollWatchedFile(step.now), step.reload);
  }
  // The files beside the map settle the same way, each its own bit, and
  // wait while a change of the map's own file settles.
  WatchBesideFiles({"", other, file});
  const struct {
    std::function<void()> change;
    DWORD now;
    int reload, beside;
  } besides[] = {{[&] { write(other, "trail"); }, 11000, 0, 0}, {nullptr, 11500, 0, 2},
                 {[&] { write(file, "map"); }, 12000, 0, 0}, {nullptr, 12500, 1, 0},
                 {nullptr, 13000, 0, 4}, {[&] { fs::remove(other); }, 14000, 0, 0},
                 {nullptr, 14500, 0, 2}};
  for (const auto& step : besides) {
    SCOPED_TRACE(step.now);
    if (step.change) step.change();
    EXPECT_EQ(PollWatchedFile(step.now), step.reload);
    EXPECT_EQ(PollBesideFiles(step.now), step.beside);
  }
  fs::remove(file);
}
