// Picking by casting a ray. The ray is built from the projection and
// modelview matrices, so that one unit along it is one unit of depth: the
// near and far planes are then simply 1 and 10,000 along it. Faces are hit
// triangle by triangle, with the triangles GL fills (a fan from the first
// corner), in doubles; a face is hit from its front only, as GL culls backs.
#include "view/pick.h"

#include <algorithm>
#include <vector>

#include "bsp/level.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/views.h"

namespace {

constexpr double kNear = 1.0, kFar = 10000.0;

struct Ray {
  double from[3];   // the eye, in map units
  double along[3];  // one unit of depth
};

struct Hit {
  double t = kFar;
  int64_t face = -1;
};

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// Where the ray enters the box within [kNear, limit), if it does.
bool EntersBox(const Ray& ray, const float mins[3], const float maxs[3], double limit, double* enter) {
  double t0 = kNear, t1 = limit;
  for (int k = 0; k < 3; ++k) {
    if (ray.along[k] == 0) {
      if (ray.from[k] < mins[k] || ray.from[k] > maxs[k]) return false;
      continue;
    }
    double a = (mins[k] - ray.from[k]) / ray.along[k], b = (maxs[k] - ray.from[k]) / ray.along[k];
    if (a > b) std::swap(a, b);
    t0 = std::max(t0, a);
    t1 = std::min(t1, b);
    if (t0 > t1) return false;
  }
  *enter = t0;
  return true;
}

// The face's triangles, moved by `offset` (map units), nearer than best.
void HitFace(const Ray& ray, uint32_t face, const float offset[3], Hit* best) {
  const Surface& s = Level.surfaces[face];
  if (s.cornerCount < 3) return;
  // The box only passes over faces quickly: a margin keeps rounding from
  // turning away a hit on its edge.
  float mins[3], maxs[3];
  for (int k = 0; k < 3; ++k) mins[k] = s.mins[k] + offset[k] - 0.01f, maxs[k] = s.maxs[k] + offset[k] + 0.01f;
  double enter;
  if (!EntersBox(ray, mins, maxs, best->t, &enter)) return;
  const float* c = &Level.corners.positions[3 * size_t(s.firstCorner)];
  // The corners are kept in GL's axes: map (x, y, z) is GL (x, z, -y).
  auto corner = [&](uint32_t k, double p[3]) {
    p[0] = double{c[3 * k]} + offset[0];
    p[1] = -double{c[3 * k + 2]} + offset[1];
    p[2] = double{c[3 * k + 1]} + offset[2];
  };
  double a[3], b[3], d[3], e1[3], e2[3], p[3], q[3], o[3];
  corner(0, a);
  for (int k = 0; k < 3; ++k) o[k] = ray.from[k] - a[k];
  corner(1, b);
  for (uint32_t k = 2; k < s.cornerCount; ++k) {
    corner(k, d);
    for (int i = 0; i < 3; ++i) e1[i] = b[i] - a[i], e2[i] = d[i] - a[i];
    std::copy(d, d + 3, b);
    // Corners run clockwise seen from the front: a ray that meets the
    // front has a negative determinant.
    Cross(ray.along, e2, p);
    const double det = Dot(e1, p);
    if (!(det < 0)) continue;
    const double u = Dot(o, p) / det;
    if (u < 0 || u > 1) continue;
    Cross(o, e1, q);
    const double v = Dot(ray.along, q) / det;
    if (v < 0 || u + v > 1) continue;
    const double t = Dot(e2, q) / det;
    if (t >= kNear && t < best->t) *best = {t, face};
  }
}

// The world along the tree, nearer side first, each leaf's faces as it
// comes: once a hit lies within the stretch of the ray a leaf holds,
// nothing further can be nearer.
void HitWorldAlongTree(const Ray& ray, Hit* best) {
  const Tree& tree = Level.tree;
  const float none[3] = {0, 0, 0};
  struct Stretch {
    int32_t child;
    double t0, t1;
  };
  static std::vector<Stretch> pending;
  pending.assign(1, Stretch{tree.headNode, 0, kFar});
  while (!pending.empty()) {
    const Stretch s = pending.back();
    pending.pop_back();
    if (s.t0 > best->t) return;
    if (s.child < 0) {
      const TreeLeaf& leaf = tree.leaves[size_t(-(int64_t{s.child} + 1))];
      for (uint32_t m = 0; m < leaf.markCount; ++m) HitFace(ray, tree.marks[leaf.firstMark + m], none, best);
      if (best->t <= s.t1) return;
      continue;
    }
    const TreeNode& node = tree.nodes[size_t(s.child)];
    const BspPlane& plane = tree.planes[size_t(node.plane)];
    const double n[3] = {plane.normal[0], plane.normal[1], plane.normal[2]};
    const double start = Dot(n, ray.from) - plane.dist, step = Dot(n, ray.along);
    const double d0 = start + s.t0 * step, d1 = start + s.t1 * step;
    if ((d0 >= 0) == (d1 >= 0)) {
      pending.push_back({node.children[d0 >= 0 ? 0 : 1], s.t0, s.t1});
      continue;
    }
    const double cut = s.t0 + (s.t1 - s.t0) * d0 / (d0 - d1);
    pending.push_back({node.children[d0 >= 0 ? 1 : 0], cut, s.t1});
    pending.push_back({node.children[d0 >= 0 ? 0 : 1], s.t0, cut});  // taken first
  }
}

}  // namespace

void MarkerBox(const PointEntity& point, float mins[3], float maxs[3]) {
  for (int k = 0; k < 3; ++k) {
    mins[k] = point.origin[k] + point.mins[k];
    maxs[k] = point.origin[k] + point.maxs[k];
  }
}

bool MarkerShows(const PointEntity& point, const float eye[3]) {
  float mins[3], maxs[3];
  MarkerBox(point, mins, maxs);
  for (int k = 0; k < 3; ++k) {
    if (eye[k] <= mins[k] || eye[k] >= maxs[k]) return true;
  }
  return false;
}

Pick PickAt(int x, int y, bool markers) {
  if (x < 0 || x >= 640 || y < 0 || y >= 480) return {};
  GLfloat p[16], m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, p);
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  // The pixel's centre at a depth of one, in the eye's axes, then turned
  // into GL's map axes by the transposed rotation.
  const double e[3] = {((x + 0.5) / 320 - 1) / p[0], ((y + 0.5) / 240 - 1) / p[5], -1};
  double gl[3];
  for (int k = 0; k < 3; ++k) gl[k] = m[4 * k] * e[0] + m[4 * k + 1] * e[1] + m[4 * k + 2] * e[2];
  float eye[3];
  EyeOf(m, eye);
  const Ray ray{{eye[0], eye[1], eye[2]}, {gl[0], -gl[2], gl[1]}};

  Hit best;
  if (!Level.surfaces.empty()) {
    const BspModel& world = Level.worldModel;
    const float none[3] = {0, 0, 0};
    if (Level.tree.sound) {
      HitWorldAlongTree(ray, &best);
    } else {
      for (int64_t f = world.faceStart; f < int64_t{world.faceStart} + world.faceTotal; ++f) {
        HitFace(ray, uint32_t(f), none, &best);
      }
    }
    for (size_t b = 0; !IsFlatView() && b < Level.brushes.size(); ++b) {
      const BrushEntity& brush = Level.brushes[b];
      const BspModel& model = Level.models[brush.model];
      for (int64_t f = model.faceStart; f < int64_t{model.faceStart} + model.faceTotal; ++f) {
        HitFace(ray, uint32_t(f), brush.origin, &best);
      }
    }
  }
  Pick pick = best.face >= 0 ? Pick{kFacePicked, uint32_t(best.face), best.t} : Pick{};
  for (size_t i = 0; markers && i < Level.points.size(); ++i) {
    float mins[3], maxs[3];
    double enter;
    MarkerBox(Level.points[i], mins, maxs);
    if (MarkerShows(Level.points[i], eye) && EntersBox(ray, mins, maxs, best.t, &enter)) {
      best.t = enter;
      pick = {kMarkerPicked, uint32_t(i), enter};
    }
  }
  return pick;
}
