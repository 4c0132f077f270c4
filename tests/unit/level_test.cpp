// Loading the level: counts, colours, the all-or-nothing reference check,
// and the state a failed allocation leaves behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>

#include "bsp/level.h"
#include "tests/unit/test_maps.h"

namespace {

const std::string kReferenceError =
    "Error: bsp file is damaged (bad face, edge or vertex reference).";

// Three squares side by side, each with its own colour.
MapDraft ThreeSquares() {
  MapDraft map;
  for (float x : {0.0f, 64.0f, 128.0f}) {
    AddFace(map, {{x, 0, 0}, {x, 0, 64}, {x + 64, 0, 64}, {x + 64, 0, 0}});
  }
  return map;
}

// Loads `bytes` expecting failure; returns what the user was told.
std::string FailedLoadMessage(const std::vector<uint8_t>& bytes) {
  testing::internal::CaptureStderr();
  int status = LoadBytes(bytes);
  std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  return told;
}

uint32_t StateAfter(int calls) {
  uint32_t state = 1;
  for (int i = 0; i < calls; ++i) state = state * 214013u + 2531011u;
  return state;
}

}  // namespace

TEST(Random, FirstValuesAreTheKnownSequence) {
  RandomState = 1;
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962};
  for (int value : expected) EXPECT_EQ(NextRandom(), value);
  RandomState = 1;
  EXPECT_EQ(RandomUnit(), 41.0f / 32768.0f);
}

TEST(Level, ThreeFacesDrawNineNumbersAndGetTheKnownColours) {
  ASSERT_EQ(LoadDraft(ThreeSquares()), 0);
  EXPECT_EQ(RandomState, StateAfter(9));
  ASSERT_EQ(Level.faceCount, 3);
  const float k = 1.0f / 32768.0f;
  const FaceColor expected[] = {{41 * k, 18467 * k, 6334 * k},
                                {26500 * k, 19169 * k, 15724 * k},
                                {11478 * k, 29358 * k, 26962 * k}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Level.faceColors[i].red, expected[i].red);
    EXPECT_EQ(Level.faceColors[i].green, expected[i].green);
    EXPECT_EQ(Level.faceColors[i].blue, expected[i].blue);
  }
}

TEST(Level, HoldsTheFileRecordsAtTheirCounts) {
  MapDraft map = ThreeSquares();
  ASSERT_EQ(LoadDraft(map), 0);
  ASSERT_EQ(Level.faceCount, map.faces.size());
  ASSERT_EQ(Level.edgeCount, map.edges.size());
  ASSERT_EQ(Level.surfEdgeCount, map.surfEdges.size());
  ASSERT_EQ(Level.vertexCount, map.vertices.size());
  EXPECT_EQ(memcmp(Level.faces, map.faces.data(), map.faces.size() * sizeof(BspFace)), 0);
  EXPECT_EQ(memcmp(Level.edges, map.edges.data(), map.edges.size() * sizeof(BspEdge)), 0);
  EXPECT_EQ(memcmp(Level.surfEdges, map.surfEdges.data(), map.surfEdges.size() * 4), 0);
  EXPECT_EQ(memcmp(Level.vertices, map.vertices.data(), map.vertices.size() * 12), 0);
  EXPECT_EQ(Level.worldModel.faceTotal, 3);
}

TEST(Level, EmptyFacesLumpDrawsNoRandomNumbers) {
  MapDraft map;
  map.vertices.push_back({1, 2, 3});
  ASSERT_EQ(LoadDraft(map), 0);
  EXPECT_EQ(Level.faceCount, 0);
  EXPECT_EQ(RandomState, 1u);
  EXPECT_EQ(Level.vertexCount, 1);
}

TEST(Level, PartialRecordsAreIgnored) {
  // A faces lump of 60 bytes and a vertices lump of 13: 3 faces, 1 vertex.
  MapDraft map;
  map.rawLumps[kFacesLump] = std::vector<uint8_t>(60, 0);
  map.rawLumps[kVerticesLump] = std::vector<uint8_t>(13, 0);
  map.models.push_back(BspModel{});  // a world with no faces
  ASSERT_EQ(LoadDraft(map), 0);
  EXPECT_EQ(Level.faceCount, 3);
  EXPECT_EQ(Level.vertexCount, 1);
}

TEST(Level, TwoLoadsGiveTheSameColours) {
  ASSERT_EQ(LoadDraft(ThreeSquares()), 0);
  std::vector<FaceColor> first(Level.faceColors, Level.faceColors + Level.faceCount);
  ASSERT_EQ(LoadDraft(ThreeSquares()), 0);
  EXPECT_EQ(memcmp(first.data(), Level.faceColors, first.size() * sizeof(FaceColor)), 0);
}

TEST(Level, FreeLevelLeavesEveryArrayAbsentAndCanRunTwice) {
  ASSERT_EQ(LoadDraft(ThreeSquares()), 0);
  FreeLevel();
  EXPECT_EQ(Level.faces, nullptr);
  EXPECT_EQ(Level.edges, nullptr);
  EXPECT_EQ(Level.surfEdges, nullptr);
  EXPECT_EQ(Level.vertices, nullptr);
  EXPECT_EQ(Level.faceColors, nullptr);
  FreeLevel();  // nothing left to release; the sanitizer build catches a double free
  EXPECT_EQ(Level.faceCount, 3);  // counts stay
}

TEST(Level, RangesOutsideTheirArraysAreRefused) {
  // Ranges that start before their array or run past its end; the damaged
  // map corpus covers edges and vertices named out of range.
  const MapDraft good = ThreeSquares();
  const int32_t surfEdgeCount = static_cast<int32_t>(good.surfEdges.size());
  std::vector<std::pair<const char*, MapDraft>> cases(3, {"", good});
  cases[0].first = "negative face start";
  cases[0].second.models = {BspModel{{}, -1, 2}};
  cases[1].first = "surface edges run past the lump";
  cases[1].second.faces[2].surfEdgeStart = surfEdgeCount - 2;
  cases[2].first = "negative surface edge start";
  cases[2].second.faces[0].surfEdgeStart = -1;
  for (const auto& [what, map] : cases) {
    SCOPED_TRACE(what);
    EXPECT_NE(FailedLoadMessage(BspBytes(map)).find(kReferenceError), std::string::npos);
  }
}

TEST(Level, RangesThatDrawNothingNeedNoCheck) {
  MapDraft map = ThreeSquares();
  map.models = {BspModel{{}, 9999, 0}};  // no faces: its start means nothing
  ASSERT_EQ(LoadDraft(map), 0);
  map = ThreeSquares();
  map.faces[1].surfEdgeStart = -500;  // no corners: its start means nothing
  map.faces[1].surfEdgeTotal = 0;
  ASSERT_EQ(LoadDraft(map), 0);
  // Faces outside the world model are never drawn, so never checked.
  map = ThreeSquares();
  map.faces[2].surfEdgeStart = 1 << 30;
  map.models = {BspModel{{}, 0, 2}};
  EXPECT_EQ(LoadDraft(map), 0);
}

TEST(Level, SurfaceEdgeZeroWalksEdgeZeroFromItsEnd) {
  MapDraft map = ThreeSquares();
  // Edge 0 runs from vertex 0 to vertex 9999: walked from its end it names
  // a missing vertex, walked from its start it would not.
  map.edges[0] = BspEdge{0, 9999};
  map.surfEdges[0] = 0;
  EXPECT_NE(FailedLoadMessage(BspBytes(map)).find(kReferenceError), std::string::npos);
  map.edges[0] = BspEdge{9999, 0};
  EXPECT_EQ(LoadDraft(map), 0);
}

#if defined(__SANITIZE_ADDRESS__)
#define MIVO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MIVO_UNDER_ASAN 1
#endif
#endif

// In a child process: loads `bytes` under a 1 GiB address-space limit and
// exits 0 when the level is left exactly partly loaded.
[[noreturn]] void LoadUnderMemoryLimit(const std::vector<uint8_t>& bytes) {
  rlimit limit = {1u << 30, 1u << 30};
  setrlimit(RLIMIT_AS, &limit);
  int status = LoadBytes(bytes);
  bool partlyLoaded = status == 1 && Level.faces != nullptr && Level.faceCount == 3 &&
                      Level.faces[2].surfEdgeTotal == 4 && Level.faceColors != nullptr &&
                      Level.faceColors[0].red == 41.0f / 32768.0f &&
                      Level.edgeCount == 0x3FFFFFFCu && Level.edges == nullptr &&
                      Level.surfEdges == nullptr && Level.surfEdgeCount == 0 &&
                      Level.vertices == nullptr && Level.vertexCount == 0;
  FreeLevel();
  exit(partlyLoaded ? 0 : 3);
}

TEST(LevelDeathTest, FailedAllocationLeavesTheLevelPartlyLoaded) {
#ifdef MIVO_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
  // An edges lump that claims 4 GiB: its allocation really fails under a
  // 1 GiB address-space limit, in a child process.
  std::vector<uint8_t> bytes = BspBytes(ThreeSquares());
  BspHeader header = HeaderOf(bytes);
  header.lumps[kEdgesLump].length = 0xFFFFFFF0u;
  SetHeader(bytes, header);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(LoadUnderMemoryLimit(bytes), testing::ExitedWithCode(0),
              "Error allocating edges array\\.");
#endif
}

TEST(RealMaps, LoadAndPassTheReferenceCheck) {
  const std::string dir = RealMapsDir();
  if (dir.empty()) GTEST_SKIP() << "MIVO_REAL_MAPS is not set: no real maps to load";
  struct Case {
    const char* name;
    int faces;
    int worldFaces;
    int vertices;
  };
  const Case cases[] = {{"tiny-room.bsp", 6, 6, 8},
                        {"cube.bsp", 6, 6, 8},
                        {"libre-e1m1.bsp", 11102, 10175, 14444}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FILE* file = fopen((dir + "/" + c.name).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    fclose(file);
    ASSERT_EQ(LoadBytes(bytes), 0);
    EXPECT_EQ(Level.faceCount, c.faces);
    EXPECT_EQ(Level.worldModel.faceTotal, c.worldFaces);
    EXPECT_EQ(Level.vertexCount, c.vertices);
  }
}
