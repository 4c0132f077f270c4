// The view with real GL (Mesa) in windows of the layer: what a frame
// shows of levels made for the case, and the key commands in the
// program's own window, driven through its window procedure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/app.h"
#include "app/options.h"
#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "bsp/textures.h"
#include "platform/gl.h"
#include "platform/sdl_state.h"
#include "platform/sdl_win32_testing.h"
#include "tests/unit/support.h"
#include "view/camera.h"
#include "view/cull.h"
#include "view/overlays.h"
#include "view/inspect.h"
#include "view/pick.h"
#include "view/render.h"
#include "view/upload.h"
#include "view/views.h"

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
    View = {kFlatView, false};
    Inspect = {};
    DestroyWindow(window);
  }

  // The pixel at (x, 240) of `bytes`, or of the map at `path`, in `view`.
  uint32_t Show(const Bytes& bytes, ViewMode view = {kFlatView, false}, int x = 320) {
    EXPECT_EQ(LoadBytes(bytes), 0);
    return ShowLoaded(view, x);
  }
  uint32_t Show(const std::string& path, ViewMode view, int x = 320) {
    ResetMapState();
    EXPECT_EQ(OpenMap(path.c_str()) == 0 ? LoadLevel() : 1, 0);
    return ShowLoaded(view, x);
  }
  uint32_t ShowLoaded(ViewMode view, int x) {
    UploadLevel();
    View = view;
    DrawLevel();
    return PixelAt(x, 240);
  }
  uint32_t Draw(const MapDraft& map) { return Show(BspBytes(map)); }

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
  map.models = {BspModel{}};
  map.models[0].faceStart = map.models[0].faceTotal = 1;  // the world is face 1 alone
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
  map.faces = {BspFace{}};
  map.faces[0].surfEdgeTotal = 3;
  EXPECT_NE(Draw(map), 0u);
}

TEST_F(Frame, Bsp2MapsPastEvery16BitLimitLoadAndDrawEveryFace) {
  EXPECT_NE(Show(Bsp2QuadBytes(GridQuads(70000))), 0u);
  EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
  EXPECT_EQ(Level.faceCount, 70000u);
  EXPECT_EQ(Level.vertexCount, 280000u);
  EXPECT_EQ(Level.corners.positions.size(), 280000u * 3);
}

namespace {

constexpr ViewMode kFlat{kFlatView, false}, kLit{kLitView, false}, kLight{kLightOnlyView, false},
    kTexels{kFlatView, true}, kGame{kLitView, true};

// The frame drawn last, 0xRRGGBB a pixel from the lower left.
std::vector<uint32_t> Frame640() {
  std::vector<uint8_t> rgb(640 * 480 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  std::vector<uint32_t> frame(640 * 480);
  for (size_t p = 0; p < frame.size(); ++p) {
    frame[p] = uint32_t(rgb[3 * p]) << 16 | uint32_t(rgb[3 * p + 1]) << 8 | rgb[3 * p + 2];
  }
  return frame;
}

// Whether 0xRRGGBB `got` is (r, g, b) within `levels` a channel.
testing::AssertionResult Near(uint32_t got, double r, double g, double b, double levels = 2) {
  const double want[3] = {r, g, b};
  for (int c = 0; c < 3; ++c) {
    if (std::fabs(double(got >> (16 - 8 * c) & 0xFF) - want[c]) > levels) {
      return testing::AssertionFailure() << std::hex << got << " is not near that";
    }
  }
  return testing::AssertionSuccess();
}

// A wall 100 units ahead of the starting eye, 128 wide and high, its light
// samples 16 units apart: 64 on its left half, 192 on its right. Texture
// info 0 maps s to x and t to z, so the grid is 9 x 9 samples (s from 480
// to 608: 30 to 38; t from -32 to 96: -2 to 6). At 100 units a unit is
// 4.16 pixels: x = 500 lands on pixel 137, x = 590 on pixel 511.
MapDraft LitWall() {
  MapDraft map;
  AddRect(map, {480, 388, -32}, {608, 388, 96}, Facing::kMinusY);
  map.texInfos = {BspTexInfo{{1, 0, 0, 0}, {0, 0, 1, 0}, 0, 0}};
  for (int j = 0; j < 9; ++j) {
    for (int i = 0; i < 9; ++i) map.lighting.push_back(i < 4 ? 64 : i > 4 ? 192 : 128);
  }
  map.faces[0].styles[0] = 0;
  map.faces[0].lightOffset = 0;
  return map;
}

}  // namespace

TEST_F(Frame, LitViewsShowTheLightOfEachFaceAndFullBrightWhereItCannotBeShown) {
  // L at x = 500, or -1 for full bright. The wall's flat colour is
  // (0, 144, 49); lit, it is times 2 L / 255.
  const struct {
    const char* what;
    std::function<void(MapDraft&)> change;
    int light;
  } cases[] = {
      {"lit", [](MapDraft&) {}, 64},
      {"sky or liquid with a light map", [](MapDraft& m) { m.texInfos[0].flags = 1; }, 64},
      {"sky or liquid without one",
       [](MapDraft& m) { m.texInfos[0].flags = 1, m.faces[0].lightOffset = -1; }, -1},
      {"no light map", [](MapDraft& m) { m.faces[0].lightOffset = -1; }, 0},
      {"no styles", [](MapDraft& m) { m.faces[0].styles[0] = 255; }, 0},
      {"two styles", [](MapDraft& m) { m.faces[0].styles[1] = 5, m.lighting.resize(162, 100); }, 164},
      {"capped", [](MapDraft& m) { m.faces[0].styles[1] = 5, m.lighting.resize(162, 250); }, 255},
      {"offset past the lump", [](MapDraft& m) { m.faces[0].lightOffset = 81; }, -1},
      {"grid past the lump", [](MapDraft& m) { m.faces[0].lightOffset = 10; }, -1},
      {"texture info out of range", [](MapDraft& m) { m.faces[0].texInfo = 1; }, -1},
      {"NaN texture vector", [](MapDraft& m) { m.texInfos[0].s[0] = NAN; }, -1},
      {"infinite texture offset", [](MapDraft& m) { m.texInfos[0].t[3] = INFINITY; }, -1},
      {"an extent of 2^31", [](MapDraft& m) { m.texInfos[0].s[0] = 1 << 22; }, -1},
      {"256 samples wide, the most", [](MapDraft& m) {
         m.texInfos[0].s[0] = 31.875f, m.texInfos[0].s[3] = -4, m.lighting.assign(256 * 9, 64);
       }, 64},
      {"257 samples wide, all there", [](MapDraft& m) { m.texInfos[0].s[0] = 32, m.lighting.resize(257 * 9, 64); }, -1},
      {"a map without light", [](MapDraft& m) { m.lighting.clear(); }, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MapDraft map = LitWall();
    c.change(map);
    const Bytes bytes = BspBytes(map);
    const double l = c.light < 0 ? 255 : c.light, factor = c.light < 0 ? 1 : 2 * l / 255;
    EXPECT_TRUE(Near(Show(bytes, kLight, 137), l, l, l));
    EXPECT_TRUE(Near(Show(bytes, kLit, 137), 0, std::min(144 * factor, 255.0), 49 * factor));
    EXPECT_EQ(Show(bytes, kFlat, 137), 0x009031u) << "the flat view never changes";
  }
  const Bytes wall = BspBytes(LitWall());
  EXPECT_TRUE(Near(Show(wall, kLight, 511), 192, 192, 192));
  EXPECT_TRUE(Near(Show(wall, kLit, 511), 0, 2 * 144 * 192 / 255.0, 2 * 49 * 192 / 255.0));
}

TEST_F(Frame, ColouredLightFromVersion30AndFromABspxLump) {
  MapDraft map = LitWall();
  map.version = 30;  // red, green, blue a sample; offsets count bytes
  map.lighting.clear();
  for (int i = 0; i < 81; ++i) map.lighting.insert(map.lighting.end(), {200, 100, 50});
  EXPECT_TRUE(Near(Show(BspBytes(map), kLight, 137), 200, 100, 50));
  // BSP2, its mono samples coloured by a BSPX lump after the standard ones.
  Bytes wide = Bsp2Bytes(BspBytes(LitWall()));
  wide.resize((wide.size() + 3) / 4 * 4);
  const uint32_t at = uint32_t(wide.size()) + 40, length = 243;
  const char head[40] = "BSPX\1\0\0\0RGBLIGHTING";
  wide.insert(wide.end(), head, head + 40);
  memcpy(&wide[at - 8], &at, 4);
  memcpy(&wide[at - 4], &length, 4);
  for (int i = 0; i < 81; ++i) wide.insert(wide.end(), {20, 200, 90});
  EXPECT_TRUE(Near(Show(wide, kLight, 137), 20, 200, 90));
  wide.resize(wide.size() - 3);  // no longer 3 x the mono samples: passed over
  EXPECT_TRUE(Near(Show(wide, kLight, 137), 64, 64, 64));
}

// The wall's light laid out and ranged by BSPX lumps. Sample (i, j) holds
// Value(i, j); the light-only view shows it where the layout puts it: at
// s = 2^shift (smin + i) (x = 480 + 4 i for a shift of 2), or where the
// matrix gives (i, j) (u = (608 - x) / 32, v = (z + 32) / 16: mirrored).
// Damaged lumps show full bright (255), a decoupled face without light black.
TEST_F(Frame, LightAtOtherSpacingsLayoutsAndRangesShowsEachSampleWhereItLies) {
  const auto value = [](int i, int j) { return 30 + 5 * i + 2 * j; };
  const auto grid = [&](int w, int h, int styles = 1) {
    Bytes samples;
    for (int k = 0; k < styles * w * h; ++k) samples.push_back(uint8_t(value(k % w, k / w % h)));
    return samples;
  };
  const auto raw = [](std::vector<uint32_t> words, size_t bytes = 0) {
    Bytes b(4 * words.size());
    memcpy(b.data(), words.data(), b.size());
    b.resize(bytes != 0 ? bytes : b.size());
    return b;
  };
  const auto decoupled = [&](uint32_t sides, int32_t offset, float m00 = -1.0f / 32) {
    return BspxLump{"DECOUPLED_LM", raw({sides, uint32_t(offset), std::bit_cast<uint32_t>(m00), 0, 0,
                                         std::bit_cast<uint32_t>(19.0f), 0, 0,
                                         std::bit_cast<uint32_t>(1.0f / 16), std::bit_cast<uint32_t>(2.0f)})};
  };
  const uint32_t hdr = 17u << 27 | 384u << 18 | 64u << 9 | 192u;  // 1.5, 0.5, 3.0 times 2^7 / 2^7
  const std::string mono = "mono (the light lump)";
  const struct {
    const char* what;
    std::vector<BspxLump> lumps;
    Bytes lighting;
    std::vector<std::array<float, 3>> at;  // map x, z; 0xRRGGBB shown there
    std::string source;
  } cases[] = {
      {"LMSHIFT 2", {{"LMSHIFT", {2}}}, grid(33, 33),
       {{544, 32, 142 * 0x10101}, {488, 32, 72 * 0x10101}, {600, 0, 196 * 0x10101}},
       "mono, 2^2 units a sample (LMSHIFT)"},
      {"LMSHIFT 5", {{"LMSHIFT", {5}}}, grid(5, 5), {{512, 32, 39 * 0x10101}, {576, 0, 47 * 0x10101}},
       "mono, 2^5 units a sample (LMSHIFT)"},
      {"decoupled", {decoupled(9 << 16 | 5, 0)}, grid(5, 9), {{576, 32, 43 * 0x10101}, {512, 0, 49 * 0x10101}},
       "mono, decoupled (DECOUPLED_LM)"},
      {"LMOFFSET past a block of 0, LMSTYLE of five styles",
       {{"LMOFFSET", raw({81})}, {"LMSTYLE", {0, 1, 2, 3, 4, 255}}}, [] { Bytes b(81, 0); b.resize(6 * 81, 20); return b; }(),
       {{544, 32, 100 * 0x10101}}, mono},
      {"LMSTYLE16", {{"LMSTYLE16", raw({0xFFFF012C})}}, grid(9, 9), {{544, 32, 58 * 0x10101}}, mono},
      {"HDR", {{"LIGHTING_E5BGR9", raw(std::vector<uint32_t>(81, hdr))}}, grid(9, 9), {{544, 32, 0xC040FF}},
       "coloured HDR (LIGHTING_E5BGR9)"},
      {"HDR of another size", {{"LIGHTING_E5BGR9", raw(std::vector<uint32_t>(80, hdr))}}, grid(9, 9),
       {{544, 32, 58 * 0x10101}}, mono},
      {"LMSHIFT of another size", {{"LMSHIFT", {4, 4}}}, grid(9, 9), {{544, 32, 0xFFFFFF}},
       "mono, LMSHIFT damaged (faces full bright)"},
      {"decoupled, NaN", {decoupled(9 << 16 | 5, 0, NAN)}, grid(5, 9), {{544, 32, 0xFFFFFF}}, ""},
      {"decoupled, 0 wide", {decoupled(9 << 16, 0)}, grid(5, 9), {{544, 32, 0xFFFFFF}}, ""},
      {"decoupled, 257 wide", {decoupled(1 << 16 | 257, 0)}, grid(257, 1), {{544, 32, 0xFFFFFF}}, ""},
      {"decoupled, past the light", {decoupled(9 << 16 | 5, 1)}, grid(5, 9), {{544, 32, 0xFFFFFF}}, ""},
      {"decoupled without light", {decoupled(0, -1)}, grid(5, 9), {{544, 32, 0}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MapDraft map = LitWall();
    map.lighting = c.lighting;
    Show(WithBspx(BspBytes(map), c.lumps), kLight);
    for (const auto& [x, z, rgb] : c.at) {
      // 4.157 pixels a unit, 100 units ahead of the eye at (544, 288, 32).
      const uint32_t got = PixelAt(int(320 + (x - 544) * 4.1569f), int(240 + (z - 32) * 4.1569f));
      EXPECT_TRUE(Near(got, uint32_t(rgb) >> 16, uint32_t(rgb) >> 8 & 255, uint32_t(rgb) & 255)) << x << " " << z;
    }
    if (!c.source.empty()) {
      EXPECT_EQ(Level.light.source, c.source);
    }
  }
}

TEST_F(Frame, DoorsShowOutsideTheFlatViewWhereTheirEntitiesPutThemAndTriggersNever) {
  MapDraft map;
  AddRect(map, {444, 588, -68}, {644, 588, 132}, Facing::kMinusY);  // the world: a far wall
  AddRect(map, {524, 338, 12}, {564, 338, 52}, Facing::kMinusY);    // a door, 50 units short
  AddRect(map, {504, 300, 12}, {584, 300, 52}, Facing::kMinusY);    // a trigger's brush
  // The world, the door (its box as built), the trigger, and a model of two faces.
  map.models = {BspModel{{}, {}, {}, {}, 0, 0, 1}, BspModel{{524, 338, 12}, {564, 338, 52}, {}, {}, 0, 1, 1},
                BspModel{{}, {}, {}, {}, 0, 2, 1}, BspModel{{}, {}, {}, {}, 0, 1, 2}};
  map.entities = R"({"classname" "worldspawn"}
    {"classname" "func_door" "model" "*1" "origin" "0 50 0"}
    {"classname" "trigger_once" "model" "*2"} {"model" "*999"} {"model" "*-1"} {"model" "*"})";
  const Bytes bytes = BspBytes(map);
  EXPECT_EQ(Show(bytes, kFlat), 0x009031u) << "the world alone";
  // Face record 1 takes colour entry 1, (26500, 19169, 15724) / 32768.
  EXPECT_EQ(Show(bytes, kLit), 0xCE957Au);
  EXPECT_EQ(Level.brushes.size(), 1u);
  map.models[3].faceStart = 2;  // a model whose faces run past the lump is skipped
  map.entities = R"({"model" "*3"})";
  EXPECT_EQ(Show(BspBytes(map), kLit), 0x009031u);
}

namespace {

// The far wall (the world), a door 50 units beyond where it was built, a
// soldier around the eye and ammunition in front of the door.
MapDraft PickingMap() {
  MapDraft map;
  AddRect(map, {444, 588, -68}, {644, 588, 132}, Facing::kMinusY);
  AddRect(map, {524, 338, 12}, {564, 338, 52}, Facing::kMinusY);
  map.models = {BspModel{{}, {}, {}, {}, 0, 0, 1}, BspModel{{524, 338, 12}, {564, 338, 52}, {}, {}, 0, 1, 1}};
  map.entities = R"({"classname" "func_door" "model" "*1" "origin" "0 50 0" "targetname" "d1"}
    {"classname" "monster_army" "origin" "544 300 32"} {"classname" "item_shells" "origin" "534 360 22"})";
  return map;
}

}  // namespace

TEST_F(Frame, APickIsTheNearestFaceOrMarkerTheViewShowsUnderThePixel) {
  const struct {
    ViewMode view;
    bool markers;
    int x, y;
    PickKind kind;
    uint32_t index;
    double depth;
  } cases[] = {
      {kFlat, false, 320, 240, kFacePicked, 0, 300},   // the door shows in no flat view
      {kLit, false, 320, 240, kFacePicked, 1, 100},    // the door where its entity puts it
      {kLit, true, 320, 240, kMarkerPicked, 1, 72},    // the soldier's box holds the eye
      {kLit, true, 200, 240, kFacePicked, 0, 300},
      {kLit, true, 320, 470, kNothingPicked, 0, 0},
      {kLit, true, 640, 240, kNothingPicked, 0, 0},    // outside the picture
  };
  const Bytes bytes = BspBytes(PickingMap());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " " << c.y << " markers " << c.markers);
    Show(bytes, c.view);
    const Pick pick = PickAt(c.x, c.y, c.markers);
    EXPECT_EQ(pick.kind, c.kind);
    EXPECT_EQ(pick.index, c.index);
    EXPECT_NEAR(pick.depth, c.depth, 0.01);
  }
  EXPECT_EQ(PanelLines({kFacePicked, 0, 0})[1], "owner: world");
  EXPECT_EQ(PanelLines({kFacePicked, 1, 0})[1], "owner: *1 func_door, targetname d1");
  EXPECT_EQ(PanelLines({kMarkerPicked, 1, 0}),
            (std::vector<std::string>{"entity 2", "\"classname\" \"item_shells\"", "\"origin\" \"534 360 22\""}));
}

// A trigger's box outlined, with the markers: its front corners stand 150
// units ahead, 50 to the left and the right, at pixels 181 and 458.
TEST_F(Frame, TriggersAreOutlinedInGreyWithTheMarkers) {
  MapDraft map = PickingMap();
  map.models.push_back(BspModel{{494, 438, 12}, {594, 488, 52}, {}, {}, 0, 0, 0});
  map.entities += R"({"classname" "trigger_multiple" "model" "*2"})";
  const Bytes bytes = BspBytes(map);
  for (bool markers : {false, true}) {
    Inspect.markers = markers;
    const std::vector<uint32_t> frame = (Show(bytes, kFlat), Frame640());
    for (int x : {181, 458}) {
      int grey = 0;
      for (int dx = -1; dx <= 1; ++dx) grey += Near(frame[240 * 640 + size_t(x + dx)], 153, 153, 153, 1);
      EXPECT_EQ(grey > 0, markers) << x;
    }
  }
}

// Where the light of a face comes from, and the rest of the panel, for the
// lit wall and its variants.
TEST_F(Frame, ThePanelListsAFacesRecordAndWhereItsLightComesFrom) {
  const struct {
    std::function<void(MapDraft&)> change;
    const char* light;
  } cases[] = {
      {[](MapDraft&) {}, "light map: 9 x 9 samples at offset 0"},
      {[](MapDraft& m) { m.faces[0].lightOffset = -1; }, "light map: none, black (no light offset)"},
      {[](MapDraft& m) { m.faces[0].styles[0] = 255; }, "light map: none, black (no light styles)"},
      {[](MapDraft& m) { m.texInfos[0].flags = 1, m.faces[0].lightOffset = -1; },
       "light map: none, full bright (sky or liquid)"},
      {[](MapDraft& m) { m.faces[0].lightOffset = 10; }, "light map: 9 x 9 samples at offset 10, past the light data: full bright"},
      {[](MapDraft& m) { m.lighting.clear(); }, "light map: none, full bright (the map has no light)"},
  };
  std::vector<std::string> lines;
  for (const auto& c : cases) {
    MapDraft map = LitWall();
    c.change(map);
    Show(BspBytes(map), kLit);
    lines = PanelLines({kFacePicked, 0, 0});
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], c.light);
  }
  EXPECT_EQ((std::vector<std::string>{lines.begin(), lines.begin() + 6}),
            (std::vector<std::string>{"face 0", "owner: world", "texture 0: none in the map", "texture info 0: flags 0",
                                      "plane 0, side 1: normal 0 1 0, distance 388", "light styles: 0"}));
  EXPECT_EQ(lines[7], "leaf ? (no tree)");
}

TEST_F(Frame, TexturesShowTheirTexelsAndTheirLightAndTheSkyItsRightHalf) {
  namespace fs = std::filesystem;
  const fs::path game = fs::path(testing::TempDir()) / ("mivo-game-" + std::to_string(getpid()));
  for (const char* folder : {"maps", "gfx"}) fs::create_directories(game / folder);
  // Colour 1 is (10, 200, 30); 230, one of the last 32, (250, 240, 5).
  Bytes palette(768, 0);
  palette[3] = 10, palette[4] = 200, palette[5] = 30;
  palette[690] = 250, palette[691] = 240, palette[692] = 5;
  // The wall again with s = x / 4 and t = z / 4, one light sample of 64
  // everywhere: a 16-texel texture repeats every 64 units, columns 0 to 7 in
  // colour 1, 8 to 15 in 230. x = 530 (pixel 262) is texel 4.5; x = 502
  // (pixel 145) texel 13.5.
  MapDraft map = LitWall();
  map.texInfos[0] = BspTexInfo{{0.25f, 0, 0, 0}, {0, 0, 0.25f, 0}, 0, 0};
  map.lighting.assign(16, 64);
  MiptexDraft texture{"wall", 16, 16, {}, {}};
  for (int i = 0; i < 256; ++i) texture.indices.push_back(i % 16 < 8 ? 1 : 230);
  map.rawLumps[kTexturesLump] = MiptexLump({texture});
  const std::string path = (game / "maps" / "t.bsp").string();
  WriteBspFile(path, BspBytes(map));
  EXPECT_TRUE(Near(Show(path, kGame, 262), 0, 144 * 2 * 64 / 255.0, 49 * 2 * 64 / 255.0))
      << "no palette: the lit view";
  WriteBspFile((game / "gfx" / "palette.lmp").string(), palette);
  EXPECT_EQ(Show(path, kTexels, 262), 0x0AC81Eu);
  EXPECT_EQ(Show(path, kTexels, 145), 0xFAF005u);
  EXPECT_TRUE(Near(Show(path, kGame, 262), 10 * 128 / 255.0, 200 * 128 / 255.0, 30 * 128 / 255.0));
  EXPECT_EQ(Show(path, kGame, 145), 0xFAF005u) << "full bright";
  EXPECT_TRUE(Near(Show(path, kLight, 145), 64, 64, 64)) << "light only ignores textures";
  // The sky: the right half, full bright: colour 230 everywhere.
  texture.name = "SKY1";
  map.rawLumps[kTexturesLump] = MiptexLump({texture});
  WriteBspFile(path, BspBytes(map));
  EXPECT_EQ(Show(path, kGame, 262), 0xFAF005u);
  EXPECT_EQ(Show(path, kGame, 145), 0xFAF005u);
  // Version 30: the texture's own palette, and no full-bright colours.
  texture.name = "wall";
  texture.palette = palette;
  map.rawLumps[kTexturesLump] = MiptexLump({texture});
  map.version = 30;
  map.lighting.assign(48, 64);
  const Bytes own = BspBytes(map);
  EXPECT_EQ(Show(own, kTexels, 262), 0x0AC81Eu);
  EXPECT_TRUE(Near(Show(own, kGame, 145), 250 * 128 / 255.0, 240 * 128 / 255.0, 5 * 128 / 255.0));
  // Damaged textures keep the face's flat colour: a palette cut short, a
  // directory entry or level past the lump, sides of 0 or 65,536, a level
  // stored outside the map. (The header lies at 8: the sides at 24 and 28,
  // level 0's offset at 32.)
  const Bytes good = MiptexLump({texture});
  texture.palette.resize(765);
  const std::pair<size_t, uint32_t> damages[] = {{4, 9999}, {32, 9999}, {24, 0}, {24, 65536}, {28, 65536}, {32, 0}};
  for (const auto& [at, value] : damages) {
    map.rawLumps[kTexturesLump] = good;
    memcpy(&map.rawLumps[kTexturesLump]->at(at), &value, 4);
    EXPECT_EQ(Show(BspBytes(map), kTexels, 262), 0x009031u) << at << " " << value;
  }
  map.rawLumps[kTexturesLump] = MiptexLump({texture});
  EXPECT_EQ(Show(BspBytes(map), kTexels, 262), 0x009031u) << "a short palette";
  fs::remove_all(game);
}

// From the eye (544, 288, 32), a unit across at 100 units is 4.157 pixels.
TEST_F(Frame, TheTrailShowsOverEverythingAndPortalsWhereTheMapDoesNotHideThem) {
  MapDraft map;
  AddRect(map, {344, 488, -168}, {744, 488, 232}, Facing::kMinusY);  // the far wall, 0x009031
  AddRect(map, {344, 338, -168}, {540, 338, 232}, Facing::kMinusY);  // a near one, on the left
  SetTree(map, OneCut(map, 300, {}, {0, 1}, 0x3, 0x3));              // 2 leaves
  const Bytes bytes = BspBytes(map);
  // The trail 100 units ahead, from 20 units left (pixel 237, behind the
  // near wall) to 20 right (403). A portal 150 units ahead on the right
  // (pixels 475 to 586 across, 185 to 295 up) and one behind the far wall
  // (413 to 479 across, 87 to 153 up).
  const std::string files = testing::TempDir() + "mivo-overlays-" + std::to_string(getpid());
  const auto write = [](const std::string& path, std::string text) { WriteBspFile(path, Bytes(text.begin(), text.end())); };
  write(files + ".prt", "PRT1\n2\n2\n4 0 1 (600 438 12) (600 438 52) (640 438 52) (640 438 12)\n"
                        "4 0 1 (600 538 -60) (600 538 -20) (640 538 -20) (640 538 -60)\n");
  for (ViewMode view : {kFlat, kLit}) {
    SCOPED_TRACE(view.light);
    const std::vector<uint32_t> plain = (Show(bytes, view), Frame640());
    // Four points, then two: what was made of the first is not drawn from.
    write(files + ".pts", view.light == kFlatView ? "524 388 32\n534 388 32\n554 388 32\n564 388 32\n" : "524 388 32\n564 388 32\n");
    LoadTrail(files + ".pts", "");
    LoadPortals(files + ".prt");
    ASSERT_EQ(Portals.portals.size(), 2u);
    Overlays = {true, true, -1};
    DrawLevel();
    EXPECT_EQ(PixelAt(237, 240), 0xFFFF33u) << "the first point's mark, over the near wall";
    EXPECT_EQ(PixelAt(239, 240), 0u) << "its black edge";
    EXPECT_EQ(PixelAt(403, 240), 0x8C0000u) << "the last point's";
    EXPECT_TRUE(Near(PixelAt(320, 240), 198, 128, 26)) << "the line between them";
    EXPECT_EQ(PixelAt(475, 240), 0x00FFFFu) << "the near portal's outline";
    EXPECT_TRUE(Near(PixelAt(530, 260), 0, 160.6, 79.9)) << "its fill over the far wall";
    EXPECT_EQ(PixelAt(446, 120), 0x009031u) << "the far portal, hidden";
    // Off, the frame is as it was: nothing drawn and every state restored.
    Overlays = {false, false, -1};
    EXPECT_EQ((DrawLevel(), Frame640()), plain);
  }
  LoadTrail("", "");
  LoadPortals("");
  Overlays = {true, false, -1};
  std::filesystem::remove(files + ".pts");
  std::filesystem::remove(files + ".prt");
}

// A version 30 map keeps its texture "Wall" outside, in the WADs its
// worldspawn names by the author's paths: found by file name in any case,
// in the game folder, then valve beside it, then the map's own folder; the
// first WAD in the key's order that holds the name gives the texels. WADs
// missing or damaged are named on stderr and passed over.
TEST_F(Frame, TexturesStoredOutsideTheMapComeFromTheWadsItNames) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / ("mivo-wads-" + std::to_string(getpid()));
  // A WAD3 whose texture "WALL" is all colour 1, (r, g, b) by its palette.
  const auto wad = [](uint8_t r, uint8_t g, uint8_t b) {
    Bytes palette(768, 0);
    palette[3] = r, palette[4] = g, palette[5] = b;
    return WadBytes({{"sky", 16, 16, Bytes(256, 0), palette}, {"WALL", 16, 16, Bytes(256, 1), palette}}, true);
  };
  const Bytes green = wad(10, 200, 30), yellow = wad(250, 240, 5);
  const size_t wall = yellow.size() - 32;  // the directory ends with the wall's entry
  const auto damaged = [&](size_t at, int32_t value) {
    Bytes b = yellow;
    memcpy(&b[at], &value, 4);
    return b;
  };
  MapDraft map = LitWall();
  map.texInfos[0] = BspTexInfo{{0.25f, 0, 0, 0}, {0, 0, 0.25f, 0}, 0, 0};
  map.version = 30;
  map.lighting.clear();
  map.entities = R"({"classname" "worldspawn" "wad" "\sierra\valve\Other.wad; C:\Sierra\Valve\HALFLIFE.WAD;"})";
  map.rawLumps[kTexturesLump] = MiptexLump({{"Wall", 16, 16, {}, {}}});
  const std::string notFound = "WAD Other.wad not found", isDamaged = "other.wad is damaged";
  const struct {
    const char* what;
    std::vector<std::pair<std::string, Bytes>> files;
    uint32_t shown;
    std::string said;
  } cases[] = {
      {"none found", {}, 0x009031, notFound},
      {"in valve", {{"valve/halflife.wad", green}}, 0x0AC81E, notFound},
      {"the key's order", {{"valve/halflife.wad", green}, {"mod/other.wad", yellow}}, 0xFAF005, ""},
      {"the game folder first", {{"mod/OTHER.WAD", yellow}, {"mod/maps/other.wad", green}}, 0xFAF005, ""},
      {"the map's folder", {{"mod/maps/other.wad", yellow}}, 0xFAF005, ""},
      {"not a WAD", {{"valve/halflife.wad", green}, {"mod/other.wad", damaged(0, 0x31444157)}}, 0x0AC81E, isDamaged},
      {"count below 0", {{"valve/halflife.wad", green}, {"mod/other.wad", damaged(4, -1)}}, 0x0AC81E, isDamaged},
      {"directory past the end", {{"valve/halflife.wad", green}, {"mod/other.wad", damaged(8, int32_t(wall))}},
       0x0AC81E, isDamaged},
      {"entry at -1", {{"valve/halflife.wad", green}, {"mod/other.wad", damaged(wall, -1)}}, 0x0AC81E, isDamaged},
      {"entry past the end", {{"valve/halflife.wad", green}, {"mod/other.wad", damaged(wall + 4, int32_t(wall))}},
       0x0AC81E, isDamaged},
      {"compressed", {{"valve/halflife.wad", green}, {"mod/other.wad", damaged(wall + 12, 0x143)}}, 0x0AC81E, ""},
      {"level 0 past its entry", {{"mod/other.wad", damaged(wall + 4, 100)}}, 0x009031, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir);
    for (const char* folder : {"mod/maps", "valve"}) fs::create_directories(dir / folder);
    WriteBspFile((dir / "mod/maps/h.bsp").string(), BspBytes(map));
    for (const auto& [name, bytes] : c.files) WriteBspFile((dir / name).string(), bytes);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Show((dir / "mod/maps/h.bsp").string(), kTexels), c.shown);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
  }
  // A map in a pak: the pak's folder is its game folder. A version 29 map:
  // WAD2 textures take the game's palette.
  WriteBspFile((dir / "mod/pak0.pak").string(), PakBytes({{"maps/p.bsp", BspBytes(map)}}));
  WriteBspFile((dir / "mod/other.wad").string(), yellow);
  EXPECT_EQ(Show((dir / "mod/pak0.pak/maps/p.bsp").string(), kTexels), 0xFAF005u);
  map.version = 29;
  WriteBspFile((dir / "mod/maps/h.bsp").string(), BspBytes(map));
  WriteBspFile((dir / "mod/other.wad").string(), WadBytes({{"wall", 16, 16, Bytes(256, 1), {}}}, false));
  fs::create_directories(dir / "mod/gfx");
  WriteBspFile((dir / "mod/gfx/palette.lmp").string(), Bytes(768, 9));
  EXPECT_EQ(Show((dir / "mod/maps/h.bsp").string(), kTexels), 0x090909u);
  fs::remove_all(dir);
}

TEST_F(Frame, OnlyWhatTheCamerasLeafSeesIsDrawnAndEverythingWhenTheTreeCannotBeTrusted) {
  // The eye (y = 288) is in leaf 1, behind a cut at y = 300; the square
  // ahead (y = 388) is in leaf 2. Leaf 1 sees leaf 2 when its row has bit 1.
  const struct {
    const char* what;
    uint8_t row;
    std::function<void(TreeDraft&)> damage;
    bool shows;
  } cases[] = {
      {"seen", 0x3, [](TreeDraft&) {}, true},
      {"not seen", 0x1, [](TreeDraft&) {}, false},
      {"no visibility data", 0x1, [](TreeDraft& t) { t.visibility.clear(); }, true},
      {"a leaf without a row", 0x1, [](TreeDraft& t) { t.leaves[1].visOffset = -1; }, true},
      {"a row past the lump", 0x1, [](TreeDraft& t) { t.leaves[1].visOffset = 2; }, true},
      {"a run past the lump", 0x1, [](TreeDraft& t) { t.visibility = {0x3, 0}; t.leaves[1].visOffset = 1; }, true},
      {"a child out of range", 0x1, [](TreeDraft& t) { t.nodes[0].children[0] = 1; }, true},
      {"a loop", 0x1, [](TreeDraft& t) { t.nodes[0].children[0] = 0; }, true},
      {"a leaf out of range", 0x1, [](TreeDraft& t) { t.nodes[0].children[1] = -4; }, true},
      {"a plane out of range", 0x1, [](TreeDraft& t) { t.nodes[0].plane = 99; }, true},
      {"marks past their lump", 0x1, [](TreeDraft& t) { t.leaves[2].markSurfaceCount = 2; }, true},
      {"a mark outside the world", 0x1, [](TreeDraft& t) { t.marks[0] = 1; }, true},
      {"the eye in solid", 0x1, [](TreeDraft& t) { t.leaves[1].contents = -2; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MapDraft map = Ahead(100);
    TreeDraft tree = OneCut(map, 300, {}, {0}, c.row, 0x3);
    c.damage(tree);
    SetTree(map, tree);
    const Bytes bytes = BspBytes(map);
    EXPECT_EQ(Show(bytes, kLit) != 0, c.shows);
    EXPECT_NE(Show(bytes, kFlat), 0u) << "the flat view of a version 29 map draws every face";
    EXPECT_EQ(Show(Bsp2Bytes(bytes), kFlat) != 0, c.shows) << "BSP2";
  }
  // Lines show what lies behind walls: the visible set does not count.
  MapDraft map = Ahead(100);
  SetTree(map, OneCut(map, 300, {}, {0}, 0x1, 0x3));
  glPolygonMode(GL_FRONT, GL_LINE);
  const std::vector<uint32_t> frame = (Show(BspBytes(map), kLit), Frame640());
  EXPECT_LT(std::count(frame.begin(), frame.end(), 0u), 640 * 480);
}

namespace {

// The shared real maps, where MIVO_REAL_MAPS names their folder.
std::string RealMap(const char* name) {
  const char* dir = getenv("MIVO_REAL_MAPS");
  const std::string path = dir != nullptr ? std::string(dir) + "/" + name : "";
  return !path.empty() && std::filesystem::exists(path) ? path : "";
}

// The eye at map point `eye`, turned `yaw` degrees from +x towards +y.
void PlaceEye(const double eye[3], double yaw) {
  glLoadIdentity();
  glRotatef(float(90 - yaw), 0, 1, 0);
  glTranslatef(float(-eye[0]), float(-eye[2]), float(eye[1]));
}


// The faces a ray can meet: every world and brush-entity face of a version
// 29 map, where its entity puts it, as polygons in doubles.
struct Polygon {
  int face;
  std::vector<std::array<double, 3>> corners;
  double normal[3];  // towards the side the corners run counter-clockwise from: the back
};

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

std::vector<Polygon> Polygons() {
  std::vector<Polygon> polygons;
  auto add = [&](int f, const float offset[3]) {
    const BspFace& face = Level.faces[f];
    Polygon polygon{f, {}, {0, 0, 0}};
    for (int j = 0; j < face.surfEdgeTotal; ++j) {
      const SurfEdge e = Level.surfEdges[face.surfEdgeStart + j];
      const BspVertex& p = Level.vertices[e > 0 ? Level.edges[e].startVertex : Level.edges[-e].endVertex];
      polygon.corners.push_back({p.x + offset[0], p.y + offset[1], p.z + offset[2]});
    }
    const auto& c = polygon.corners;
    double* n = polygon.normal;
    for (size_t k = 0; k < c.size(); ++k) {
      const auto &p = c[k], &q = c[(k + 1) % c.size()];
      n[0] += (p[1] - q[1]) * (p[2] + q[2]), n[1] += (p[2] - q[2]) * (p[0] + q[0]);
      n[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    if (c.size() >= 3) polygons.push_back(polygon);
  };
  const float none[3] = {0, 0, 0};
  for (int f = 0; f < Level.worldModel.faceTotal; ++f) add(Level.worldModel.faceStart + f, none);
  for (const BrushEntity& b : Level.brushes) {
    for (int f = 0; f < Level.models[b.model].faceTotal; ++f) add(Level.models[b.model].faceStart + f, b.origin);
  }
  return polygons;
}

// What a ray from the eye through the centre of pixel (x, y) (from the
// lower left) meets first, found without the drawing code; and where the
// rays through the next pixels right and up meet the same plane.
struct Hit {
  const Polygon* polygon = nullptr;
  int face = -1;
  double point[3], right[3], up[3];
  double margin;  // map units from the nearest edge of the face
};

Hit Cast(const std::vector<Polygon>& polygons, const double eye[3], double yaw, double x, double y) {
  const double a = yaw * M_PI / 180, h = std::tan(M_PI / 6);
  auto ray = [&](double px, double py, double dir[3]) {
    const double u = (px + 0.5 - 320) / 320 * h * 4 / 3, v = (py + 0.5 - 240) / 240 * h;
    dir[0] = std::cos(a) + std::sin(a) * u, dir[1] = std::sin(a) - std::cos(a) * u, dir[2] = v;
  };
  double dir[3];
  ray(x, y, dir);
  Hit best;
  double nearest = INFINITY;
  for (const Polygon& polygon : polygons) {
    const auto& c = polygon.corners;
    const double* n = polygon.normal;
    const double denom = Dot(n, dir), t = (Dot(n, c[0].data()) - Dot(n, eye)) / denom;
    if (denom <= 0 || t <= 0 || t >= nearest) continue;
    const double p[3] = {eye[0] + t * dir[0], eye[1] + t * dir[1], eye[2] + t * dir[2]};
    double margin = INFINITY;
    for (size_t k = 0; k < c.size() && margin >= 0; ++k) {
      const auto &s = c[k], &e = c[(k + 1) % c.size()];
      const double edge[3] = {e[0] - s[0], e[1] - s[1], e[2] - s[2]};
      const double to[3] = {p[0] - s[0], p[1] - s[1], p[2] - s[2]};
      const double cross[3] = {edge[1] * to[2] - edge[2] * to[1], edge[2] * to[0] - edge[0] * to[2],
                               edge[0] * to[1] - edge[1] * to[0]};
      margin = std::min(margin, Dot(cross, n) / std::sqrt(Dot(edge, edge) * Dot(n, n)));
    }
    if (margin < 0) continue;
    nearest = t;
    best = {&polygon, polygon.face, {p[0], p[1], p[2]}, {}, {}, margin};
  }
  if (best.polygon == nullptr) return best;
  for (int k = 0; k < 2; ++k) {  // the neighbours, on the same plane
    double d[3];
    ray(x + (k == 0), y + (k == 1), d);
    const double* n = best.polygon->normal;
    const double t = (Dot(n, best.polygon->corners[0].data()) - Dot(n, eye)) / Dot(n, d);
    double* to = k == 0 ? best.right : best.up;
    for (int i = 0; i < 3; ++i) to[i] = eye[i] + t * d[i];
  }
  return best;
}

// s and t of a point on `face`, as the compilers compute them.
void TextureSpace(int face, const double p[3], double st[2]) {
  const BspTexInfo& info = Level.texInfos[size_t(Level.faces[face].texInfo)];
  for (const float* a : {info.s, info.t}) *st++ = p[0] * a[0] + p[1] * a[1] + p[2] * a[2] + a[3];
}

// The light the compiler stored at `p` on the hit face (mono samples), each
// sample the sum of its styles capped at 255, bilinear between samples.
double StoredLight(const Hit& hit) {
  const BspFace& f = Level.faces[hit.face];
  const BspTexInfo& info = Level.texInfos[size_t(f.texInfo)];
  if ((info.flags & 1) && (f.lightOffset == -1 || f.styles[0] == 255)) return 255;
  if (f.lightOffset == -1 || f.styles[0] == 255) return 0;
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY}, st[2];
  for (const auto& corner : hit.polygon->corners) {
    TextureSpace(hit.face, corner.data(), st);
    for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], double(float(st[k]))), hi[k] = std::max(hi[k], double(float(st[k])));
  }
  const int w = int(std::ceil(hi[0] / 16) - std::floor(lo[0] / 16)) + 1;
  const int h = int(std::ceil(hi[1] / 16) - std::floor(lo[1] / 16)) + 1;
  TextureSpace(hit.face, hit.point, st);
  const double fs = st[0] / 16 - std::floor(lo[0] / 16), ft = st[1] / 16 - std::floor(lo[1] / 16);
  auto sample = [&](int i, int j) {
    i = std::clamp(i, 0, w - 1), j = std::clamp(j, 0, h - 1);
    int sum = 0;
    for (int k = 0; k < 4 && f.styles[k] != 255; ++k) sum += Level.light.samples[size_t(f.lightOffset + (k * h + j) * w + i)];
    return double(std::min(sum, 255));
  };
  const int i = int(std::floor(fs)), j = int(std::floor(ft));
  const double x = fs - i, y = ft - j;
  return (sample(i, j) * (1 - x) + sample(i + 1, j) * x) * (1 - y) +
         (sample(i, j + 1) * (1 - x) + sample(i + 1, j + 1) * x) * y;
}

}  // namespace

// Culling leaves out only what could not be seen: from the player start
// and the middles of leaves, each turned four ways, the culled frame is the
// frame of every face. Pixels on the edges where faces meet may differ: at
// a corner of one face on another's edge (a T-junction) rounding leaves a
// crack a pixel wide, through which the unculled frame shows a face behind,
// and which of two faces meeting at one depth shows depends on the order
// they are sent in, which culling changes. Spots within 2 units of a wall
// are passed over: nearer than the near plane the eye sees through it,
// which no visible set allows for.
TEST_F(Frame, CulledFramesOfRealMapsAreTheFramesOfEveryFace) {
  int culled = 0;
  for (const char* name : {"e4m4-bsp2-sub64.bsp", "e4m4-bsp2-sub64-fastvis.bsp",
                           "e4m4-bsp2-sub64-novis.bsp", "libre-e1m1.bsp"}) {
    const std::string path = RealMap(name);
    if (path.empty()) GTEST_SKIP() << "MIVO_REAL_MAPS has no " << name;
    Show(path, kLit);
    LoadPortals(CompilerFilesOf(OpenedMap)[2]);  // the e4m4 maps have theirs beside them
    std::vector<std::array<double, 3>> spots = {{Level.start.origin[0], Level.start.origin[1], Level.start.origin[2]}};
    // A spot where the player can be, at least 2 units from the walls of its
    // leaf: nearer than the near plane the eye sees through a wall, which
    // no visible set allows for.
    const auto add = [&](const std::array<double, 3>& at) {
      const float point[3] = {float(at[0]), float(at[1]), float(at[2])};
      const TreeLeaf& leaf = Level.tree.leaves[size_t(LeafOf(point))];
      bool clear = leaf.contents == -1;
      for (uint32_t m = 0; m < leaf.markCount; ++m) {
        const Surface& wall = Level.surfaces[Level.tree.marks[leaf.firstMark + m]];
        const double n[3] = {wall.normal[0], wall.normal[1], wall.normal[2]};
        clear = clear && std::fabs(Dot(n, at.data()) - wall.dist) >= 2;
      }
      if (clear) spots.push_back(at);
    };
    for (size_t l = 1; l < Level.tree.leaves.size() && spots.size() < 12; l += Level.tree.leaves.size() / 11) {
      const TreeLeaf& leaf = Level.tree.leaves[l];
      add({(leaf.mins[0] + leaf.maxs[0]) / 2.0, (leaf.mins[1] + leaf.maxs[1]) / 2.0,
           (leaf.mins[2] + leaf.maxs[2]) / 2.0});
    }
    // Two units before and behind portals, where the flood starts at the
    // portal's very edge.
    for (size_t i = 0; i < Portals.portals.size() && spots.size() < 24; i += Portals.portals.size() / 64 + 1) {
      const Portal& portal = Portals.portals[i];
      std::array<double, 3> middle = {0, 0, 0};
      double n[3] = {0, 0, 0};
      for (uint32_t k = 0; k < portal.pointCount; ++k) {
        const float* v = &Portals.points[3 * (portal.firstPoint + k)];
        const float* w = &Portals.points[3 * (portal.firstPoint + (k + 1) % portal.pointCount)];
        for (int a = 0; a < 3; ++a) middle[size_t(a)] += v[a] / portal.pointCount;
        n[0] += (v[1] - w[1]) * (v[2] + w[2]), n[1] += (v[2] - w[2]) * (v[0] + w[0]), n[2] += (v[0] - w[0]) * (v[1] + w[1]);
      }
      const double length = std::sqrt(Dot(n, n));
      for (double side : {-2.0, 2.0}) add({middle[0] + side * n[0] / length, middle[1] + side * n[1] / length, middle[2] + side * n[2] / length});
    }
    size_t sent = 0, sentWithoutPortals = 0;
    for (const auto& spot : spots) {
      for (double yaw : {0, 90, 180, 270}) {
        SCOPED_TRACE(testing::Message() << name << " at " << spot[0] << " " << spot[1] << " " << spot[2] << ", yaw " << yaw);
        PlaceEye(spot.data(), yaw);
        const std::vector<uint32_t> cut = (CullFaces = true, DrawLevel(), Frame640());
        const DrawList& list = CollectFaces(false);
        culled += list.culled;
        sent += list.world.size();
        // The leaf the walk starts from holds the eye, and from the player
        // start far fewer faces go than the world has.
        ASSERT_GE(list.cameraLeaf, 0);
        const TreeLeaf& leaf = Level.tree.leaves[size_t(list.cameraLeaf)];
        for (int a = 0; a < 3; ++a) EXPECT_TRUE(leaf.mins[a] - 1 <= spot[a] && spot[a] <= leaf.maxs[a] + 1) << a;
        if (&spot == &spots[0]) {
          EXPECT_LT(list.world.size(), size_t(Level.worldModel.faceTotal) / 3);
        }
        sentWithoutPortals += (CullPortals = false, CollectFaces(false).world.size());
        CullPortals = true;
        const std::vector<uint32_t> all = (CullFaces = false, DrawLevel(), Frame640());
        int differ = 0;
        for (size_t p = 0; p < all.size(); ++p) differ += cut[p] != all[p];
        EXPECT_LE(differ, 300);
      }
    }
    // The portals leave out much of what the visible sets let through.
    // The portals only ever take away, and most of what the fast vis or no
    // vis at all lets through.
    EXPECT_LE(sent, sentWithoutPortals);
    if (strstr(name, "vis.bsp") != nullptr) {
      EXPECT_LT(sent, sentWithoutPortals / 3) << name;
    }
    // Outlines leave out only what lies outside the view, and keep the
    // order of the faces lump, which decides the colour of a shared edge:
    // the frame of every face, but for the few pixels where llvmpipe draws
    // lines at one depth differently from one frame to the next.
    PlaceEye(spots[0].data(), 90);
    glPolygonMode(GL_FRONT, GL_LINE);
    const std::vector<uint32_t> wire = (CullFaces = true, DrawLevel(), Frame640());
    int differ = 0;
    const std::vector<uint32_t> all = (CullFaces = false, DrawLevel(), Frame640());
    for (size_t p = 0; p < all.size(); ++p) differ += all[p] != wire[p];
    EXPECT_LE(differ, 300) << name << ", wireframe";
    glPolygonMode(GL_FRONT, GL_FILL);
    CullFaces = true;
  }
  EXPECT_GT(culled, 80) << "spots where the tree was used";
}

// Each face of the flat views has a colour of its own, so a pick names the
// face whose colour its pixel shows, but where faces meet (1 % may
// differ); the walk along the tree picks what trying every face picks.
TEST_F(Frame, PicksOfRealMapsAreTheFacesThePixelsShow) {
  for (const char* name : {"libre-e1m1.bsp", "e4m4-bsp2-sub64.bsp"}) {
    const std::string path = RealMap(name);
    if (path.empty()) GTEST_SKIP() << "MIVO_REAL_MAPS has no " << name;
    Show(path, kFlat);
    ASSERT_TRUE(Level.tree.sound);
    const double eye[3] = {Level.start.origin[0], Level.start.origin[1], Level.start.origin[2]};
    for (double yaw : {0, 120, 240}) {
      SCOPED_TRACE(testing::Message() << name << ", yaw " << yaw);
      PlaceEye(eye, yaw);
      const std::vector<uint32_t> frame = (DrawLevel(), Frame640());
      int faces = 0, differ = 0, disagree = 0;
      for (int y = 6; y < 480; y += 20) {
        for (int x = 6; x < 640; x += 20) {
          const Pick pick = PickAt(x, y, false);
          Level.tree.sound = false;
          const Pick every = PickAt(x, y, false);
          Level.tree.sound = true;
          disagree += every.kind != pick.kind || every.index != pick.index;
          const FaceColor c = pick.kind == kFacePicked ? Level.surfaces[pick.index].color : FaceColor{};
          faces += pick.kind == kFacePicked;
          differ += !Near(frame[size_t(y) * 640 + x], c.red * 255, c.green * 255, c.blue * 255, 1);
        }
      }
      EXPECT_GT(faces, 700);
      EXPECT_LE(differ, faces / 100);
      EXPECT_LE(disagree, faces / 200);
    }
  }
}

// The light-only view against the light the ray cast finds stored at each
// pixel, within 2 levels: GL filters the light map with 8-bit weights, so a
// pixel may be a level off the exact blend. The textured view against the
// texel the ray finds, where a texel covers more than a pixel and away from
// texel borders, where rounding may pick the neighbour. Pixels within 2
// units of a face's edge are left out, where the rasterizer and the ray may
// pick different faces; of the rest, 1 % may still differ. The palette is
// found as the game finds it, in the map's game folder; without one the
// textured view is the lit view.
TEST_F(Frame, RealMapShowsTheStoredLightAndTheTexelsOfItsFaces) {
  const std::string path = RealMap("libre-e1m1.bsp"), palette = RealMap("libre-palette.lmp");
  if (path.empty() || palette.empty()) GTEST_SKIP() << "MIVO_REAL_MAPS has no libre-e1m1.bsp";
  namespace fs = std::filesystem;
  const fs::path game = fs::path(testing::TempDir()) / ("mivo-e1m1-" + std::to_string(getpid()));
  const std::string map = (game / "maps" / "e1m1.bsp").string();
  for (const char* folder : {"maps", "gfx"}) fs::create_directories(game / folder);
  fs::create_symlink(path, map);
  const std::vector<uint32_t> lit = (Show(map, kLit), Frame640());
  EXPECT_EQ((Show(map, kGame), Frame640()), lit) << "no palette to be found";
  fs::copy_file(palette, game / "gfx" / "palette.lmp");
  Show(map, kTexels);
  const double eye[3] = {Level.start.origin[0], Level.start.origin[1], Level.start.origin[2]};
  const std::vector<Polygon> polygons = Polygons();
  int lights = 0, lightsOff = 0, texels = 0, texelsOff = 0, onePassOff = 0;
  for (double yaw : {0.0, 100.0, 200.0, 300.0}) {
    PlaceEye(eye, yaw);
    const std::vector<uint32_t> light = (View = kLight, DrawLevel(), Frame640());
    const std::vector<uint32_t> textured = (View = kTexels, DrawLevel(), Frame640());
    // Texels or colours times light in one pass, where the context can:
    // within 2 levels of the passes' blend.
    for (ViewMode view : {kLit, kGame}) {
      const std::vector<uint32_t> one = (View = view, UseMultitexture = true, DrawLevel(), Frame640());
      const std::vector<uint32_t> passes = (UseMultitexture = false, DrawLevel(), Frame640());
      UseMultitexture = true;
      for (size_t p = 0; p < one.size(); ++p) {
        int most = 0;
        for (int shift : {0, 8, 16}) most = std::max(most, std::abs(int(one[p] >> shift & 0xFF) - int(passes[p] >> shift & 0xFF)));
        onePassOff += most > 2;
      }
    }
    for (int y = 4; y < 480; y += 8) {
      for (int x = 4; x < 640; x += 8) {
        const Hit hit = Cast(polygons, eye, yaw, x, y);
        if (hit.face < 0 || hit.margin < 2) continue;
        const double want = StoredLight(hit);
        ++lights;
        lightsOff += !Near(light[size_t(y) * 640 + x], want, want, want, 2);
        const Texture& texture =
            Level.textures[size_t(TextureOfEntry(Level.texInfos[size_t(Level.faces[hit.face].texInfo)].texture))];
        double st[3][2];
        for (int k = 0; k < 3; ++k) TextureSpace(hit.face, k == 0 ? hit.point : k == 1 ? hit.right : hit.up, st[k]);
        const double fs = st[0][0] - std::floor(st[0][0]), ft = st[0][1] - std::floor(st[0][1]);
        if (texture.width == 0 || strncasecmp(texture.name, "sky", 3) == 0 || fs < 0.1 ||
            fs > 0.9 || ft < 0.1 || ft > 0.9 || std::hypot(st[1][0] - st[0][0], st[1][1] - st[0][1]) > 0.5 ||
            std::hypot(st[2][0] - st[0][0], st[2][1] - st[0][1]) > 0.5) {
          continue;
        }
        const auto wrap = [](double v, int n) { return ((int64_t(std::floor(v)) % n) + n) % n; };
        const uint8_t* texel = &texture.texels[3 * size_t(wrap(st[0][1], texture.height) * texture.width +
                                                         wrap(st[0][0], texture.width))];
        ++texels;
        texelsOff += textured[size_t(y) * 640 + x] != (uint32_t(texel[0]) << 16 | texel[1] << 8 | texel[2]);
      }
    }
  }
  fs::remove_all(game);
  EXPECT_GT(lights, 10000);
  EXPECT_LE(lightsOff, lights / 100) << lightsOff << " of " << lights;
  EXPECT_GT(texels, 5000);
  EXPECT_LE(texelsOff, texels / 100) << texelsOff << " of " << texels;
  EXPECT_TRUE(MultitextureOffered()) << "llvmpipe offers one-pass light";
  EXPECT_EQ(onePassOff, 0);
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
               {13, false, GL_FILL}, {'X', false, GL_FILL},
               {'k', true, GL_FILL}, {'K', true, GL_FILL}, {'p', true, GL_FILL},
               {'P', true, GL_FILL}, {'n', false, GL_FILL}, {'B', false, GL_FILL}};  // no trail
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
  // L goes round flat, lit and light only; T turns textures on and off,
  // also in the light-only view, for the views after it. A drop keeps them.
  std::string views;
  for (char c : std::string("lLTltLtT")) {
    ValidateRect(window, nullptr);
    WindowProc(window, WM_CHAR, static_cast<WPARAM>(c), 0);
    views += std::to_string(View.light) + (View.textures ? "T " : " ");
    EXPECT_TRUE(MainWindow.invalid) << c;
  }
  EXPECT_EQ(views, "1 2 2T 0T 0 1 1T 1 ");
  ReplaceMap(window, MIVO_DEMO_MAP, kFreshView);
  EXPECT_EQ(View.light, kLitView);
  View = {kFlatView, false};
}

TEST_F(Keys, NAndBStandOnTheTrailsPointsLevelFacingTheNext) {
  // East, north, then straight up: at the third point, and at the last,
  // the heading stays. The view, looking up, is levelled.
  Trail.points = {0, 0, 0, 10, 0, 0, 10, 10, 0, 10, 10, 40};
  const struct {
    const char* keys;
    int point;
    float yaw;
  } steps[] = {{"n", 0, 0},   {"N", 1, 90},  {"n", 2, 90}, {"nn", 3, 90},
               {"b", 2, 90}, {"bbbb", 0, 0}, {"", -1, 0},  {"B", 3, 0}};
  ViewAfter({{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 400)},  // looking up
             {WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, 200)}, {WM_LBUTTONUP, 0, 0}});
  for (const auto& step : steps) {
    SCOPED_TRACE(step.keys);
    if (step.point < 0) Overlays.trailStep = -1;
    for (const char* c = step.keys; *c != '\0'; ++c) WindowProc(window, WM_CHAR, WPARAM(*c), 0);
    const Matrix got = Modelview();
    if (step.point < 0) continue;
    glLoadIdentity();
    SetCamera(&Trail.points[3 * size_t(step.point)], step.yaw, 0);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], Modelview()[i], 1e-5f) << i;
  }
  Trail.points.clear();
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

TEST_F(Keys, ClicksPickWhatLiesUnderThePointerAndDragsDoNot) {
  const auto at = [](int x, int y) { return MAKELPARAM(WORD(x), WORD(y)); };
  // Down at (300, 200), moved `dx` to the right, up there.
  const auto click = [&](int dx) {
    WindowProc(window, WM_LBUTTONDOWN, MK_LBUTTON, at(300, 200));
    WindowProc(window, WM_MOUSEMOVE, MK_LBUTTON, at(300 + dx, 200));
    WindowProc(window, WM_LBUTTONUP, 0, at(300 + dx, 200));
  };
  // The picture's lower left is the client area's, whatever its height.
  for (int height : {480, 600, 453}) {
    SCOPED_TRACE(height);
    MainWindow.height = height;
    for (int dx : {0, 3, 4}) {
      ViewAfter("");
      Inspect.pick = {kMarkerPicked, 9, 0};
      click(dx);
      const Pick want = dx > 3 ? Pick{kMarkerPicked, 9, 0} : PickAt(300 + dx, height - 1 - 200, false);
      EXPECT_EQ(Inspect.pick.kind, want.kind) << dx;
      EXPECT_EQ(Inspect.pick.index, want.index) << dx;
    }
  }
  MainWindow.height = 480;
  // A reload keeps a pick whose face is still there; another map clears it.
  for (uint32_t face : {5u, 100000u}) {
    Inspect.pick = {kFacePicked, face, 0};
    ReloadMap(window);
    EXPECT_EQ(Inspect.pick.kind, face == 5 ? kFacePicked : kNothingPicked) << face;
  }
  ReplaceMap(window, MIVO_DEMO_MAP, kFreshView);
  EXPECT_EQ(Inspect.pick.kind, kNothingPicked);
  Inspect = {};
}

// With nothing asked for, or asked for and put away again, a frame is the
// frame; Ctrl+C copies the camera's position, which --pos gives back.
TEST_F(Keys, OverlaysPutAwayLeaveTheFrameAndThePositionRoundTrips) {
  ViewAfter("");
  const std::vector<uint32_t> before = (DrawLevel(), Frame640());
  ViewAfter("IiEe");
  WindowProc(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240));
  WindowProc(window, WM_LBUTTONUP, 0, MAKELPARAM(320, 240));
  EXPECT_EQ(Inspect.pick.kind, kFacePicked);
  EXPECT_NE((DrawLevel(), Frame640()), before);
  Inspect.pick = {};
  EXPECT_EQ((DrawLevel(), Frame640()), before);
  WindowProc(window, WM_CHAR, 3, 0);
  char* copied = SDL_GetClipboardText();
  EXPECT_STREQ(copied, "544.00 288.00 32.00 90.00 0.00");
  SDL_free(copied);
  // Moved, turned and tilted by the keys and the mouse, then given back.
  const Matrix moved = ViewAfter({{WM_CHAR, '4', 0}, {WM_CHAR, '8', 0}, {WM_CHAR, '-', 0},
                                  {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 400)},
                                  {WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, 100)}});
  const std::string text = PositionText();
  std::vector<std::string> words{"mivo", "--pos"};
  for (size_t at = 0, space; at < text.size(); at = space + 1) {
    space = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, space - at));
  }
  EXPECT_EQ(words.size(), 7u) << text;
  words.push_back(MIVO_DEMO_MAP);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  ASSERT_EQ(ParseArguments(int(argv.size()), argv.data()), -1);
  SetCamera(StartPos.origin, StartPos.yaw, StartPos.pitch);
  EXPECT_EQ(PositionText(), text);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(Modelview()[size_t(i)], moved[size_t(i)], 0.01f) << i;
  StartPos = {};
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
