// A corpus of damaged maps, each built by the BSP writer and run the way
// the viewer runs a file: open, load and, when it loads, draw a frame (with
// real OpenGL, so the sanitizer build sees every read the frame makes).
// Each case names what the user is left with: the status the program ends
// with and the message it shows, or a correct load.
#include "tests/damaged/damaged_maps.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <numbers>

#include "bsp/level.h"
#include "tests/unit/test_maps.h"

namespace {

class DamagedMaps : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(UseGlContext(), 0); }
  void TearDown() override { ResetMapState(); }
};

// The same lumps laid out in `order`, one after another behind the header.
std::vector<uint8_t> Relayout(const std::vector<uint8_t>& bytes, std::initializer_list<int> order) {
  BspHeader header = HeaderOf(bytes);
  std::vector<uint8_t> out(sizeof(BspHeader), 0);
  for (int lump : order) {
    while (out.size() % 4 != 0) out.push_back(0);
    const BspLump from = header.lumps[lump];
    header.lumps[lump].offset = static_cast<int32_t>(out.size());
    out.insert(out.end(), bytes.begin() + from.offset, bytes.begin() + from.offset + from.length);
  }
  SetHeader(out, header);
  return out;
}

// The level holds exactly the draft's records.
void ExpectLevelHolds(const MapDraft& map) {
  ASSERT_EQ(Level.faceCount, map.faces.size() % 65536);
  ASSERT_EQ(Level.edgeCount, map.edges.size());
  ASSERT_EQ(Level.surfEdgeCount, map.surfEdges.size());
  ASSERT_EQ(Level.vertexCount, map.vertices.size() % 65536);
  EXPECT_EQ(memcmp(Level.faces, map.faces.data(), Level.faceCount * sizeof(BspFace)), 0);
  EXPECT_EQ(memcmp(Level.edges, map.edges.data(), Level.edgeCount * sizeof(BspEdge)), 0);
  EXPECT_EQ(memcmp(Level.surfEdges, map.surfEdges.data(), Level.surfEdgeCount * sizeof(SurfEdge)),
            0);
  EXPECT_EQ(memcmp(Level.vertices, map.vertices.data(), Level.vertexCount * sizeof(BspVertex)), 0);
}

// A triangle in front of the starting eye, and faces that walk its three
// surface edges. Edge 0 is left unused, as compilers leave it.
MapDraft FacesWithCorners(std::initializer_list<int16_t> cornerCounts) {
  MapDraft map;
  map.vertices = {{480, 600, 0}, {544, 600, 64}, {608, 600, 0}};
  map.edges = {{0, 0}, {0, 1}, {1, 2}, {2, 0}};
  map.surfEdges = {1, 2, 3};
  for (int16_t corners : cornerCounts) map.faces.push_back(BspFace{{}, 0, corners, {}});
  return map;
}

const char* LumpName(int lump) {
  static const char* const names[kLumpCount] = {
      "entities", "planes",       "textures", "vertices",  "visibility",
      "nodes",    "texinfo",      "faces",    "light",     "clipnodes",
      "leaves",   "marksurfaces", "edges",    "surfedges", "models"};
  return names[lump];
}

}  // namespace

TEST_F(DamagedMaps, CutAtEveryLumpBoundaryAndInTheMiddleOfEachLump) {
  // The five lumps the viewer reads lie in the order it reads them, with
  // lumps it never reads between and after them.
  const std::vector<uint8_t> whole =
      Relayout(BspBytes(RoomWithPillar()), {14, 0, 7, 1, 12, 2, 13, 4, 3, 5, 6, 8, 9, 10, 11});
  const BspHeader header = HeaderOf(whole);
  ASSERT_EQ(OpenLoadAndDraw(whole), Loads());

  // A cut fails the load at the first lump the viewer reads that does not
  // lie wholly before it, leaving allocated what was allocated up to there.
  struct Read {
    int lump;
    const char* allocated;
  };
  const Read reads[] = {{kModelsLump, ""},
                        {kFacesLump, "faces"},
                        {kEdgesLump, "faces colours edges"},
                        {kSurfEdgesLump, "faces colours edges surfEdges"},
                        {kVerticesLump, "faces colours edges surfEdges vertices"}};
  auto expectCut = [&](size_t size, const std::string& where) {
    SCOPED_TRACE(where + ": the file cut to " + std::to_string(size) + " bytes");
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + size);
    const Outcome outcome = OpenLoadAndDraw(cut);
    if (size < sizeof(BspHeader)) {
      EXPECT_EQ(outcome, FailsWith(kOpenError));
      return;
    }
    for (const Read& read : reads) {
      const BspLump& lump = header.lumps[read.lump];
      if (lump.offset + lump.length <= size) continue;
      EXPECT_EQ(outcome, FailsWith(kReadError));
      EXPECT_EQ(PresentArrays(), read.allocated);
      return;
    }
    EXPECT_EQ(outcome, Loads());  // only lumps the viewer never reads were cut
  };

  for (size_t size : {0, 1, 4, 123}) expectCut(size, "inside the header");
  for (int lump = 0; lump < kLumpCount; ++lump) {
    const BspLump& l = header.lumps[lump];
    ASSERT_GT(l.length, 4u) << LumpName(lump);
    expectCut(l.offset, std::string("at the start of ") + LumpName(lump));
    expectCut(l.offset + l.length / 2, std::string("in the middle of ") + LumpName(lump));
  }
  expectCut(whole.size() - 1, "one byte short");
}

TEST_F(DamagedMaps, NegativeLumpOffsets) {
  const MapDraft map = RoomWithPillar();
  const std::vector<uint8_t> bytes = BspBytes(map);
  const BspHeader header = HeaderOf(bytes);
  for (int lump : {kModelsLump, kFacesLump, kEdgesLump, kSurfEdgesLump, kVerticesLump}) {
    for (int32_t offset : {-1, -124, INT32_MIN}) {
      SCOPED_TRACE(testing::Message() << LumpName(lump) << " at offset " << offset);
      const uint32_t length = header.lumps[lump].length;
      EXPECT_EQ(OpenLoadAndDraw(WithLump(bytes, lump, offset, length)), FailsWith(kReadError));
    }
  }
  {
    SCOPED_TRACE("a lump the viewer never reads");
    EXPECT_EQ(OpenLoadAndDraw(WithLump(bytes, 0, -1, 24)), Loads());
    ExpectLevelHolds(map);
  }
  {
    // An empty lump has nothing to read, but a negative offset still
    // marks the file as damaged.
    SCOPED_TRACE("an empty vertices lump");
    MapDraft empty = map;
    empty.models = {BspModel{{}, 0, 0}};  // draws nothing, so needs no vertices
    const std::vector<uint8_t> emptyBytes = BspBytes(empty);
    EXPECT_EQ(OpenLoadAndDraw(WithLump(emptyBytes, kVerticesLump, 124, 0)), Loads());
    EXPECT_EQ(OpenLoadAndDraw(WithLump(emptyBytes, kVerticesLump, -4, 0)), FailsWith(kReadError));
  }
}

TEST_F(DamagedMaps, LumpLengthsOfTwoToThe32MinusOne) {
  const MapDraft map = RoomWithPillar();
  const std::vector<uint8_t> bytes = BspBytes(map);
  const BspHeader header = HeaderOf(bytes);
  auto withHugeLump = [&](int lump) {
    return WithLump(bytes, lump, header.lumps[lump].offset, UINT32_MAX);
  };

  // Only record 0 of the models lump is read, whatever the lump's length.
  EXPECT_EQ(OpenLoadAndDraw(withHugeLump(kModelsLump)), Loads());
  ExpectLevelHolds(map);

  // Faces and vertices are counted in 16 bits: 4,294,967,295 / 20 is
  // 214,748,364, which keeps 52,428 records; / 12 keeps 21,845. Either is
  // far more than the file holds.
  EXPECT_EQ(OpenLoadAndDraw(withHugeLump(kFacesLump)), FailsWith(kReadError));
  EXPECT_EQ(Level.faceCount, 52428);
  EXPECT_EQ(OpenLoadAndDraw(withHugeLump(kVerticesLump)), FailsWith(kReadError));
  EXPECT_EQ(Level.vertexCount, 21845);

  // Edges and surface edges keep all 32 bits: 1,073,741,823 records, 4 GB.
  // Where the machine gives that much, the read then comes up short;
  // where it does not, the allocation fails with its own message.
  struct Huge {
    int lump;
    const char* allocationError;
  };
  for (const Huge& huge : {Huge{kEdgesLump, "Error allocating edges array."},
                           Huge{kSurfEdgesLump, "Error allocating edge indices array."}}) {
    SCOPED_TRACE(LumpName(huge.lump));
    const Outcome outcome = OpenLoadAndDraw(withHugeLump(huge.lump));
    EXPECT_TRUE(outcome == FailsWith(kReadError) || outcome == FailsWith(huge.allocationError))
        << outcome;
  }
}

TEST_F(DamagedMaps, BrokenReferences) {
  const MapDraft good = RoomWithPillar();
  const int32_t faceCount = static_cast<int32_t>(good.faces.size());
  const int32_t edgeCount = static_cast<int32_t>(good.edges.size());
  struct Case {
    const char* what;
    void (*damage)(MapDraft&, int32_t faces, int32_t edges);
  };
  const Case cases[] = {
      {"the world model's faces run one past the faces lump",
       [](MapDraft& m, int32_t faces, int32_t) {
         m.models = {BspModel{{}, 0, faces + 1}};
       }},
      {"the world model's faces start at the end of the faces lump",
       [](MapDraft& m, int32_t faces, int32_t) {
         m.models = {BspModel{{}, faces, 1}};
       }},
      {"the world model's face range overflows 32 bits",
       [](MapDraft& m, int32_t, int32_t) {
         m.models = {BspModel{{}, 2, INT32_MAX}};
       }},
      {"a surface edge names a missing edge",
       [](MapDraft& m, int32_t, int32_t edges) { m.surfEdges[5] = edges; }},
      {"a backwards surface edge names a missing edge",
       [](MapDraft& m, int32_t, int32_t edges) { m.surfEdges[5] = -edges; }},
      {"a surface edge of INT32_MIN",
       [](MapDraft& m, int32_t, int32_t) { m.surfEdges[5] = INT32_MIN; }},
      {"an edge names a missing vertex",
       [](MapDraft& m, int32_t, int32_t) {
         const SurfEdge s = m.surfEdges[5];
         BspEdge& edge = m.edges[s > 0 ? s : -s];
         (s > 0 ? edge.startVertex : edge.endVertex) = static_cast<uint16_t>(m.vertices.size());
       }},
      {"an edge names vertex 65,535",
       [](MapDraft& m, int32_t, int32_t) {
         const SurfEdge s = m.surfEdges[5];
         BspEdge& edge = m.edges[s > 0 ? s : -s];
         (s > 0 ? edge.startVertex : edge.endVertex) = 65535;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MapDraft map = good;
    c.damage(map, faceCount, edgeCount);
    EXPECT_EQ(OpenLoadAndDraw(BspBytes(map)), FailsWith(kReferenceError));
  }
}

TEST_F(DamagedMaps, FacesOfZeroOneTwoAndMostCorners) {
  {
    // Degenerate faces are drawn as GL makes of them; a corner count that
    // reads as negative (32,768 in the 16-bit field) draws no corner, so
    // its range is never followed.
    MapDraft map = FacesWithCorners({0, 1, 2, 3});
    map.faces.push_back(BspFace{{}, 1 << 30, INT16_MIN, {}});
    EXPECT_EQ(OpenLoadAndDraw(BspBytes(map)), Loads());
    ExpectLevelHolds(map);
  }
  {
    // The most corners the 16-bit field holds: a circle of 32,767 corners.
    MapDraft map;
    std::vector<Vec3> circle;
    for (int i = 0; i < 32767; ++i) {
      const double angle = -2 * std::numbers::pi * i / 32767;  // clockwise seen from -y
      circle.push_back({static_cast<float>(544 + 200 * std::cos(angle)), 800,
                        static_cast<float>(32 + 200 * std::sin(angle))});
    }
    ASSERT_EQ(AddFace(map, circle), 0);
    EXPECT_EQ(OpenLoadAndDraw(BspBytes(map)), Loads());
    ExpectLevelHolds(map);
    EXPECT_EQ(Level.faces[0].surfEdgeTotal, 32767);
  }
}

TEST_F(DamagedMaps, FacesLumpOf65536Records) {
  MapDraft map = FacesWithCorners({});
  map.faces.assign(65536, BspFace{{}, 0, 3, {}});
  {
    // 65,536 records count as none, so a world model that owns them all
    // names faces that are not there. No colour is made for them.
    SCOPED_TRACE("the world model owns all 65,536");
    EXPECT_EQ(OpenLoadAndDraw(BspBytes(map)), FailsWith(kReferenceError));
    EXPECT_EQ(Level.faceCount, 0);
    EXPECT_EQ(RandomState, 1u);
  }
  {
    SCOPED_TRACE("the world model owns none");
    map.models = {BspModel{{}, 0, 0}};
    EXPECT_EQ(OpenLoadAndDraw(BspBytes(map)), Loads());
    EXPECT_EQ(Level.faceCount, 0);
  }
  {
    SCOPED_TRACE("65,537 records, the world model owning the first");
    map.faces.push_back(map.faces[0]);
    map.models = {BspModel{{}, 0, 1}};
    EXPECT_EQ(OpenLoadAndDraw(BspBytes(map)), Loads());
    ExpectLevelHolds(map);
  }
}

TEST_F(DamagedMaps, OtherFormatsInTheVersionFieldAreReadAsThisOne) {
  // The version is never examined: whatever it says, the lumps are read
  // with this format's layouts, and this file's lumps are of this format.
  const MapDraft map = RoomWithPillar();
  for (const char* version : {"BSP2", "IBSP"}) {
    SCOPED_TRACE(version);
    std::vector<uint8_t> bytes = BspBytes(map);
    memcpy(bytes.data(), version, 4);
    EXPECT_EQ(OpenLoadAndDraw(bytes), Loads());
    ExpectLevelHolds(map);
  }
}
