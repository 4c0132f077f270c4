// Which way faces wind, in real compiled maps and in written ones; the demo
// level as the starting view sees it; the benchmark grid.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <set>

#include "tests/tools/read_back.h"

namespace {

const D3 kEye{544, 288, 32};  // looking along +y, z up
const double kTanHalfHeight = std::tan(std::numbers::pi / 6);
const double kTanHalfWidth = kTanHalfHeight * 4 / 3;

int CountClockwise(const std::vector<FaceView>& faces) {
  return static_cast<int>(
      std::count_if(faces.begin(), faces.end(), [](const FaceView& f) { return f.Turn() < 0; }));
}

TEST(Winding, RealMapFacesRunClockwiseSeenFromTheFront) {
  const char* dir = getenv("MIVO_REAL_MAPS");
  if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "MIVO_REAL_MAPS is not set: no real maps";
  for (const char* name : {"tiny-room", "cube", "libre-e1m1"}) {
    std::vector<uint8_t> bytes = FileBytes(std::string(dir) + "/" + name + ".bsp");
    ASSERT_GT(bytes.size(), sizeof(BspHeader)) << name;
    std::vector<FaceView> faces = FacesOf(bytes);
    EXPECT_EQ(CountClockwise(faces), static_cast<int>(faces.size())) << name;
  }
}

TEST(Winding, WrittenFacesRunClockwiseSeenFromTheFront) {
  // A room's faces look at its middle, a block's look away: all six ways.
  MapDraft room, block;
  AddRoom(room, {0, 0, 0}, {256, 256, 128});
  AddBlock(block, {0, 0, 0}, {256, 256, 128});
  for (const auto& [map, inward] : {std::pair{&room, true}, std::pair{&block, false}})
    for (const FaceView& v : FacesOf(BspBytes(*map)))
      EXPECT_EQ((D3{128, 128, 64} - v.corners[0]).Dot(v.front) > 0, inward);
  for (const MapDraft& map : {room, block, DemoMap(), GridMap(500)}) {
    std::vector<FaceView> views = FacesOf(BspBytes(map));
    EXPECT_EQ(CountClockwise(views), static_cast<int>(views.size()));
  }
}

struct Hit {
  double distance;  // in lengths of the ray's direction
  bool front;       // seen from its front, so drawn
  size_t face;
};

// The nearest face along a ray, as the depth buffer picks it. Corners run
// clockwise seen from the front, so the inside lies right of every edge; a
// hair's tolerance keeps rays from slipping between tiles.
std::optional<Hit> Cast(const std::vector<FaceView>& faces, D3 from, D3 dir) {
  std::optional<Hit> best;
  for (size_t i = 0; i < faces.size(); ++i) {
    const FaceView& f = faces[i];
    double along = dir.Dot(f.front);
    if (along == 0) continue;
    double t = (f.corners[0] - from).Dot(f.front) / along;
    if (t <= 0 || (best && t >= best->distance)) continue;
    bool inside = true;
    for (size_t j = 0; j < f.corners.size() && inside; ++j) {
      D3 edge = f.corners[(j + 1) % f.corners.size()] - f.corners[j];
      D3 toHit = from + dir * t - f.corners[j];
      inside = edge.Cross(toHit).Dot(f.front) <= 1e-3 * std::sqrt(edge.Dot(edge));
    }
    if (inside) best = Hit{t, along < 0, i};
  }
  return best;
}

// Of 2,000 rays from `from` spread over the sphere, those that meet no face
// from its front. None should: the space is closed, and `from` is in the
// open, not inside a pillar or behind a wall.
int RaysLost(const std::vector<FaceView>& faces, D3 from) {
  int lost = 0;
  for (int i = 0; i < 2000; ++i) {
    double z = 1 - (2 * i + 1) / 2000.0, turn = i * std::numbers::pi * (3 - std::sqrt(5.0));
    D3 dir{std::sqrt(1 - z * z) * std::cos(turn), std::sqrt(1 - z * z) * std::sin(turn), z};
    std::optional<Hit> hit = Cast(faces, from, dir);
    lost += !hit || !hit->front;
  }
  return lost;
}

TEST(DemoMap, FirstFrameHasDepthAndColourAndEveryRoomIsClosed) {
  MapDraft map = DemoMap();
  std::vector<FaceView> faces = FacesOf(BspBytes(map));
  std::set<size_t> seen;
  double nearest = 1e9, farthest = 0;
  for (int py = 4; py < 480; py += 8)
    for (int px = 4; px < 640; px += 8) {
      // Through pixel (px, py) of the 640 x 480 view; distance is depth.
      D3 dir{(px - 320) / 320.0 * kTanHalfWidth, 1, (py - 240) / 240.0 * kTanHalfHeight};
      std::optional<Hit> hit = Cast(faces, kEye, dir);
      ASSERT_TRUE(hit && hit->front) << px << ", " << py;
      seen.insert(hit->face);
      nearest = std::min(nearest, hit->distance);
      farthest = std::max(farthest, hit->distance);
    }
  EXPECT_GE(seen.size(), 100u);  // faces, so colours
  EXPECT_LT(nearest, 100);       // the floor at the eye's feet
  EXPECT_GT(farthest, 1100);     // the second room, through the doorway
  EXPECT_EQ(RaysLost(faces, kEye), 0);
  // "+" three times and "8" forty-four times lead into the second room.
  EXPECT_EQ(RaysLost(faces, kEye + D3{0, 44 * 20, 3 * 20}), 0);

  // It loads, and the level holds what was drafted.
  EXPECT_LE(map.faces.size(), 400u);
  auto same = [&map] {
    return Level.worldModel.faceTotal == static_cast<int>(map.faces.size()) &&
           Level.vertexCount == map.vertices.size() &&
           Level.surfEdgeCount == map.surfEdges.size() &&
           memcmp(Level.vertices, map.vertices.data(), Level.vertexCount * 12) == 0 &&
           memcmp(Level.surfEdges, map.surfEdges.data(), Level.surfEdgeCount * 4) == 0;
  };
  EXPECT_EXIT(LoadAndExit(BspBytes(map), [&] { return same() ? "" : "level differs"; }),
              testing::ExitedWithCode(0), "");
}

TEST(GridMap, FacesFillTheViewAtManyDepthsAndLookAtTheEye) {
  for (int n : {0, 1, 7}) EXPECT_EQ(GridMap(n).faces.size(), static_cast<size_t>(n));
  int outside = 0, away = 0;
  double nearest = 1e9, farthest = 0;
  for (const FaceView& f : FacesOf(BspBytes(GridMap(1000)))) {
    away += (kEye - f.corners[0]).Dot(f.front) <= 0;
    for (D3 c : f.corners) {
      D3 v = c - kEye;  // x right, y depth, z up
      outside += v.y < 1 || v.y > 10000 || std::fabs(v.x) > v.y * kTanHalfWidth ||
                 std::fabs(v.z) > v.y * kTanHalfHeight;
      nearest = std::min(nearest, v.y);
      farthest = std::max(farthest, v.y);
    }
  }
  EXPECT_EQ(outside + away, 0);
  EXPECT_LT(nearest, 100);
  EXPECT_GT(farthest, 5000);

  // How fast it is written is the benchmarks' business, not a test's.
  std::vector<uint8_t> bytes = BspBytes(GridMap(60000));
  auto counts = [] { return Level.faceCount == 60000 && Level.worldModel.faceTotal == 60000; };
  EXPECT_EXIT(LoadAndExit(bytes, [&] { return counts() ? "" : "counts"; }),
              testing::ExitedWithCode(0), "");
}

}  // namespace
