// The maps mapgen makes for people and benchmarks: the demo level laid out
// around the viewer's fixed starting view, and the grid of small faces.
// The eye starts at (544, 288, 32) looking along +y with z up, sees 60
// degrees vertically at 4:3, and moves in steps of 20 units.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/bsp_writer.h"

namespace {

constexpr Vec3 kEye{544, 288, 32};

float& At(Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// Cuts a rectangle into tiles, nx by ny by nz (the count along the facing
// axis is ignored). Every face takes its own colour, so tiles are what
// make a large floor or wall read as a surface rather than a flat patch.
void AddTiles(MapDraft& map, Vec3 min, Vec3 max, Facing facing, int nx, int ny, int nz) {
  int count[3] = {nx, ny, nz};
  count[static_cast<int>(facing) / 2] = 1;
  for (int i = 0; i < count[0]; ++i)
    for (int j = 0; j < count[1]; ++j)
      for (int k = 0; k < count[2]; ++k) {
        int step[3] = {i, j, k};
        Vec3 lo = min;
        Vec3 hi = max;
        for (int axis = 0; axis < 3; ++axis) {
          float size = At(max, axis) - At(min, axis);
          At(lo, axis) = At(min, axis) + size * step[axis] / count[axis];
          At(hi, axis) = At(min, axis) + size * (step[axis] + 1) / count[axis];
        }
        AddRect(map, lo, hi, facing);
      }
}

// The four outward sides of a box, cut into `bands` horizontal bands.
void AddSides(MapDraft& map, Vec3 min, Vec3 max, int bands) {
  AddTiles(map, min, {min.x, max.y, max.z}, Facing::kMinusX, 1, 1, bands);
  AddTiles(map, {max.x, min.y, min.z}, max, Facing::kPlusX, 1, 1, bands);
  AddTiles(map, min, {max.x, min.y, max.z}, Facing::kMinusY, 1, 1, bands);
  AddTiles(map, {min.x, max.y, min.z}, max, Facing::kPlusY, 1, 1, bands);
}

// A pillar from floor to ceiling: plinth, shaft in three bands, capital.
// Only faces that can be seen are written: nothing where it meets the floor
// or the ceiling.
void AddPillar(MapDraft& map, float x, float y, float floor, float ceiling) {
  AddSides(map, {x - 24, y - 24, floor}, {x + 24, y + 24, floor + 16}, 1);
  AddRect(map, {x - 24, y - 24, floor + 16}, {x + 24, y + 24, floor + 16}, Facing::kPlusZ);
  AddSides(map, {x - 16, y - 16, floor + 16}, {x + 16, y + 16, ceiling - 24}, 3);
  AddSides(map, {x - 24, y - 24, ceiling - 24}, {x + 24, y + 24, ceiling}, 1);
  AddRect(map, {x - 24, y - 24, ceiling - 24}, {x + 24, y + 24, ceiling - 24}, Facing::kMinusZ);
}

}  // namespace

// The hall: x 320..768, y 160..1056, floor 0, ceiling 224; the eye stands
// 128 units in from its back wall, in the middle. Four pillars in two rows
// flank the way forward; from y 800 four steps of 16 climb to a gallery at
// height 64 across the far end. In the far wall, above the gallery, a
// doorway 128 wide and 128 high leads through a 16-unit-thick wall into a
// second room (x 384..704, y 1072..1456, floor 64, ceiling 288) with a
// pedestal in the middle. Seen from the eye, the doorway lies ahead and a
// little above, so the first frame looks through it into the second room.
// Beside the player start, a few things stand about for the markers: a
// light under the ceiling, ammunition and a weapon by the pillars, a
// soldier on the gallery, a teleport destination in the second room.
MapDraft DemoMap() {
  MapDraft map;
  map.entities =
      "{\n\"classname\" \"worldspawn\"\n}\n"
      "{\n\"classname\" \"info_player_start\"\n\"origin\" \"544 288 32\"\n\"angle\" \"90\"\n}\n"
      "{\n\"classname\" \"light\"\n\"origin\" \"544 592 192\"\n\"light\" \"300\"\n}\n"
      "{\n\"classname\" \"item_shells\"\n\"origin\" \"464 432 0\"\n}\n"
      "{\n\"classname\" \"weapon_nailgun\"\n\"origin\" \"592 640 0\"\n}\n"
      "{\n\"classname\" \"monster_army\"\n\"origin\" \"576 960 88\"\n\"angle\" \"270\"\n}\n"
      "{\n\"classname\" \"info_teleport_destination\"\n\"origin\" \"544 1360 88\"\n"
      "\"targetname\" \"hall\"\n}\n";
  const float hallFloor = 0, hallCeiling = 224;
  const float west = 320, east = 768, south = 160, north = 1056;
  const float stepsStart = 800, stepDepth = 32, stepHeight = 16;
  const int steps = 4;
  const float gallery = stepHeight * steps;       // 64
  const float galleryStart = stepsStart + stepDepth * (steps - 1);  // the last riser: 896
  const float doorWest = 480, doorEast = 608, doorTop = gallery + 128;
  const float wall = 16;

  // Hall floor up to the steps, tiles 56 by 64.
  AddTiles(map, {west, south, hallFloor}, {east, stepsStart, hallFloor}, Facing::kPlusZ, 8, 10, 1);
  // Steps: a riser facing the eye, then a tread; the last tread is the gallery.
  for (int k = 0; k < steps; ++k) {
    float y = stepsStart + stepDepth * k;
    float z = stepHeight * k;
    AddTiles(map, {west, y, z}, {east, y, z + stepHeight}, Facing::kMinusY, 4, 1, 1);
    if (k + 1 < steps)
      AddTiles(map, {west, y, z + stepHeight}, {east, y + stepDepth, z + stepHeight},
               Facing::kPlusZ, 4, 1, 1);
  }
  AddTiles(map, {west, galleryStart, gallery}, {east, north, gallery}, Facing::kPlusZ, 4, 2, 1);
  // Walls and ceiling of the hall, all facing in.
  AddTiles(map, {west, south, hallFloor}, {west, north, hallCeiling}, Facing::kPlusX, 1, 7, 2);
  AddTiles(map, {east, south, hallFloor}, {east, north, hallCeiling}, Facing::kMinusX, 1, 7, 2);
  AddTiles(map, {west, south, hallFloor}, {east, south, hallCeiling}, Facing::kPlusY, 4, 1, 2);
  AddTiles(map, {west, south, hallCeiling}, {east, north, hallCeiling}, Facing::kMinusZ, 4, 7, 1);
  // The far wall stands on the gallery, around the doorway.
  AddTiles(map, {west, north, gallery}, {doorWest, north, hallCeiling}, Facing::kMinusY, 2, 1, 1);
  AddTiles(map, {doorEast, north, gallery}, {east, north, hallCeiling}, Facing::kMinusY, 2, 1, 1);
  AddRect(map, {doorWest, north, doorTop}, {doorEast, north, hallCeiling}, Facing::kMinusY);
  // The doorway through the wall: sill, jambs, head.
  AddRect(map, {doorWest, north, gallery}, {doorEast, north + wall, gallery}, Facing::kPlusZ);
  AddRect(map, {doorWest, north, gallery}, {doorWest, north + wall, doorTop}, Facing::kPlusX);
  AddRect(map, {doorEast, north, gallery}, {doorEast, north + wall, doorTop}, Facing::kMinusX);
  AddRect(map, {doorWest, north, doorTop}, {doorEast, north + wall, doorTop}, Facing::kMinusZ);

  for (float y : {480.0f, 704.0f})
    for (float x : {432.0f, 656.0f}) AddPillar(map, x, y, hallFloor, hallCeiling);

  // The second room, facing in; its near wall has the doorway.
  const Vec3 lo{384, north + wall, gallery};
  const Vec3 hi{704, 1456, 288};
  AddTiles(map, lo, {hi.x, hi.y, lo.z}, Facing::kPlusZ, 4, 4, 1);
  AddTiles(map, {lo.x, lo.y, hi.z}, hi, Facing::kMinusZ, 2, 2, 1);
  AddTiles(map, lo, {lo.x, hi.y, hi.z}, Facing::kPlusX, 1, 4, 2);
  AddTiles(map, {hi.x, lo.y, lo.z}, hi, Facing::kMinusX, 1, 4, 2);
  AddTiles(map, {lo.x, hi.y, lo.z}, hi, Facing::kMinusY, 4, 1, 2);
  AddTiles(map, lo, {doorWest, lo.y, hi.z}, Facing::kPlusY, 1, 1, 2);
  AddTiles(map, {doorEast, lo.y, lo.z}, {hi.x, lo.y, hi.z}, Facing::kPlusY, 1, 1, 2);
  AddRect(map, {doorWest, lo.y, doorTop}, {doorEast, lo.y, hi.z}, Facing::kPlusY);
  // A pedestal in its middle, in line with the doorway.
  AddSides(map, {512, 1232, lo.z}, {576, 1296, lo.z + 48}, 1);
  AddRect(map, {512, 1232, lo.z + 48}, {576, 1296, lo.z + 48}, Facing::kPlusZ);
  return map;
}

// Rows of quads that fill the starting view as an even grid on the screen,
// near at the bottom and far at the top: row j lies at depth
// 64 * 125^(j / rows) (64 to 8,000 units) and at the height that puts it
// j / rows of the way up the screen, so every quad is in view, faces the eye
// and covers about the same number of pixels whatever its depth. Corners
// of neighbouring quads coincide, so they share vertices and edges.
std::vector<std::array<Vec3, 4>> GridQuads(int faceCount) {
  std::vector<std::array<Vec3, 4>> quads;
  if (faceCount <= 0) return quads;
  const double tanHalfHeight = std::tan(std::numbers::pi / 6);  // half of 60 degrees
  const double tanHalfWidth = tanHalfHeight * 4.0 / 3.0;
  const double fill = 0.9;  // stay clear of the frustum's sides
  int columns = std::max(1, static_cast<int>(std::lround(std::sqrt(faceCount * 4.0 / 3.0))));
  int rows = (faceCount + columns - 1) / columns;
  auto corner = [&](int i, int j) {
    double depth = 64.0 * std::pow(125.0, double(j) / rows);
    double across = fill * (2.0 * i / columns - 1.0);
    double up = fill * (2.0 * j / rows - 1.0);
    return Vec3{static_cast<float>(kEye.x + across * tanHalfWidth * depth),
                static_cast<float>(kEye.y + depth),
                static_cast<float>(kEye.z + up * tanHalfHeight * depth)};
  };
  for (int n = 0; n < faceCount; ++n) {
    int i = n % columns;
    int j = n / columns;
    // Clockwise as the eye sees it: top-left, top-right, bottom-right,
    // bottom-left.
    quads.push_back({corner(i, j + 1), corner(i + 1, j + 1), corner(i + 1, j), corner(i, j)});
  }
  return quads;
}

MapDraft GridMap(int faceCount) {
  MapDraft map;
  for (const std::array<Vec3, 4>& quad : GridQuads(faceCount)) {
    if (AddFace(map, {quad.begin(), quad.end()}) < 0) break;
  }
  return map;
}

MapDraft AliveMap() {
  MapDraft map;
  // Texture infos: s along x and t along z, a texel a unit; the water's t
  // is 40 all over. Lit faces share 512 samples of 64.
  struct Panel {
    Vec3 min, max;
    int32_t texture;
    uint8_t style;  // 255: no light of its own
    int32_t flags;
  };
  const Panel panels[] = {
      {{400, 420, -64}, {700, 420, 128}, 5, 2, 0},                 // the back wall, pulsing
      {{464, 388, 16}, {496, 388, 128}, 0, 0, 0},                  // +0anim
      {{496, 388, 16}, {528, 388, 200}, 2, 255, kSpecialSurface},  // *water, cut at z 128
      {{528, 388, 16}, {560, 388, 48}, 3, 255, kSpecialSurface},   // sky1, around the view's axis
      {{560, 388, 16}, {592, 388, 128}, 4, 0, 0},                  // {fence
      {{592, 388, 16}, {640, 388, 128}, 5, 32, 0},                 // a switchable light's wall
  };
  for (const Panel& panel : panels) {
    const int face = AddRect(map, panel.min, panel.max, Facing::kMinusY);
    map.faces[size_t(face)].texInfo = int16_t(map.texInfos.size());
    map.faces[size_t(face)].styles[0] = panel.style;
    map.faces[size_t(face)].lightOffset = panel.style == 255 ? -1 : 0;
    const bool water = panel.texture == 2;
    map.texInfos.push_back(BspTexInfo{{1, 0, 0, 0},
                                      {0, 0, water ? 0.0f : 1.0f, water ? 40.0f : 0.0f},
                                      panel.texture,
                                      panel.flags});
  }
  map.lighting.assign(512, 64);
  // Colour 0 is the sky's clear part, 255 a fence's holes.
  MiptexDraft anim0{"+0anim", 8, 8, std::vector<uint8_t>(64, 1), {}};
  MiptexDraft anim1{"+1anim", 8, 8, std::vector<uint8_t>(64, 2), {}};
  MiptexDraft water{"*water", 16, 16, {}, {}}, fence{"{fence", 16, 16, {}, {}};
  MiptexDraft sky{"sky1", 256, 128, {}, {}}, wall{"wall", 8, 8, std::vector<uint8_t>(64, 7), {}};
  for (int i = 0; i < 256; ++i) {
    water.indices.push_back(uint8_t(16 + i % 16));  // column x in colour 16 + x
    fence.indices.push_back(i % 16 < 8 ? 255 : 6);  // holes on the left
  }
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 256; ++x) {
      // The near layer (left) has colour 5 in columns 64 to 95; the far
      // layer (right) colour 3 in rows 0 to 95, then 4.
      sky.indices.push_back(uint8_t(x < 128 ? (x >= 64 && x < 96 ? 5 : 0) : (y < 96 ? 3 : 4)));
    }
  }
  map.rawLumps[kTexturesLump] = MiptexLump({anim0, anim1, water, sky, fence, wall});
  map.entities =
      "{\"classname\" \"worldspawn\" \"wateralpha\" \"0.5\" \"_fog\" \"0.5 0.3 0.3 0.35\"}\n"
      "{\"classname\" \"light\" \"style\" \"32\" \"spawnflags\" \"1\" \"origin\" \"616 380 64\"}\n";
  return map;
}
