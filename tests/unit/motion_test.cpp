// The map's clock and its look, with real GL (Mesa): frames of the panels
// of AliveMap at chosen times against values worked out by hand, and the
// program's window redrawing only while something moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/clock.h"
#include "app/options.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "platform/gl.h"
#include "tests/unit/support.h"
#include "view/camera.h"
#include "view/cull.h"
#include "view/motion.h"
#include "view/render.h"
#include "view/upload.h"
#include "view/views.h"

namespace {

namespace fs = std::filesystem;

constexpr ViewMode kFlat{kFlatView, false}, kLit{kLitView, false}, kLight{kLightOnlyView, false},
    kTexels{kFlatView, true}, kGame{kLitView, true};

// The map as GAME/maps/alive.bsp beside a palette whose colour i is (i,
// 255 - i, 100): a texel's red is its colour's number.
std::string InGameFolder(const MapDraft& map) {
  const fs::path game = fs::path(testing::TempDir()) / ("mivo-alive-" + std::to_string(getpid()));
  for (const char* folder : {"maps", "gfx"}) fs::create_directories(game / folder);
  Bytes palette;
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), 100});
  WriteBspFile((game / "gfx" / "palette.lmp").string(), palette);
  WriteBspFile((game / "maps" / "alive.bsp").string(), BspBytes(map));
  return (game / "maps" / "alive.bsp").string();
}

class Clocked : public testing::Test {
 protected:
  void SetUp() override {
    window = OpenGlWindow();
    InitGlState();
    SetupProjection();
  }
  void TearDown() override {
    ResetMapState();
    View = kFlat;
    ShownTime = {};
    DestroyWindow(window);
    fs::remove_all(fs::path(testing::TempDir()) / ("mivo-alive-" + std::to_string(getpid())));
  }
  void Load(const MapDraft& map) {
    ResetMapState();
    ASSERT_EQ(OpenMap(InGameFolder(map).c_str()) == 0 ? LoadLevel() : 1, 0);
    UploadLevel();
    glLoadIdentity();
    PlaceCamera();
  }
  // The pixel (x, y) from the lower left in `view` at `seconds` (-1: still).
  uint32_t At(ViewMode view, double seconds, int x, int y) {
    View = view;
    ShownTime = {seconds >= 0, std::max(seconds, 0.0)};
    DrawLevel();
    return PixelAt(x, y);
  }
  HWND window = nullptr;
};

// 0xRRGGBB against (r, g, b), within 3 levels a channel.
testing::AssertionResult Near(uint32_t got, double r, double g, double b) {
  const bool near = std::fabs(double(got >> 16) - r) <= 3 &&
                    std::fabs(double(got >> 8 & 0xFF) - g) <= 3 &&
                    std::fabs(double(got & 0xFF) - b) <= 3;
  return near ? testing::AssertionSuccess() : testing::AssertionFailure() << std::hex << got;
}

// Where the panels show: the back wall alone below them, the switchable
// light's wall, the animated texture, the water, the sky and a hole and a
// bar of the fence.
constexpr int kBackWall[2] = {320, 100}, kSwitched[2] = {619, 300}, kAnimated[2] = {54, 300},
              kWaterPixel[2] = {186, 300}, kSky[2] = {320, 240}, kHole[2] = {405, 300},
              kBar[2] = {438, 300};

}  // namespace

// Light 64 times the style's letter over 12, the letter of step floor(10 t).
TEST_F(Clocked, LightStylesFollowTheirPatternsAndSwitchableLightsStartAsTheirEntitiesSay) {
  MapDraft culled = AliveMap();  // the panels in the leaf ahead of the eye's, out of view behind it
  SetTree(culled, OneCut(culled, 300, {}, {0, 1, 2, 3, 4, 5}, 0x3, 0x3));
  Load(culled);
  // Style 2 at the back wall, style 32 (started off) at the switchable
  // light's: still, every style at full strength; step 25 is "z"; step 51
  // starts the pattern of 51 again.
  const struct {
    double seconds, wall, switched;
  } cases[] = {{-1, 64, 64}, {0.05, 0, 0}, {0.55, 64 * 5 / 12.0, 0}, {1.25, 64, 0},
               {2.55, 64 * 25 / 12.0, 0}, {5.15, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_TRUE(Near(At(kLight, c.seconds, kBackWall[0], kBackWall[1]), c.wall, c.wall, c.wall));
    EXPECT_TRUE(Near(PixelAt(kSwitched[0], kSwitched[1]), c.switched, c.switched, c.switched));
  }
  // Only blocks whose styles changed are composed again; a face out of view
  // catches up when it comes back.
  At(kLight, 0.55, 0, 0);
  EXPECT_EQ((At(kLight, 0.58, 0, 0), LastLightRefresh.blocks), 0u);
  EXPECT_EQ((At(kLight, 0.65, 0, 0), LastLightRefresh.blocks), 1u) << "the back wall alone";
  TurnCamera(180);
  EXPECT_EQ((At(kLight, 0.75, 0, 0), LastLightRefresh.blocks), 0u);
  TurnCamera(180);
  const double h = 64 * 7 / 12.0;  // step 7, "h"
  EXPECT_TRUE(Near(At(kLight, 0.75, kBackWall[0], kBackWall[1]), h, h, h));
}

// Light made again block by block as the clock runs is the light composed
// at once for that time: the pages GL holds, with every face of a real map
// drawn.
TEST_F(Clocked, RunningLightOfARealMapIsTheLightComposedAtOnce) {
  const char* maps = getenv("MIVO_REAL_MAPS");
  const std::string path = maps != nullptr ? std::string(maps) + "/libre-e1m1.bsp" : "";
  if (path.empty() || !fs::exists(path)) GTEST_SKIP() << "MIVO_REAL_MAPS has no libre-e1m1.bsp";
  std::vector<uint8_t> pages[2];
  CullFaces = false;
  for (int m = 0; m < 2; ++m) {
    ResetMapState();
    ASSERT_EQ(OpenMap(path.c_str()) == 0 ? LoadLevel() : 1, 0);
    UploadLevel();
    for (double t = m == 0 ? 0 : 1.05; t < 1.1; t += 0.1) At(kLight, t, 0, 0);
    for (GLuint name : LevelTextures.lightPages) {
      std::vector<uint8_t> page(size_t(kLightPageSize) * kLightPageSize * 3);
      glBindTexture(GL_TEXTURE_2D, name);
      glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, page.data());
      pages[m].insert(pages[m].end(), page.begin(), page.end());
    }
  }
  CullFaces = true;
  EXPECT_EQ(pages[0].size(), 2u * kLightPageSize * kLightPageSize * 3);
  EXPECT_TRUE(pages[0] == pages[1]);
}

// The colour's number (a pixel's red, in the textured views) at each time.
TEST_F(Clocked, AnimatedTexturesLiquidsAndTheSkysLayersMoveInTheTexturedViews) {
  MapDraft map = AliveMap();
  map.entities.clear();  // opaque water, no fog
  Load(map);
  const struct {
    const int* at;
    double seconds;
    uint32_t colour;
  } cases[] = {
      // Frames change every 0.2 s: +0anim, +1anim, +0anim again.
      {kAnimated, -1, 1}, {kAnimated, 0.1, 1}, {kAnimated, 0.3, 2}, {kAnimated, 0.45, 1},
      // The pixel's s is 511.88, its column 15 (colour 31); warped by
      // 8 sin(40 / 8 + T): -5.64 at 0.5 (column 10), -2.24 at 1 (13), 7.50
      // at 2.5 (519.39: 7).
      {kWaterPixel, -1, 31}, {kWaterPixel, 0.5, 26}, {kWaterPixel, 1, 29}, {kWaterPixel, 2.5, 23},
      // Still, the far layer at the face's own s and t (column 32, row 32).
      // Moving, at the middle of the square (corners 16 away from the axis,
      // 100 ahead) the direction flattened and scaled to 378 has x 0 and y
      // 37800 / sqrt(16^2 + 100^2 + 48^2) = 337.29: the far layer's row is
      // 8 T + 337.29 mod 128, the near layer's column 16 T mod 128. At 0.5
      // near column 8 (clear), far row 85.3; at 2.5 40 (clear), 101.3; at
      // 4.5 72; at 7.5 120 (clear), 13.3; at 100.25, many turns on, 68.
      {kSky, -1, 3}, {kSky, 0.5, 3}, {kSky, 2.5, 4}, {kSky, 4.5, 5}, {kSky, 7.5, 3},
      {kSky, 100.25, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "x " << c.at[0] << " at " << c.seconds);
    EXPECT_EQ(At(kTexels, c.seconds, c.at[0], c.at[1]) >> 16, c.colour);
    EXPECT_EQ(At(kLit, c.seconds, c.at[0], c.at[1]), At(kLit, -1, c.at[0], c.at[1]))
        << "untextured";
  }
  // A face naming another frame shows it still, and the set's frame once timed.
  map.texInfos[1].texture = 1;
  Load(map);
  EXPECT_EQ(At(kTexels, -1, kAnimated[0], kAnimated[1]) >> 16, 2u);
  EXPECT_EQ(At(kTexels, 0.1, kAnimated[0], kAnimated[1]) >> 16, 1u);
}

// Fences, translucent liquids and fog need no clock.
TEST_F(Clocked, FencesHolesTranslucentWaterAndFogShowInTheStillPicture) {
  MapDraft map = AliveMap();
  map.entities = R"({"classname" "worldspawn" "_wateralpha" "0.5" "fog" "0.64 1 0 0"})";
  Load(map);
  // Through the hole the back wall (colour 7); the bar, colour 6; the
  // water half over the back wall.
  EXPECT_EQ(At(kTexels, -1, kHole[0], kHole[1]), 0x07F864u);
  EXPECT_EQ(PixelAt(kBar[0], kBar[1]), 0x06F964u);
  EXPECT_TRUE(
      Near(PixelAt(kWaterPixel[0], kWaterPixel[1]), (31 + 7) / 2.0, (224 + 248) / 2.0, 100));
  EXPECT_TRUE(Near(PixelAt(150, 300), (23 + 7) / 2.0, (232 + 248) / 2.0, 100)) << "s 503.2";
  EXPECT_EQ(PixelAt(kAnimated[0], kAnimated[1]), 0x01FE64u) << "no fog but in the game view";
  // Untextured, the fence is a wall.
  const uint32_t hole = At(kLit, -1, kHole[0], kHole[1]);
  EXPECT_EQ(hole, PixelAt(kBar[0], kBar[1]));
  // Game view: texel times 2 64 / 255, then fog of density 0.01 at depth
  // 100, f = e^-1: f colour + (1 - f) red.
  const double f = std::exp(-1.0), light = 128 / 255.0;
  EXPECT_TRUE(Near(At(kGame, -1, kAnimated[0], kAnimated[1]), f * light + (1 - f) * 255,
                   f * 254 * light, f * 100 * light));
}

// Nothing of the clock shows until it starts: each view's still frame is
// that of the same map where nothing can move (plain names, style 0).
TEST_F(Clocked, StillFramesAreThoseOfAMapWhereNothingMoves) {
  MapDraft alive = AliveMap();
  alive.entities.clear();
  MapDraft plain = alive;
  std::vector<uint8_t>& lump = *plain.rawLumps[kTexturesLump];
  for (const std::string name : {"+0anim", "+1anim", "*water"}) {
    std::search(lump.begin(), lump.end(), name.begin(), name.end())[0] = 'x';
  }
  for (BspFace& face : plain.faces) face.styles[0] = face.styles[0] == 255 ? 255 : 0;
  for (ViewMode view : {kFlat, kLit, kLight, kTexels, kGame}) {
    std::vector<uint32_t> frames[2];
    for (int m = 0; m < 2; ++m) {
      Load(m == 0 ? alive : plain);
      At(view, -1, 0, 0);
      for (int p = 0; p < 640 * 480; p += 7) frames[m].push_back(PixelAt(p % 640, p / 640));
    }
    EXPECT_EQ(frames[0], frames[1]) << view.light << " " << view.textures;
  }
}

// The program's window: Space starts and stops the clock; while it runs
// and something moves in view the frame timer (2) asks for frames, before
// the watcher's (1, every 250 ms) is due; otherwise only the watcher's.
TEST(ClockedWindow, RedrawsOnlyWhileTheClockRunsAndSomethingMovesInView) {
  const std::string path = InGameFolder(AliveMap());
  MapPath = path.c_str();
  HWND window = OpenWindow(WindowProc);
  ASSERT_NE(window, nullptr);
  const auto nextTimer = [&](const char* keys) {
    for (const char* k = keys; *k != '\0'; ++k) WindowProc(window, WM_CHAR, WPARAM(*k), 0);
    WindowProc(window, WM_PAINT, 0, 0);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER) {
    }
    return message.wParam;
  };
  EXPECT_EQ(nextTimer("l"), 1u) << "still, in the lit view";
  EXPECT_EQ(nextTimer(" "), 2u) << "running";
  EXPECT_TRUE(MapClock.running);
  EXPECT_EQ(nextTimer("ll"), 1u) << "the flat view";
  EXPECT_EQ(nextTimer("l"), 2u) << "the lit view again";
  EXPECT_EQ(nextTimer("666666666666666666"), 1u) << "turned away from what moves";
  EXPECT_EQ(nextTimer("666666666666666666 "), 1u) << "stopped";
  EXPECT_FALSE(MapClock.running);
  const double stoppedAt = MapClock.seconds;
  EXPECT_EQ(ClockTime(GetTickCount() + 5000).seconds, stoppedAt);
  MapDraft steady = AliveMap();  // its back wall in style 0: in the lit view nothing varies
  steady.faces[0].styles[0] = 0;
  ASSERT_EQ(ReplaceMap(window, InGameFolder(steady).c_str(), kKeepView), 0);
  EXPECT_EQ(nextTimer(" "), 1u) << "running, nothing that varies";
  DestroyWindow(window);
  MapClock = {};
  fs::remove_all(fs::path(path).parent_path().parent_path());
}
