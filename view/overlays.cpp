// The overlays, drawn from the diagnostics' own arrays in map units
// through a matrix that turns map axes into GL's: the points are never
// copied, each frame only lists which of them to draw, after culling what
// lies outside the view (and, for portals, what the eye's leaf cannot see)
// and thinning what the screen cannot tell apart. What depends only on a
// file (the trail's colours and the boxes of its runs, the portals' boxes)
// is made again when the file has been read again. Every state changed here
// is pushed and popped around the drawing.
#include "view/overlays.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/tree.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/cull.h"

OverlayState Overlays = {true, false, -1};

namespace {

// Map (x, y, z) is GL (x, z, -y); column by column.
const GLfloat kMapAxes[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};

// The trail's colour from its first point to its last.
constexpr float kTrailFirst[3] = {1.0f, 1.0f, 0.2f};
constexpr float kTrailLast[3] = {0.55f, 0.0f, 0.0f};
constexpr float kPortalColor[4] = {0.0f, 1.0f, 1.0f, 0.15f};  // the fill's alpha
// Portal outlines lie where walls meet them: drawn this much nearer in
// depth (a fraction of the depth range), they show along the walls instead
// of fighting with them, while a wall a unit thick still hides what is
// behind it up to about 700 units away.
constexpr double kOutlineNearer = 2e-6;

// The trail is culled in runs of this many points, and thinned to lines
// that keep within this many pixels of the points they leave out, and marks
// that do not lie on one another.
constexpr uint32_t kRun = 64;
constexpr float kCorridor = 1.0f;
constexpr float kMarkSpacing = 6.0f;

struct Prepared {
  uint32_t trailLoads = 0;
  std::vector<float> trailColors;  // RGB a point
  std::vector<float> runBoxes;     // mins and maxs of each run and the point after it
  uint32_t portalLoads = 0;
  std::vector<float> portalBoxes;  // mins and maxs of each portal
};
Prepared Made;

// This frame's lines, marks and triangles, as indices of points.
std::vector<uint32_t> TrailLines, TrailMarks, Outlines, Fills;
std::vector<uint8_t> Row, SeenClusters;

// The box of `count` points from `first` as mins, maxs appended to `boxes`.
void AddBox(const float* first, size_t count, std::vector<float>* boxes) {
  float box[6] = {first[0], first[1], first[2], first[0], first[1], first[2]};
  for (size_t i = 1; i < count; ++i) {
    for (int k = 0; k < 3; ++k) {
      box[k] = std::min(box[k], first[3 * i + k]);
      box[3 + k] = std::max(box[3 + k], first[3 * i + k]);
    }
  }
  boxes->insert(boxes->end(), box, box + 6);
}

// Sizes as well as reads are compared, so that arrays set without a read
// are never drawn through another's indices.
void PrepareTrail() {
  const size_t n = Trail.points.size() / 3;
  if (Made.trailLoads == Trail.loads && Made.trailColors.size() == 3 * n) return;
  Made.trailLoads = Trail.loads;
  Made.trailColors.resize(3 * n);
  for (size_t i = 0; i < n; ++i) {
    const float t = n > 1 ? float(i) / float(n - 1) : 0.0f;
    for (int k = 0; k < 3; ++k) Made.trailColors[3 * i + k] = kTrailFirst[k] + t * (kTrailLast[k] - kTrailFirst[k]);
  }
  Made.runBoxes.clear();
  for (size_t first = 0; first < n; first += kRun) {
    AddBox(&Trail.points[3 * first], std::min(size_t{kRun} + 1, n - first), &Made.runBoxes);
  }
}

void PreparePortals() {
  if (Made.portalLoads == Portals.loads && Made.portalBoxes.size() == 6 * Portals.portals.size()) return;
  Made.portalLoads = Portals.loads;
  Made.portalBoxes.clear();
  for (const Portal& p : Portals.portals) AddBox(&Portals.points[3 * size_t{p.firstPoint}], p.pointCount, &Made.portalBoxes);
}

// Which clusters may be seen from the eye: those of the leaves its leaf
// sees. Empty when the tree cannot tell (no visibility data, the eye
// outside the leaves the portals cover, portals of another level): then
// any may be.
void FindSeenClusters(const float eye[3]) {
  SeenClusters.clear();
  const Tree& tree = Level.tree;
  if (!tree.trusted || Portals.clusterOfLeaf.size() != size_t{tree.visLeafCount} + 1) return;
  const int64_t leaf = LeafOf(eye);
  if (leaf <= 0 || size_t(leaf) >= Portals.clusterOfLeaf.size() || Portals.clusterOfLeaf[size_t(leaf)] < 0 ||
      DecodeVisibility(tree.leaves[size_t(leaf)], &Row) != 0) {
    return;
  }
  SeenClusters.assign(Portals.clusterCount, 0);
  SeenClusters[size_t(Portals.clusterOfLeaf[size_t(leaf)])] = 1;
  for (size_t j = 0; j + 1 < Portals.clusterOfLeaf.size(); ++j) {
    const int32_t cluster = Portals.clusterOfLeaf[j + 1];
    if (cluster >= 0 && (Row[j >> 3] >> (j & 7) & 1) != 0) SeenClusters[size_t(cluster)] = 1;
  }
}

// Depth tested, without writing depth: the portals in view on the side of
// a cluster the eye's leaf may see. The fill shows both sides of each
// polygon; in wireframe, where the map hides nothing, it would hide the
// lines behind it, so there it is left out.
void DrawPortals(const Frustum& frustum, const float eye[3]) {
  PreparePortals();
  FindSeenClusters(eye);
  GLint modes[2] = {GL_FILL, GL_FILL};
  glGetIntegerv(GL_POLYGON_MODE, modes);
  const bool fill = modes[0] == GL_FILL;
  Outlines.clear();
  Fills.clear();
  for (size_t i = 0; i < Portals.portals.size(); ++i) {
    const Portal& p = Portals.portals[i];
    if (!SeenClusters.empty() && SeenClusters[size_t(p.sides[0])] == 0 && SeenClusters[size_t(p.sides[1])] == 0) {
      continue;
    }
    if (!BoxInView(frustum, &Made.portalBoxes[6 * i], &Made.portalBoxes[6 * i + 3], 0)) continue;
    for (uint32_t k = 0; k < p.pointCount; ++k) {
      Outlines.insert(Outlines.end(), {p.firstPoint + k, p.firstPoint + (k + 1) % p.pointCount});
    }
    for (uint32_t k = 1; fill && k + 1 < p.pointCount; ++k) {
      Fills.insert(Fills.end(), {p.firstPoint, p.firstPoint + k, p.firstPoint + k + 1});
    }
  }
  glDepthMask(GL_FALSE);
  glVertexPointer(3, GL_FLOAT, 0, Portals.points.data());
  if (!Fills.empty()) {
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(kPortalColor);
    glDrawElements(GL_TRIANGLES, GLsizei(Fills.size()), GL_UNSIGNED_INT, Fills.data());
    glDisable(GL_BLEND);
  }
  glDepthRange(0.0, 1.0 - kOutlineNearer);
  glColor3fv(kPortalColor);
  glLineWidth(1.0f);
  glDrawElements(GL_LINES, GLsizei(Outlines.size()), GL_UNSIGNED_INT, Outlines.data());
}

// The runs of the trail in view, thinned where the screen could not show
// the difference. A line goes on from the last point drawn for as long as
// the points after it keep within kCorridor pixels of its direction and do
// not turn back; a mark nearer than kMarkSpacing to the last mark, which
// would lie on it, is left out. A point nearer than the near plane, or
// behind the eye, is drawn with its neighbours, for GL to clip their lines.
// Lines: pairs of points; marks: points.
void ThinTrail(const Frustum& f) {
  const uint32_t n = uint32_t(Trail.points.size() / 3);
  const float* points = Trail.points.data();
  TrailLines.clear();
  TrailMarks.clear();
  for (uint32_t first = 0; first < n; first += kRun) {
    const float* box = &Made.runBoxes[6 * size_t(first / kRun)];
    if (!BoxInView(f, box, box + 3, 0)) continue;
    // A run's line goes on to the first point of the next, which that run marks.
    const uint32_t end = std::min(first + kRun, n - 1);
    uint32_t last = first, next = first;  // the line drawn ends at `last`, and may go on to `next`
    float from[2] = {}, to[2] = {}, dir[2] = {}, length = 0, reach = 0, mark[2] = {};
    bool behind = true, marked = false;
    const auto draw = [&last](uint32_t j) {
      TrailLines.insert(TrailLines.end(), {last, j});
      last = j;
    };
    for (uint32_t i = first; i <= end; ++i) {
      const float* p = points + 3 * size_t(i);
      const auto row = [p](const float* r) { return r[0] * p[0] + r[1] * p[1] + r[2] * p[2] + r[3]; };
      const float w = row(f.clip[3]);
      const bool wasBehind = behind;
      behind = w < 1.0f;
      const float at[2] = {behind ? 0 : row(f.clip[0]) / w * 320, behind ? 0 : row(f.clip[1]) / w * 240};
      if (i < first + kRun && (behind || !marked || std::fabs(at[0] - mark[0]) >= kMarkSpacing ||
                               std::fabs(at[1] - mark[1]) >= kMarkSpacing)) {
        TrailMarks.push_back(i);
        marked = !behind, mark[0] = at[0], mark[1] = at[1];
      }
      const float dx = at[0] - from[0], dy = at[1] - from[1];
      const bool aimed = next != last && length >= 0.5f;  // a direction to keep to
      const float along = aimed ? (dx * dir[0] + dy * dir[1]) / length : 0;
      const float across = aimed ? std::fabs(dx * dir[1] - dy * dir[0]) / length : 0;
      if (i == first || behind || wasBehind) {
        if (next != last) draw(next);
        if (i != first) draw(i);
        next = i, from[0] = at[0], from[1] = at[1];
        continue;
      }
      if (aimed && (across >= kCorridor || along < reach - kCorridor)) {
        draw(next);  // the line turns at the point before this one
        from[0] = to[0], from[1] = to[1];
        next = last;
      }
      if (next == last || !aimed) {
        dir[0] = at[0] - from[0], dir[1] = at[1] - from[1];
        reach = length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1]);
      } else {
        reach = std::max(reach, along);
      }
      next = i, to[0] = at[0], to[1] = at[1];
    }
    if (next != last) draw(next);
  }
}

// Over everything: lines edged in black, then the marks. The point the
// camera stands on lies nearer than the near plane, which takes its mark
// away.
void DrawTrail(const Frustum& frustum) {
  PrepareTrail();
  ThinTrail(frustum);
  glDisable(GL_DEPTH_TEST);
  glVertexPointer(3, GL_FLOAT, 0, Trail.points.data());
  glColorPointer(3, GL_FLOAT, 0, Made.trailColors.data());
  const auto draw = [](GLenum mode, const std::vector<uint32_t>& indices, float size, bool colors) {
    glLineWidth(size);
    glPointSize(size);
    colors ? glEnableClientState(GL_COLOR_ARRAY) : glDisableClientState(GL_COLOR_ARRAY);
    glDrawElements(mode, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
  };
  glColor3f(0.0f, 0.0f, 0.0f);
  draw(GL_LINES, TrailLines, 4.0f, false);
  draw(GL_LINES, TrailLines, 2.0f, true);
  glColor3f(0.0f, 0.0f, 0.0f);  // what a colour array leaves behind is undefined
  draw(GL_POINTS, TrailMarks, 7.0f, false);
  draw(GL_POINTS, TrailMarks, 5.0f, true);
}

}  // namespace

void DrawOverlays() {
  const bool trail = Overlays.trail && !Trail.points.empty();
  const bool portals = Overlays.portals && !Portals.portals.empty();
  if (!trail && !portals) return;
  float eye[3];
  const Frustum frustum = ViewFrustum(eye);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT |
               GL_LINE_BIT | GL_POINT_BIT | GL_VIEWPORT_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glPushMatrix();
  glMultMatrixf(kMapAxes);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_ALPHA_TEST);
  glEnableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  if (portals) DrawPortals(frustum, eye);
  if (trail) DrawTrail(frustum);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

bool StepAlongTrail(int direction) {
  const int64_t n = int64_t(Trail.points.size() / 3);
  if (n == 0) return false;
  int64_t& step = Overlays.trailStep;
  step = step < 0 ? (direction > 0 ? 0 : n - 1) : std::clamp(step + direction, int64_t{0}, n - 1);
  const float* point = &Trail.points[size_t(3 * step)];
  float eye[3], yaw = 0.0f, pitch = 0.0f;
  CameraPosition(eye, &yaw, &pitch);
  if (step + 1 < n) {
    const float dx = point[3] - point[0], dy = point[4] - point[1];
    if (dx != 0.0f || dy != 0.0f) yaw = float(std::atan2(dy, dx) * 57.29577951308232);
  }
  SetCamera(point, yaw, 0.0f);
  return true;
}
