// The view with real GL (Mesa) in windows of the layer: what a frame
// shows of levels made for the case, and the key commands in the
// program's own window, driven through its window procedure.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "app/app.h"
#include "app/options.h"
#include "bsp/level.h"
#include "platform/gl.h"
#include "platform/sdl_state.h"
#include "platform/sdl_win32_testing.h"
#include "tests/unit/support.h"
#include "view/render.h"

namespace {

class Frame : public testing::Test {
 protected:
  void SetUp() override {
    window = OpenGlWindow();
    InitGlState();
    SetupProjection();
    PlaceCamera();
  }
  void TearDown() override {
    ResetMapState();
    DestroyWindow(window);
  }

  uint32_t Draw(const MapDraft& map) { return Draw(BspBytes(map)); }
  uint32_t Draw(const Bytes& bytes) {
    EXPECT_EQ(LoadBytes(bytes), 0);
    DrawLevel();
    return PixelAt(320, 240);
  }

  HWND window = nullptr;
};

// A square d units ahead of the starting eye, looking at it.
MapDraft Ahead(float d, Facing facing = Facing::kMinusY) {
  MapDraft map;
  const float half = 1 + d / 10;
  AddRect(map, {544 - half, 288 + d, 32 - half}, {544 + half, 288 + d, 32 + half}, facing);
  return map;
}

}  // namespace

TEST_F(Frame, ShowsWhatLiesAheadBetweenTheNearAndFarPlanes) {
  for (float d : {0.5f, 1.5f, 9990.0f, 10010.0f}) {
    SCOPED_TRACE(d);
    EXPECT_EQ(Draw(Ahead(d)) != 0, d > 1 && d < 10000);
  }
}

TEST_F(Frame, FacesThatWindCounterClockwiseAreNeitherFilledNorOutlined) {
  for (GLenum mode : {GL_FILL, GL_LINE}) {
    glPolygonMode(GL_FRONT, mode);
    for (Facing facing : {Facing::kMinusY, Facing::kPlusY}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", facing " << int(facing));
      Draw(Ahead(100, facing));
      int lit = 0;
      for (int y = 0; y < 480; y += 2) {
        for (int x = 0; x < 640; x += 2) lit += PixelAt(x, y) != 0;
      }
      EXPECT_EQ(lit > 0, facing == Facing::kMinusY);  // only the side facing the eye
    }
  }
}

TEST_F(Frame, DrawnFacesTakeColoursFromTheStartOfTheColourArray) {
  MapDraft map = Ahead(5000);
  AddRect(map, {444, 388, -68}, {644, 388, 132}, Facing::kMinusY);
  map.models = {BspModel{{}, 1, 1}};  // the world is face 1 alone
  // Colour 0: (41, 18467, 6334) / 32768 in 8 bits.
  EXPECT_EQ(Draw(map), 0x009031u);
  // A world without faces: the frame is cleared and nothing drawn.
  map.models[0].faceTotal = 0;
  EXPECT_EQ(Draw(map), 0u);
}

TEST_F(Frame, SurfaceEdgeZeroWalksEdgeZeroFromItsEnd) {
  // A triangle around the centre, corners clockwise on the screen: the top
  // comes from the end of edge 0; its start lies far below, and a triangle
  // from there would wind the other way.
  MapDraft map;
  map.vertices = {{544, 388, 52}, {564, 388, 12}, {524, 388, 12}, {544, 388, -500}};
  map.edges = {{3, 0}, {1, 2}, {2, 0}};
  map.surfEdges = {0, 1, 2};
  map.faces = {BspFace{{}, 0, 3, {}}};
  EXPECT_NE(Draw(map), 0u);
}

TEST_F(Frame, Bsp2MapsPastEvery16BitLimitLoadAndDrawEveryFace) {
  EXPECT_NE(Draw(Bsp2QuadBytes(GridQuads(70000))), 0u);
  EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
  EXPECT_EQ(Level.faceCount, 70000u);
  EXPECT_EQ(Level.vertexCount, 280000u);
  EXPECT_EQ(Level.triangles.cornerCount, 70000u * 6) << "two triangles a face";
}

namespace {

using Matrix = std::array<float, 16>;

struct Step {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

Matrix Modelview() {
  Matrix m;
  glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
  return m;
}

class Keys : public testing::Test {
 protected:
  void SetUp() override {
    MapPath = MIVO_DEMO_MAP;
    window = OpenWindow(WindowProc);  // WM_CREATE runs the program's start-up
    ASSERT_NE(Level.faces, nullptr);
  }
  void TearDown() override { DestroyWindow(window); }

  // The view after typing `characters`, or after the messages `steps`,
  // from the starting view.
  Matrix ViewAfter(const std::string& characters) {
    glLoadIdentity();
    PlaceCamera();
    for (char c : characters) WindowProc(window, WM_CHAR, static_cast<unsigned char>(c), 0);
    return Modelview();
  }
  Matrix ViewAfter(const std::vector<Step>& steps) {
    glLoadIdentity();
    PlaceCamera();
    for (const Step& s : steps) WindowProc(window, s.message, s.wParam, s.lParam);
    return Modelview();
  }

  HWND window = nullptr;
};

}  // namespace

TEST_F(Keys, PlayerStartGivesTheViewTheKeysWouldGiveFromTheFixedOne) {
  struct Case {
    PlayerStart start;
    const char* characters;
  } cases[] = {{{false, {1, 2, 3}, 45}, ""},
               {{true, {544, 288, 32}, 90}, ""},
               {{true, {544, 308, 32}, 90}, "8"},
               {{true, {544, 288, 32}, 100}, "4"},
               {{true, {524, 288, 32}, 80}, "36"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.characters);
    Level.start = {};
    const Matrix want = ViewAfter(c.characters);
    Level.start = c.start;
    const Matrix got = ViewAfter("");
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], want[i], 1e-4f) << i;
  }
}

TEST_F(Keys, CommandsAskForARepaintAndOthersDoNothing) {
  struct Case {
    int character;
    bool command;
    GLint frontMode;
  } cases[] = {{'w', true, GL_LINE}, {'f', true, GL_FILL}, {'W', true, GL_LINE},
               {'F', true, GL_FILL}, {'7', true, GL_LINE}, {'9', true, GL_FILL},
               {'8', true, GL_FILL}, {'5', false, GL_FILL}, {8, false, GL_FILL},
               {13, false, GL_FILL}, {' ', false, GL_FILL}, {'X', false, GL_FILL}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.character);
    ValidateRect(window, nullptr);
    const Matrix before = Modelview();
    WindowProc(window, WM_CHAR, static_cast<WPARAM>(c.character), 0);
    EXPECT_EQ(MainWindow.invalid, c.command);
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], c.frontMode);
    EXPECT_EQ(modes[1], GL_FILL) << "back faces keep their mode";
    if (!c.command) {
      EXPECT_EQ(Modelview(), before);
    }
  }
}

TEST_F(Keys, ArrowsWheelAndDragsGiveTheViewsOfTheKeys) {
  const auto at = [](int x, int y) { return MAKELPARAM(WORD(x), WORD(y)); };
  const auto wheel = [](int delta) { return WPARAM{WORD(delta)} << 16; };
  const Step down = {WM_LBUTTONDOWN, MK_LBUTTON, at(300, 200)}, up = {WM_LBUTTONUP, 0, at(0, 0)};
  struct Case {
    const char* characters;
    std::vector<Step> steps;
  } cases[] = {
      {"8", {{WM_KEYDOWN, VK_UP, 1}}}, {"2", {{WM_KEYDOWN, VK_DOWN, 1}}},
      {"4", {{WM_KEYDOWN, VK_LEFT, 1}}}, {"6", {{WM_KEYDOWN, VK_RIGHT, 1}}},
      {"+", {{WM_KEYDOWN, VK_PRIOR, 1}}}, {"-", {{WM_KEYDOWN, VK_NEXT, 1}}},
      {"", {{WM_KEYDOWN, VK_RETURN, 1}, {WM_TIMER, 1, 0}}},
      {"8", {{WM_MOUSEWHEEL, wheel(120), 0}}}, {"22", {{WM_MOUSEWHEEL, wheel(-240), 0}}},
      {"", {{WM_MOUSEWHEEL, wheel(60), 0}}}, {"8", {{WM_MOUSEWHEEL, wheel(60), 0}}},
      {"4", {down, {WM_MOUSEMOVE, MK_LBUTTON, at(140, 200)}, up}},
      {"66",
       {down, {WM_MOUSEMOVE, MK_LBUTTON, at(460, 200)}, {WM_MOUSEMOVE, MK_LBUTTON, at(620, 200)}}},
      // Held from outside the window, or let go outside it: no drag.
      {"", {up, {WM_MOUSEMOVE, MK_LBUTTON, at(0, 0)}, {WM_MOUSEMOVE, MK_LBUTTON, at(160, 0)}}},
      {"", {down, {WM_MOUSEMOVE, 0, at(0, 0)}, {WM_MOUSEMOVE, MK_LBUTTON, at(160, 0)}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.characters << ", " << c.steps.size() << " steps");
    const Matrix want = ViewAfter(c.characters);
    ValidateRect(window, nullptr);
    EXPECT_EQ(ViewAfter(c.steps), want);
    EXPECT_EQ(MainWindow.invalid, *c.characters != '\0');
  }
}

TEST_F(Keys, APitchedViewTurnsAboutTheMapsVerticalAndKeepsItsPitch) {
  const auto lookUp = [](int pixels) {  // a drag upwards
    return std::vector<Step>{{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 5000)},
                             {WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, WORD(5000 - pixels))}};
  };
  EXPECT_NEAR(ViewAfter(lookUp(480))[6], -0.5f, 1e-6f) << "30 degrees up";
  for (int i = 0; i < 9; ++i) WindowProc(window, WM_CHAR, '4', 0);
  // Turned 90 degrees left, the eye looks along the map's -x and still 30
  // degrees up, which is where 8 flies: the matrix's third row is minus that
  // direction. Its second column, the map's vertical seen from the eye, has
  // no sideways lean: the horizon stays level.
  const Matrix m = Modelview();
  for (auto [i, value] : {std::pair{2, 0.8660254f}, {6, -0.5f}, {10, 0.0f}, {4, 0.0f}}) {
    EXPECT_NEAR(m[i], value, 1e-5f) << i;
  }
  ViewAfter(lookUp(480));
  WindowProc(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, 3000));  // 125 degrees in all
  EXPECT_NEAR(Modelview()[6], -std::sin(89 / 57.29578f), 1e-5f) << "at most 89 up";
}

TEST(AppDeathTest, PaletteFormatIsRefusedAndTheProgramEndsNormally) {
  EXPECT_EXIT(
      {
        PretendPalettePixelFormat(true);
        MapPath = MIVO_DEMO_MAP;
        exit(WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT));
      },
      testing::ExitedWithCode(0), "Error: this window wants a palette! \\(no more implemented\\)");
}
