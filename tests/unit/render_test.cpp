// Drawing with real OpenGL (Mesa's llvmpipe, offscreen), read back with
// glReadPixels: the starting view, the projection's depth range, culling,
// colours and the axis mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>

#include "bsp/level.h"
#include "platform/gl.h"
#include "tests/unit/gl_offscreen.h"
#include "tests/unit/test_maps.h"
#include "view/render.h"

namespace {

constexpr Rgb kBlack = {0, 0, 0};

class Render : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OpenGlContext(), 0);
    InitGlState();
    SetupProjection();
    PlaceCamera();
  }
  void TearDown() override {
    ResetMapState();
    CloseGlContext();
  }
};

// A square of half-size `half` facing the starting eye (which looks along
// +y), centred on map point `centre`. Clockwise on the screen unless
// `reversed`.
void AddFacingSquare(MapDraft& map, Vec3 centre, float half, bool reversed = false) {
  std::vector<Vec3> corners = {{centre.x - half, centre.y, centre.z + half},
                               {centre.x + half, centre.y, centre.z + half},
                               {centre.x + half, centre.y, centre.z - half},
                               {centre.x - half, centre.y, centre.z - half}};
  if (reversed) corners.assign(corners.rbegin(), corners.rend());
  AddFace(map, corners);
}

Rgb Expected(const FaceColor& c) {
  auto byte = [](float v) { return static_cast<uint8_t>(std::lround(v * 255.0f)); };
  return {byte(c.red), byte(c.green), byte(c.blue)};
}

bool Near(Rgb a, Rgb b) {
  return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1;
}

// The eye's distance to the screen in pixels: 240 / tan(30 degrees).
const double kFocal = 240.0 / std::tan(M_PI / 6.0);

}  // namespace

TEST_F(Render, FaceAheadShowsAtTheCentreWithinTheDepthRange) {
  struct Case {
    double d;
    bool shown;
  };
  const Case cases[] = {{1.01, true},  {100, true},    {9000, true}, {0.99, false},
                        {0.5, false},  {10010, false}, {20000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "d = " << c.d);
    MapDraft map;
    // About 8 pixels across at any depth.
    AddFacingSquare(map, {544, static_cast<float>(288 + c.d), 32}, static_cast<float>(c.d / 100));
    ASSERT_EQ(LoadDraft(map), 0);
    DrawLevel();
    Rgb centre = ReadPixel(320, 240);
    if (c.shown) {
      EXPECT_TRUE(Near(centre, Expected(Level.faceColors[0])));
    } else {
      EXPECT_EQ(centre, kBlack);
    }
  }
}

TEST_F(Render, OnlyClockwiseFacesAreDrawnFilledOrAsOutlines) {
  for (bool wireframe : {false, true}) {
    glPolygonMode(GL_FRONT, wireframe ? GL_LINE : GL_FILL);
    for (bool reversed : {false, true}) {
      SCOPED_TRACE(testing::Message() << (wireframe ? "wireframe" : "filled")
                                      << (reversed ? ", counter-clockwise" : ", clockwise"));
      MapDraft map;
      // 100 units ahead, 50 across: the square spans pixels 112 to 528.
      AddFacingSquare(map, {544, 388, 32}, 50, reversed);
      ASSERT_EQ(LoadDraft(map), 0);
      DrawLevel();
      const Rgb colour = Expected(Level.faceColors[0]);
      const int edge = static_cast<int>(std::lround(320 - 50 * kFocal / 100));
      const Rgb centre = ReadPixel(320, 240);
      bool outlined = false;  // the left edge shows somewhere near its column
      for (int x = edge - 2; x <= edge + 2; ++x) outlined |= Near(ReadPixel(x, 240), colour);
      if (reversed) {
        EXPECT_EQ(centre, kBlack);
        EXPECT_FALSE(outlined);
      } else if (wireframe) {
        EXPECT_EQ(centre, kBlack);
        EXPECT_TRUE(outlined);
      } else {
        EXPECT_TRUE(Near(centre, colour));
        EXPECT_TRUE(outlined);
      }
    }
  }
}

TEST_F(Render, DrawnFacesTakeColoursFromTheStartOfTheColourArray) {
  MapDraft map;
  // Ten faces the world does not own, then the one it does.
  for (int i = 0; i < 10; ++i) AddFacingSquare(map, {544, 388, 32}, 50);
  AddFacingSquare(map, {544, 388, 32}, 50);
  map.models = {BspModel{{}, 10, 1}};
  ASSERT_EQ(LoadDraft(map), 0);
  DrawLevel();
  const Rgb centre = ReadPixel(320, 240);
  EXPECT_TRUE(Near(centre, Expected(Level.faceColors[0])));
  EXPECT_FALSE(Near(centre, Expected(Level.faceColors[10])));
}

TEST_F(Render, WorldWithoutFacesGivesABlackFrame) {
  MapDraft map;
  AddFacingSquare(map, {544, 388, 32}, 50);
  map.models = {BspModel{{}, 0, 0}};
  ASSERT_EQ(LoadDraft(map), 0);
  glClearColor(1, 1, 1, 1);  // so the test sees the clear's colour...
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0, 0, 0, 0);  // ...and DrawLevel clears to black again
  DrawLevel();
  std::vector<uint8_t> frame = ReadFrame();
  for (size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(frame[i], 0) << "byte " << i;
}

TEST_F(Render, MapAxesGoToGlAsXZMinusY) {
  // 500 ahead, 100 to the right, 50 up: lands right of and above the centre.
  MapDraft map;
  AddFacingSquare(map, {644, 788, 82}, 4);
  ASSERT_EQ(LoadDraft(map), 0);
  DrawLevel();
  const int x = static_cast<int>(std::lround(320 + 100 * kFocal / 500));
  const int y = static_cast<int>(std::lround(240 + 50 * kFocal / 500));
  const Rgb colour = Expected(Level.faceColors[0]);
  EXPECT_TRUE(Near(ReadPixel(x, y), colour));
  EXPECT_EQ(ReadPixel(640 - x, y), kBlack);  // not mirrored left
  EXPECT_EQ(ReadPixel(x, 480 - y), kBlack);  // not mirrored down
  EXPECT_EQ(ReadPixel(320, 240), kBlack);
}

TEST_F(Render, RealMapDrawsManyColoursWithoutGlErrors) {
  const std::string dir = RealMapsDir();
  if (dir.empty()) GTEST_SKIP() << "MIVO_REAL_MAPS is not set: no real map to draw";
  std::ifstream in(dir + "/libre-e1m1.bsp", std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(LoadBytes(bytes), 0);
  DrawLevel();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  std::vector<uint8_t> frame = ReadFrame();
  std::set<uint32_t> colours;
  for (size_t i = 0; i < frame.size(); i += 3) {
    colours.insert(frame[i] << 16 | frame[i + 1] << 8 | frame[i + 2]);
  }
  EXPECT_GT(colours.size(), 50u);
}
