// The writer: the file's layout, vertex and edge sharing, the format's
// limits and failed writes.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "tests/tools/read_back.h"

namespace {

// Two squares on the floor sharing the edge x = 64, both facing up.
MapDraft TwoSquares() {
  MapDraft map;
  AddRect(map, {0, 0, 0}, {64, 64, 0}, Facing::kPlusZ);
  AddRect(map, {64, 0, 0}, {128, 64, 0}, Facing::kPlusZ);
  return map;
}

TEST(Writer, LaysOutHeaderThenLumpsInOrderOnFourByteBoundaries) {
  MapDraft map = TwoSquares();
  map.rawLumps[0] = std::vector<uint8_t>{'{', '}', 0, 1, 2};
  map.rawLumps[kFacesLump] = std::vector<uint8_t>(45, 0xAB);
  std::vector<uint8_t> bytes = BspBytes(map);
  BspHeader header = HeaderOf(bytes);
  size_t end = sizeof(BspHeader);
  for (int lump = 0; lump < kLumpCount; ++lump) {
    EXPECT_EQ(header.lumps[lump].offset, static_cast<int32_t>((end + 3) / 4 * 4)) << lump;
    end = header.lumps[lump].offset + header.lumps[lump].length;
  }
  EXPECT_EQ(end, bytes.size());
  // Raw lumps stand as given; unfilled lumps are empty.
  EXPECT_EQ(header.lumps[0].length, 5u);
  EXPECT_EQ(bytes[header.lumps[0].offset + 4], 2);
  EXPECT_EQ(header.lumps[kFacesLump].length, 45u);
  for (int unfilled : {2, 4, 5, 6, 8, 9, 10, 11}) EXPECT_EQ(header.lumps[unfilled].length, 0u);

  // No models given: one world model owns every face, bounded by the
  // vertices, mins (0, 0, 0) and maxs (128, 64, 0).
  auto models = LumpOf<BspModel>(bytes, kModelsLump);
  ASSERT_EQ(models.size(), 1u);
  EXPECT_EQ(models[0].faceTotal, 2);
  float bounds[6];
  memcpy(bounds, models[0].unused, sizeof bounds);
  EXPECT_EQ(std::vector<float>(bounds, bounds + 6), (std::vector<float>{0, 0, 0, 128, 64, 0}));

  header.version = 30;
  header.lumps[kFacesLump].offset = -4;
  SetHeader(bytes, header);
  EXPECT_EQ(bytes[0], 30);
  EXPECT_EQ(HeaderOf(bytes).lumps[kFacesLump].offset, -4);
}

TEST(Writer, SharesVerticesAndWalksSharedEdgesBack) {
  MapDraft map = TwoSquares();
  ASSERT_EQ(map.vertices.size(), 6u);
  EXPECT_EQ(map.edges[0].startVertex + map.edges[0].endVertex, 0);  // the dummy edge
  EXPECT_EQ(std::count(map.surfEdges.begin(), map.surfEdges.end(), 0), 0);
  // The second square walks back, as -e, the edge e the first one walked.
  auto second = map.surfEdges.begin() + 4;
  ASSERT_EQ(std::count_if(second, map.surfEdges.end(), [](SurfEdge s) { return s < 0; }), 1);
  SurfEdge back = *std::find_if(second, map.surfEdges.end(), [](SurfEdge s) { return s < 0; });
  EXPECT_NE(std::find(map.surfEdges.begin(), second, -back), second);

  // A third face walking it the first one's way needs an edge of its own:
  // an edge belongs to two faces at most. -0 is the same place as 0.
  AddFace(map, {{64, 64, -0.0f}, {64, 0, 0}, {96, 32, 32}});
  EXPECT_EQ(map.vertices.size(), 7u);
  EXPECT_EQ(map.edges.size(), 8u + 3);

  // Arrays emptied behind AddFace's back: it starts afresh, rather than
  // naming vertices that are gone.
  map.vertices.clear();
  map.edges.clear();
  map.surfEdges.clear();
  AddRect(map, {64, 0, 0}, {128, 64, 0}, Facing::kPlusZ);
  EXPECT_EQ(map.vertices.size(), 4u);
  for (const BspEdge& e : map.edges) EXPECT_LT(std::max(e.startVertex, e.endVertex), 4);
}

TEST(Writer, RefusesFacesTheFormatCannotHold) {
  MapDraft map;
  for (int i = 0; i < 65534; ++i) map.vertices.push_back({float(i), 0, 0});
  // One new vertex fits (65,535 in all); the next would wrap the count.
  EXPECT_EQ(AddFace(map, {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}), 0);
  size_t surfEdges = map.surfEdges.size();
  EXPECT_EQ(AddFace(map, {{0, 0, 0}, {0, 0, 2}, {1, 0, 0}}), -1);
  EXPECT_EQ(map.surfEdges.size(), surfEdges);
  EXPECT_EQ(AddFace(map, {{0, 0, 0}, {0, 0, 1}, {2, 0, 0}}), 1);  // known corners still fit
}

TEST(Writer, FailedWritesAreReportedAndLeaveNoPartialFile) {
  EXPECT_EQ(WriteBspFile("/nonexistent-dir/x.bsp", {1, 2, 3}), 1);
  // An empty file is a sound write (damaged-map tests need one).
  std::string empty = testing::TempDir() + "/empty.bsp";
  ASSERT_EQ(WriteBspFile(empty, {}), 0);
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  std::string cut = testing::TempDir() + "/cut-short.bsp";
  auto writeCutShort = [&cut] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {};
    limit.rlim_cur = limit.rlim_max = 100;
    setrlimit(RLIMIT_FSIZE, &limit);
    bool reported = WriteBspFile(cut, std::vector<uint8_t>(10000, 7)) == 1;
    exit(reported && !std::filesystem::exists(cut) ? 0 : 1);
  };
  EXPECT_EXIT(writeCutShort(), testing::ExitedWithCode(0), "");
  // A device fails only at the flush, and is never removed. Through a link
  // of our own, so that a fault removes the link rather than the device.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  std::string link = testing::TempDir() + "/full.bsp";
  std::filesystem::remove(link);
  std::filesystem::create_symlink("/dev/full", link);
  EXPECT_EQ(WriteBspFile(link, std::vector<uint8_t>(100, 7)), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  std::filesystem::remove(link);
}

}  // namespace
