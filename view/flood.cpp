// The flood through the portals. The clusters' portals are listed once per
// portal file; each frame, clusters are stamped with the frame's flood
// number and the rectangle of the screen (in normalised device
// coordinates) through which the eye sees into them, grown as more of them
// shows. A cluster is flooded from again only when its rectangle grows.
#include "view/flood.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bsp/diagnostics.h"
#include "bsp/level.h"

FloodWork LastFlood;

namespace {

struct Rect {
  float x0, y0, x1, y1;
};

constexpr Rect kScreen = {-1, -1, 1, 1};
// What a portal's rectangle is widened by, in normalised device
// coordinates: two pixels of the 640 x 480 picture, for rounding.
constexpr float kMarginX = 2.0f / 320, kMarginY = 2.0f / 240;
// A portal whose plane lies this near the eye, where the eye is over it,
// is seen through whatever its projection says.
constexpr float kNearPortal = 1.0f;
// Points nearer the eye's plane than this are cut off a portal before it
// is projected; the line of sight through a portal may cross it nearer
// than the near plane.
constexpr float kMinW = 1e-3f;

// The portals of each cluster, and each portal's plane and box, for the
// portal file read as `built`.
struct Adjacent {
  uint32_t portal;
  int32_t cluster;  // the one on the other side
};
struct PortalShape {
  float normal[3];
  float dist;
  float mins[3], maxs[3];
};
uint32_t Built = UINT32_MAX;
std::vector<uint32_t> FirstAdjacent;  // per cluster, and one past the last
std::vector<Adjacent> Adjacents;
std::vector<PortalShape> Shapes;

// Per cluster: the flood that last reached it, and the screen it was seen in.
uint32_t Flood = 0;
std::vector<uint32_t> ReachedBy;
std::vector<Rect> Seen;
std::vector<int32_t> Pending;

bool Empty(const Rect& r) { return !(r.x0 < r.x1 && r.y0 < r.y1); }

Rect Meet(const Rect& a, const Rect& b) {
  return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

bool Holds(const Rect& outer, const Rect& inner) {
  return outer.x0 <= inner.x0 && outer.y0 <= inner.y0 && outer.x1 >= inner.x1 && outer.y1 >= inner.y1;
}

void Build() {
  const PortalSet& set = Portals;
  Built = set.loads;
  const size_t clusters = set.clusterCount;
  FirstAdjacent.assign(clusters + 1, 0);
  for (const Portal& p : set.portals) {
    for (int32_t side : p.sides) ++FirstAdjacent[size_t(side) + 1];
  }
  for (size_t c = 0; c < clusters; ++c) FirstAdjacent[c + 1] += FirstAdjacent[c];
  Adjacents.resize(FirstAdjacent[clusters]);
  std::vector<uint32_t> next(FirstAdjacent.begin(), FirstAdjacent.end() - 1);
  Shapes.resize(set.portals.size());
  for (uint32_t i = 0; i < set.portals.size(); ++i) {
    const Portal& p = set.portals[i];
    Adjacents[next[size_t(p.sides[0])]++] = {i, p.sides[1]};
    Adjacents[next[size_t(p.sides[1])]++] = {i, p.sides[0]};
    // Newell's normal, in doubles, and the polygon's box.
    PortalShape& shape = Shapes[i];
    double n[3] = {0, 0, 0};
    const float* points = &set.points[3 * size_t(p.firstPoint)];
    for (int a = 0; a < 3; ++a) shape.mins[a] = shape.maxs[a] = points[a];
    for (uint32_t k = 0; k < p.pointCount; ++k) {
      const float* v = points + 3 * k;
      const float* w = points + 3 * ((k + 1) % p.pointCount);
      n[0] += (double{v[1]} - w[1]) * (double{v[2]} + w[2]);
      n[1] += (double{v[2]} - w[2]) * (double{v[0]} + w[0]);
      n[2] += (double{v[0]} - w[0]) * (double{v[1]} + w[1]);
      for (int a = 0; a < 3; ++a) {
        shape.mins[a] = std::min(shape.mins[a], v[a]);
        shape.maxs[a] = std::max(shape.maxs[a], v[a]);
      }
    }
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int a = 0; a < 3; ++a) shape.normal[a] = length > 0 ? float(n[a] / length) : 0.0f;
    shape.dist = shape.normal[0] * points[0] + shape.normal[1] * points[1] +
                 shape.normal[2] * points[2];
  }
  ReachedBy.assign(clusters, 0);
  Seen.assign(clusters, kScreen);
  Flood = 0;
}

// Clip coordinates x, y, w of a map point.
struct Clip {
  float x, y, w;
};

Clip ClipOf(const Frustum& f, const float p[3]) {
  Clip c;
  float* out[3] = {&c.x, &c.y, &c.w};
  const int rows[3] = {0, 1, 3};
  for (int r = 0; r < 3; ++r) {
    const float* row = f.clip[rows[r]];
    *out[r] = row[0] * p[0] + row[1] * p[1] + row[2] * p[2] + row[3];
  }
  return c;
}

// The rectangle of the screen a polygon of clip points covers, where it
// lies in front of the eye: the polygon is cut at w = kMinW first. Empty
// when nothing of it is in front.
Rect Cover(const Clip* points, uint32_t count) {
  Rect r = {INFINITY, INFINITY, -INFINITY, -INFINITY};
  auto add = [&r](float x, float y, float w) {
    r.x0 = std::min(r.x0, x / w), r.x1 = std::max(r.x1, x / w);
    r.y0 = std::min(r.y0, y / w), r.y1 = std::max(r.y1, y / w);
  };
  for (uint32_t k = 0; k < count; ++k) {
    const Clip& a = points[k];
    const Clip& b = points[(k + 1) % count];
    if (a.w >= kMinW) add(a.x, a.y, a.w);
    if ((a.w >= kMinW) != (b.w >= kMinW)) {  // the edge crosses the cut
      const float t = (kMinW - a.w) / (b.w - a.w);
      add(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), kMinW);
    }
  }
  return r;
}

// Whether the eye lies within kNearPortal of the portal's polygon, where
// its projection says nothing.
bool EyeAtPortal(const PortalShape& shape, const float eye[3]) {
  const float d = shape.normal[0] * eye[0] + shape.normal[1] * eye[1] +
                  shape.normal[2] * eye[2] - shape.dist;
  if (std::fabs(d) > kNearPortal) return false;
  for (int a = 0; a < 3; ++a) {
    if (eye[a] < shape.mins[a] - kNearPortal || eye[a] > shape.maxs[a] + kNearPortal) return false;
  }
  return true;
}

std::vector<Clip> Projected;
Frustum Flooded;  // the view of the last flood

}  // namespace

bool FloodPortals(const Frustum& frustum, const float eye[3], int64_t cameraLeaf) {
  const PortalSet& set = Portals;
  LastFlood = {};
  if (set.path.empty() || set.portals.empty()) return false;
  if (Built != set.loads) Build();
  if (cameraLeaf < 0 || uint64_t(cameraLeaf) >= set.clusterOfLeaf.size()) return false;
  const int32_t start = set.clusterOfLeaf[size_t(cameraLeaf)];
  if (start < 0) return false;
  // A real file's portals are each tried a few times at most; past this the
  // flood is going round in circles.
  const uint64_t maxTries = 8 * uint64_t(set.portals.size()) + 1024;
  ++Flood;
  Flooded = frustum;
  ReachedBy[size_t(start)] = Flood;
  Seen[size_t(start)] = kScreen;
  LastFlood.clustersReached = 1;
  Pending.assign(1, start);
  while (!Pending.empty()) {
    const int32_t cluster = Pending.back();
    Pending.pop_back();
    const Rect through = Seen[size_t(cluster)];
    for (uint32_t a = FirstAdjacent[size_t(cluster)]; a < FirstAdjacent[size_t(cluster) + 1]; ++a) {
      if (++LastFlood.portalsTried > maxTries) return false;
      const Adjacent& next = Adjacents[a];
      Rect seen = through;
      if (!EyeAtPortal(Shapes[next.portal], eye)) {
        const Portal& portal = set.portals[next.portal];
        Projected.resize(portal.pointCount);
        for (uint32_t k = 0; k < portal.pointCount; ++k) {
          Projected[k] = ClipOf(frustum, &set.points[3 * size_t(portal.firstPoint + k)]);
        }
        Rect cover = Cover(Projected.data(), portal.pointCount);
        cover = {cover.x0 - kMarginX, cover.y0 - kMarginY, cover.x1 + kMarginX, cover.y1 + kMarginY};
        seen = Meet(through, cover);
        if (Empty(seen)) continue;
      }
      Rect& known = Seen[size_t(next.cluster)];
      if (ReachedBy[size_t(next.cluster)] == Flood) {
        if (Holds(known, seen)) continue;
        known = {std::min(known.x0, seen.x0), std::min(known.y0, seen.y0),
                 std::max(known.x1, seen.x1), std::max(known.y1, seen.y1)};
      } else {
        ReachedBy[size_t(next.cluster)] = Flood;
        known = seen;
        ++LastFlood.clustersReached;
      }
      Pending.push_back(next.cluster);
    }
  }
  return true;
}

bool LeafReached(int64_t leaf, const float mins[3], const float maxs[3]) {
  const PortalSet& set = Portals;
  // A leaf the file gives no cluster cannot be ruled out.
  if (leaf < 0 || uint64_t(leaf) >= set.clusterOfLeaf.size()) return true;
  const int32_t cluster = set.clusterOfLeaf[size_t(leaf)];
  if (cluster < 0) return true;
  if (ReachedBy[size_t(cluster)] != Flood) return false;
  // Where the leaf's box shows, against where its cluster was seen; a box
  // that reaches behind the eye may show anywhere.
  Rect box = {INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (int k = 0; k < 8; ++k) {
    const float p[3] = {(k & 1) ? maxs[0] : mins[0], (k & 2) ? maxs[1] : mins[1],
                        (k & 4) ? maxs[2] : mins[2]};
    const Clip c = ClipOf(Flooded, p);
    if (c.w < kMinW) return true;
    box = {std::min(box.x0, c.x / c.w), std::min(box.y0, c.y / c.w), std::max(box.x1, c.x / c.w),
           std::max(box.y1, c.y / c.w)};
  }
  box = {box.x0 - kMarginX, box.y0 - kMarginY, box.x1 + kMarginX, box.y1 + kMarginY};
  return !Empty(Meet(box, Seen[size_t(cluster)]));
}
