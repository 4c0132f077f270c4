// The map file's readers and counts, on files written by the BSP writer.
#include <gtest/gtest.h>

#include <cstring>

#include "bsp/bsp_file.h"
#include "tests/unit/test_maps.h"

namespace {

// A file that is nothing but a header whose lump lengths say what the test
// wants; counts depend on the header alone.
std::vector<uint8_t> HeaderOnly(int lump, uint32_t length) {
  std::vector<uint8_t> bytes = BspBytes(MapDraft{});
  BspHeader header = HeaderOf(bytes);
  header.lumps[lump].length = length;
  SetHeader(bytes, header);
  return bytes;
}

int Open(const std::vector<uint8_t>& bytes) {
  ResetMapState();
  std::string path = TemporaryMap(bytes);
  return OpenBspFile(path.c_str());
}

long Position() { return ftell(BspFile.stream); }

MapDraft OneSquare() {
  MapDraft map;
  AddFace(map, {{0, 0, 0}, {0, 0, 64}, {64, 0, 64}, {64, 0, 0}});
  return map;
}

}  // namespace

TEST(BspCounts, FacesAndVerticesAreCutTo16Bits) {
  struct Case {
    int lump;
    uint32_t length;
    int expected;
  };
  const Case cases[] = {
      {kFacesLump, 65536u * 20, 0},      {kFacesLump, 65537u * 20, 1},
      {kFacesLump, 45, 2},               // 5 trailing bytes make no record
      {kVerticesLump, 65536u * 12, 0},   {kVerticesLump, 65537u * 12, 1},
      {kVerticesLump, 13, 1},            {kFacesLump, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "lump " << c.lump << " length " << c.length);
    ASSERT_EQ(Open(HeaderOnly(c.lump, c.length)), 0);
    int count = c.lump == kFacesLump ? CountFaces() : CountVertices();
    EXPECT_EQ(count, c.expected);
  }
}

TEST(BspCounts, EdgesAndSurfaceEdgesKeepAll32Bits) {
  ASSERT_EQ(Open(HeaderOnly(kEdgesLump, 0xFFFFFFFFu)), 0);
  EXPECT_EQ(CountEdges(), 0x3FFFFFFFu);
  ASSERT_EQ(Open(HeaderOnly(kSurfEdgesLump, 65537u * 4 + 3)), 0);
  EXPECT_EQ(CountSurfEdges(), 65537u);
}

TEST(BspCounts, AreZeroAndReadersFailBeforeAnyOpen) {
  ResetMapState();
  EXPECT_EQ(CountFaces(), 0);
  EXPECT_EQ(CountEdges(), 0u);
  BspHeader header;
  BspModel model;
  BspFace face;
  EXPECT_EQ(ReadBspHeader(&header), 1);
  EXPECT_EQ(ReadModel(&model, 0), 1);
  EXPECT_EQ(ReadFaces(&face), 1);  // even a count of 0 needs an open file
}

TEST(BspOpen, AcceptsAnyVersionAndStartsAtPositionZero) {
  MapDraft map = OneSquare();
  map.version = 30;  // not examined
  ASSERT_EQ(Open(BspBytes(map)), 0);
  EXPECT_EQ(BspFile.header.version, 30);
  EXPECT_EQ(Position(), 0);
  EXPECT_EQ(BspFile.savedPosition, 0);
  EXPECT_EQ(CountFaces(), 1);
}

TEST(BspOpen, SecondOpenFailsAndLeavesTheFirstFileAlone) {
  ASSERT_EQ(Open(BspBytes(OneSquare())), 0);
  FILE* first = BspFile.stream;
  BspHeader header = BspFile.header;
  fseek(first, 17, SEEK_SET);
  MapDraft other = OneSquare();
  other.version = 1;
  std::string path = TemporaryMap(BspBytes(other), "other.bsp");
  EXPECT_EQ(OpenBspFile(path.c_str()), 1);
  EXPECT_EQ(BspFile.stream, first);
  EXPECT_EQ(memcmp(&BspFile.header, &header, sizeof header), 0);
  EXPECT_EQ(Position(), 17);
}

TEST(BspOpen, MissingFileLeavesNothingOpen) {
  ResetMapState();
  EXPECT_EQ(OpenBspFile("/nonexistent/start.bsp"), 1);
  EXPECT_EQ(BspFile.stream, nullptr);
}

TEST(BspOpen, FileShorterThanTheHeaderStaysOpenWithAPartHeader) {
  std::vector<uint8_t> bytes = BspBytes(OneSquare());
  bytes.resize(50);
  ASSERT_EQ(Open(bytes), 1);
  EXPECT_NE(BspFile.stream, nullptr);
  EXPECT_EQ(BspFile.header.version, 29);                   // from the bytes that were there
  EXPECT_EQ(BspFile.header.lumps[kModelsLump].length, 0u);  // beyond them: still zero
  std::string path = TemporaryMap(BspBytes(OneSquare()), "other.bsp");
  EXPECT_EQ(OpenBspFile(path.c_str()), 1);
}

TEST(BspRead, EverySuccessfulReadPutsThePositionBack) {
  MapDraft map = OneSquare();
  ASSERT_EQ(Open(BspBytes(map)), 0);
  std::vector<BspFace> faces(CountFaces());
  std::vector<BspEdge> edges(CountEdges());
  std::vector<SurfEdge> surfEdges(CountSurfEdges());
  std::vector<BspVertex> vertices(CountVertices());
  BspModel model;
  BspHeader header;
  fseek(BspFile.stream, 33, SEEK_SET);
  EXPECT_EQ(ReadFaces(faces.data()), 0);
  EXPECT_EQ(Position(), 33);
  EXPECT_EQ(ReadEdges(edges.data()), 0);
  EXPECT_EQ(ReadSurfEdges(surfEdges.data()), 0);
  EXPECT_EQ(ReadVertices(vertices.data()), 0);
  EXPECT_EQ(ReadModel(&model, 0), 0);
  EXPECT_EQ(ReadBspHeader(&header), 0);
  EXPECT_EQ(Position(), 33);
  EXPECT_EQ(BspFile.savedPosition, 33);
  // The records are the file's own.
  ASSERT_EQ(faces.size(), map.faces.size());
  EXPECT_EQ(memcmp(faces.data(), map.faces.data(), faces.size() * sizeof(BspFace)), 0);
  ASSERT_EQ(vertices.size(), map.vertices.size());
  EXPECT_EQ(memcmp(vertices.data(), map.vertices.data(), vertices.size() * sizeof(BspVertex)), 0);
  EXPECT_EQ(model.faceStart, 0);
  EXPECT_EQ(model.faceTotal, 1);
}

TEST(BspRead, ShortReadKeepsExactlyTheBytesUpToTheEnd) {
  std::vector<uint8_t> bytes = BspBytes(OneSquare());
  BspHeader header = HeaderOf(bytes);
  const BspLump lump = header.lumps[kVerticesLump];
  ASSERT_GE(lump.length, 24u);
  // Cut the file 7 bytes into the second vertex.
  const uint32_t kept = 12 + 7;
  bytes.resize(lump.offset + kept);
  ASSERT_EQ(Open(bytes), 0);
  std::vector<uint8_t> destination(lump.length, 0xAB);
  EXPECT_EQ(ReadVertices(reinterpret_cast<BspVertex*>(destination.data())), 1);
  EXPECT_EQ(memcmp(destination.data(), bytes.data() + lump.offset, kept), 0);
  for (size_t i = kept; i < destination.size(); ++i) {
    ASSERT_EQ(destination[i], 0xAB) << "byte " << i << " was written";
  }
  EXPECT_EQ(Position(), static_cast<long>(bytes.size()));  // where the read stopped
}

TEST(BspRead, ModelIndexIsNotCheckedAgainstTheLump) {
  std::vector<uint8_t> bytes = BspBytes(OneSquare());
  ASSERT_EQ(Open(bytes), 0);
  BspModel model;
  // The one model is the last lump, so record 1 lies past the end.
  EXPECT_EQ(ReadModel(&model, 1), 1);
  // Pointing the models lump at offset 0 makes record 1 the bytes 64..127.
  ResetMapState();
  BspHeader header = HeaderOf(bytes);
  header.lumps[kModelsLump].offset = 0;
  SetHeader(bytes, header);
  ASSERT_EQ(Open(bytes), 0);
  ASSERT_EQ(ReadModel(&model, 1), 0);
  EXPECT_EQ(memcmp(&model, bytes.data() + 64, sizeof model), 0);
}

TEST(BspRead, NegativeOffsetReadsNothing) {
  std::vector<uint8_t> bytes = BspBytes(OneSquare());
  BspHeader header = HeaderOf(bytes);
  header.lumps[kFacesLump].offset = -20;
  header.lumps[kModelsLump].offset = -64;
  SetHeader(bytes, header);
  ASSERT_EQ(Open(bytes), 0);
  BspFace face;
  memset(&face, 0xAB, sizeof face);
  BspModel model;
  EXPECT_EQ(ReadFaces(&face), 1);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&face)[0], 0xAB);
  EXPECT_EQ(ReadModel(&model, 1), 1);  // -64 + 64 would be 0: still refused
  EXPECT_EQ(Position(), 0);
}
