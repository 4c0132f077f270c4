// The view with real GL (Mesa) in windows of the layer: what a frame
// shows of levels made for the case, and the key commands in the
// program's own window, driven through its window procedure.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/app.h"
#include "app/options.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "bsp/textures.h"
#include "platform/gl.h"
#include "platform/sdl_state.h"
#include "platform/sdl_win32_testing.h"
#include "tests/unit/support.h"
#include "view/cull.h"
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
  for (const char* name : {"e4m4-bsp2-sub64.bsp", "e4m4-bsp2-sub64-fastvis.bsp", "libre-e1m1.bsp"}) {
    const std::string path = RealMap(name);
    if (path.empty()) GTEST_SKIP() << "MIVO_REAL_MAPS has no " << name;
    Show(path, kLit);
    std::vector<std::array<double, 3>> spots = {{Level.start.origin[0], Level.start.origin[1], Level.start.origin[2]}};
    for (size_t l = 1; l < Level.tree.leaves.size() && spots.size() < 12; l += Level.tree.leaves.size() / 11) {
      const TreeLeaf& leaf = Level.tree.leaves[l];
      const std::array<double, 3> middle = {(leaf.mins[0] + leaf.maxs[0]) / 2.0,
                                            (leaf.mins[1] + leaf.maxs[1]) / 2.0,
                                            (leaf.mins[2] + leaf.maxs[2]) / 2.0};
      bool clear = leaf.contents == -1;
      for (uint32_t m = 0; m < leaf.markCount; ++m) {
        const Surface& wall = Level.surfaces[Level.tree.marks[leaf.firstMark + m]];
        const double n[3] = {wall.normal[0], wall.normal[1], wall.normal[2]};
        clear = clear && std::fabs(Dot(n, middle.data()) - wall.dist) >= 2;
      }
      if (clear) spots.push_back(middle);
    }
    for (const auto& spot : spots) {
      for (double yaw : {0, 90, 180, 270}) {
        SCOPED_TRACE(testing::Message() << name << " at " << spot[0] << " " << spot[1] << " " << spot[2] << ", yaw " << yaw);
        PlaceEye(spot.data(), yaw);
        const std::vector<uint32_t> cut = (CullFaces = true, DrawLevel(), Frame640());
        const DrawList& list = CollectFaces(false);
        culled += list.culled;
        // The leaf the walk starts from holds the eye, and from the player
        // start far fewer faces go than the world has.
        ASSERT_GE(list.cameraLeaf, 0);
        const TreeLeaf& leaf = Level.tree.leaves[size_t(list.cameraLeaf)];
        for (int a = 0; a < 3; ++a) EXPECT_TRUE(leaf.mins[a] - 1 <= spot[a] && spot[a] <= leaf.maxs[a] + 1) << a;
        if (&spot == &spots[0]) {
          EXPECT_LT(list.world.size(), size_t(Level.worldModel.faceTotal) / 3);
        }
        const std::vector<uint32_t> all = (CullFaces = false, DrawLevel(), Frame640());
        int differ = 0;
        for (size_t p = 0; p < all.size(); ++p) differ += cut[p] != all[p];
        EXPECT_LE(differ, 300);
      }
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
  EXPECT_GT(culled, 40) << "spots where the tree was used";
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
  int lights = 0, lightsOff = 0, texels = 0, texelsOff = 0;
  for (double yaw : {0.0, 100.0, 200.0, 300.0}) {
    PlaceEye(eye, yaw);
    const std::vector<uint32_t> light = (View = kLight, DrawLevel(), Frame640());
    const std::vector<uint32_t> textured = (View = kTexels, DrawLevel(), Frame640());
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
               {13, false, GL_FILL}, {'X', false, GL_FILL}};
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
