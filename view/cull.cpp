// The per-frame walk. The camera's leaf is found from the eye, which is
// where the inverse of the modelview matrix puts the origin; its visible
// set is decoded once per leaf change and marked on the leaves and their
// parent nodes with a number, not flags that would need clearing; the walk
// then takes the marked nodes whose boxes meet the view, the nearer child
// first, and each face once, marked with the frame's number, unless its back
// is to the eye or its own box lies outside the view.
#include "view/cull.h"

#include <algorithm>
#include <cmath>

#include "bsp/level.h"
#include "bsp/tree.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/flood.h"

bool CullFaces = true;
bool CullPortals = true;

namespace {

DrawList List;
uint32_t Frame = 0;          // numbers the frames, for faces
uint32_t VisFrame = 0;       // numbers the visible sets, for leaves and nodes
int64_t MarkedLeaf = -1;     // the camera leaf VisFrame was marked for
bool MarkedTrusted = false;  // whether that leaf's set could be marked
std::vector<uint8_t> Row;

}  // namespace

Frustum LastFrustum;  // of the last CollectFaces

// Clip coordinates of a map point are P M C p, with C taking map (x, y, z)
// to GL (x, z, -y); the planes come from that matrix's rows.
Frustum ViewFrustum(float eye[3]) {
  float p[16] = {}, m[16] = {}, pm[16];
  glGetFloatv(GL_PROJECTION_MATRIX, p);
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      pm[4 * c + r] = p[r] * m[4 * c] + p[4 + r] * m[4 * c + 1] + p[8 + r] * m[4 * c + 2] +
                      p[12 + r] * m[4 * c + 3];
    }
  }
  float a[4][4];  // a[row][map column]: x, y, z, w
  for (int r = 0; r < 4; ++r) {
    a[r][0] = pm[r];
    a[r][1] = -pm[8 + r];
    a[r][2] = pm[4 + r];
    a[r][3] = pm[12 + r];
  }
  Frustum f;
  std::copy(&a[0][0], &a[0][0] + 16, &f.clip[0][0]);
  for (int i = 0; i < 6; ++i) {
    const float sign = i % 2 == 0 ? 1.0f : -1.0f;
    for (int k = 0; k < 4; ++k) f.planes[i][k] = a[3][k] + sign * a[i / 2][k];
  }
  EyeOf(m, eye);
  return f;
}

// Whether the box, widened by `margin`, meets the view: it does not when
// its corner furthest along some plane's normal still lies outside.
bool BoxInView(const Frustum& f, const float mins[3], const float maxs[3], float margin) {
  for (const auto& plane : f.planes) {
    float d = plane[3];
    for (int k = 0; k < 3; ++k) d += plane[k] * (plane[k] >= 0 ? maxs[k] + margin : mins[k] - margin);
    if (d < 0) return false;
  }
  return true;
}

// The leaf the eye is in: the front child where the eye is on or in front
// of a node's plane. The tree is checked and has no loops.
int64_t LeafOf(const float eye[3]) {
  const Tree& tree = Level.tree;
  int32_t child = tree.headNode;
  while (child >= 0) {
    const TreeNode& node = tree.nodes[size_t(child)];
    const BspPlane& plane = tree.planes[size_t(node.plane)];
    const float d = plane.normal[0] * eye[0] + plane.normal[1] * eye[1] +
                    plane.normal[2] * eye[2] - plane.dist;
    child = node.children[d >= 0 ? 0 : 1];
  }
  return -(int64_t{child} + 1);
}

namespace {

// Where the player can be: empty space, water, slime and lava. The visible
// sets are made for those; from inside a solid or a sky brush, or outside
// the map, what shows is anybody's guess.
bool PlayerCanBeIn(const TreeLeaf& leaf) { return leaf.contents <= -1 && leaf.contents >= -5 && leaf.contents != -2; }

// Marks the leaves `leaf` sees, and their parents, with a new VisFrame.
// False when the set cannot be had: no row for the leaf.
bool MarkVisibleSet(int64_t leaf) {
  Tree& tree = Level.tree;
  const TreeLeaf& camera = tree.leaves[size_t(leaf)];
  if (DecodeVisibility(camera, &Row) != 0) return false;
  ++VisFrame;
  auto mark = [&](TreeLeaf& l) {
    l.visFrame = VisFrame;
    for (int32_t n = l.parent; n >= 0 && tree.nodes[size_t(n)].visFrame != VisFrame;
         n = tree.nodes[size_t(n)].parent) {
      tree.nodes[size_t(n)].visFrame = VisFrame;
    }
  };
  mark(tree.leaves[size_t(leaf)]);
  for (uint32_t j = 0; j < tree.visLeafCount; ++j) {
    if ((Row[j >> 3] >> (j & 7)) & 1) mark(tree.leaves[j + 1]);
  }
  return true;
}

void AddFace(uint32_t face) {
  Surface& surface = Level.surfaces[face];
  if (surface.drawnFrame == Frame || surface.cornerCount == 0) return;
  surface.drawnFrame = Frame;
  List.world.push_back(face);
}

// A face whose back is to the eye is culled by GL anyway, but only after
// its triangles have been set up; a unit's margin keeps faces seen edge on,
// and faces bent a little out of their plane, for GL to decide.
void AddFaceFacing(uint32_t face, const float eye[3], const Frustum& frustum) {
  const Surface& s = Level.surfaces[face];
  if (s.normal[0] * eye[0] + s.normal[1] * eye[1] + s.normal[2] * eye[2] - s.dist < -1.0f) return;
  if (s.drawnFrame == Frame || !BoxInView(frustum, s.mins, s.maxs, 1)) return;
  AddFace(face);
}

// The tree from the head node, nearer children first: with `useSet` only
// what the visible set marked, with `usePortals` only the leaves the flood
// through the portals reached.
void Walk(const Frustum& frustum, const float eye[3], bool useSet, bool usePortals) {
  const Tree& tree = Level.tree;
  static std::vector<int32_t> pending;
  pending.assign(1, tree.headNode);
  while (!pending.empty()) {
    const int32_t child = pending.back();
    pending.pop_back();
    if (child >= 0) {
      const TreeNode& node = tree.nodes[size_t(child)];
      if ((useSet && node.visFrame != VisFrame) || !BoxInView(frustum, node.mins, node.maxs, 1)) {
        continue;
      }
      const BspPlane& plane = tree.planes[size_t(node.plane)];
      const float d = plane.normal[0] * eye[0] + plane.normal[1] * eye[1] +
                      plane.normal[2] * eye[2] - plane.dist;
      const int nearSide = d >= 0 ? 0 : 1;
      pending.push_back(node.children[1 - nearSide]);
      pending.push_back(node.children[nearSide]);  // taken first
      continue;
    }
    const int64_t index = -(int64_t{child} + 1);
    const TreeLeaf& leaf = tree.leaves[size_t(index)];
    if (index == 0 || (useSet && leaf.visFrame != VisFrame) ||
        !BoxInView(frustum, leaf.mins, leaf.maxs, 1) ||
        (usePortals && !LeafReached(index, leaf.mins, leaf.maxs))) {
      continue;
    }
    ++List.leaves;
    for (uint32_t m = 0; m < leaf.markCount; ++m) AddFaceFacing(tree.marks[leaf.firstMark + m], eye, frustum);
  }
}

}  // namespace

int64_t LeafAt(const float point[3]) { return Level.tree.sound ? LeafOf(point) : -1; }

void ResetCulling() {
  MarkedLeaf = -1;
  MarkedTrusted = false;
}

bool BoxMeetsView(const float mins[3], const float maxs[3]) {
  return BoxInView(LastFrustum, mins, maxs, 1);
}

const DrawList& CollectFaces(bool wireframe) {
  ++Frame;
  List.world.clear();
  List.leaves = 0;
  List.brushes.assign(Level.brushes.size(), 1);
  float eye[3];
  const Frustum frustum = LastFrustum = ViewFrustum(eye);
  const Tree& tree = Level.tree;
  bool useSet = false, usePortals = false;
  List.cameraLeaf = -1;
  LastFlood = {};
  if (CullFaces && tree.sound && !wireframe) {
    const int64_t leaf = LeafOf(eye);
    List.cameraLeaf = leaf;
    if (leaf != 0 && PlayerCanBeIn(tree.leaves[size_t(leaf)])) {
      if (tree.trusted && leaf != MarkedLeaf) {
        MarkedLeaf = leaf;
        MarkedTrusted = MarkVisibleSet(leaf);
      }
      useSet = tree.trusted && MarkedTrusted;
      usePortals = CullPortals && FloodPortals(frustum, eye, leaf);
    }
  }
  List.culled = useSet || usePortals;
  const int64_t start = Level.worldModel.faceStart;
  if (List.culled) {
    Walk(frustum, eye, useSet, usePortals);
  } else if (wireframe && CullFaces) {
    for (int64_t f = start; f < start + Level.worldModel.faceTotal; ++f) {
      if (BoxInView(frustum, Level.surfaces[size_t(f)].mins, Level.surfaces[size_t(f)].maxs, 1)) {
        AddFace(uint32_t(f));
      }
    }
  } else {
    for (int64_t f = start; f < start + Level.worldModel.faceTotal; ++f) AddFace(uint32_t(f));
  }
  if (!CullFaces) return List;
  // A brush model's box, where its entity puts it, widened by the unit
  // the compilers leave out.
  for (size_t b = 0; b < Level.brushes.size(); ++b) {
    const BrushEntity& brush = Level.brushes[b];
    const BspModel& model = Level.models[brush.model];
    float mins[3], maxs[3];
    for (int k = 0; k < 3; ++k) {
      mins[k] = model.mins[k] + brush.origin[k];
      maxs[k] = model.maxs[k] + brush.origin[k];
    }
    List.brushes[b] = BoxInView(frustum, mins, maxs, 1) ? 1 : 0;
  }
  return List;
}
