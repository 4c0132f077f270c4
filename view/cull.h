// Which faces a frame sends: the world's faces in the leaves the camera's
// leaf can see (by the map's visible sets, and through the portals of the
// compiler's portal file beside it, where it has either) whose boxes meet
// the view, nearest leaves first, each face once; and which brush
// entities' boxes meet the view. Where neither can be used (no visibility
// data and no portal file, the camera in solid or outside the map, a leaf
// without a row, damaged data) every world face goes, in the order of the
// faces lump.
#pragma once

#include <cstdint>
#include <vector>

struct DrawList {
  std::vector<uint32_t> world;    // face records
  std::vector<uint8_t> brushes;   // per Level.brushes: whether its box meets the view
  bool culled;                    // false: every world face, for want of a trustworthy tree
  int64_t cameraLeaf;             // the leaf the eye is in, where the tree was asked; else -1
  uint32_t leaves;                // culled: the leaves the walk took
};

// Off: every world face and every brush entity, for comparing and measuring.
extern bool CullFaces;

// Off: the portals of the compiler's portal file are not used, only the
// visible sets: for comparing and measuring.
extern bool CullPortals;

// The list for the current modelview and projection matrices. With
// `wireframe`, lines show what lies behind walls: only the view's bounds
// apply, not the visible sets, and the faces go in the faces lump's order,
// as in the flat view (where two outlines share an edge, the later one's
// colour shows). The list is rebuilt in place each frame.
const DrawList& CollectFaces(bool wireframe);

// The leaf of the world's tree that holds map point `point` (on a node's
// plane: its front side), or -1 when the tree is not sound.
int64_t LeafAt(const float point[3]);

// Whether the box (map coordinates) meets the view CollectFaces last
// worked with, widened by a unit.
bool BoxMeetsView(const float mins[3], const float maxs[3]);

// Forgets what was worked out for the previous level: its camera leaf and
// visible set.
void ResetCulling();

// The view's six bounding planes in map coordinates: a point p is inside
// when a x + b y + c z + d >= 0 for every plane.
struct Frustum {
  float planes[6][4];
  float clip[4][4];  // rows giving a map point's clip coordinates x, y, z, w
};

// The planes of the current modelview and projection matrices; `eye`
// receives the eye's map point.
Frustum ViewFrustum(float eye[3]);

// Whether the box, widened by `margin`, meets the view.
bool BoxInView(const Frustum& f, const float mins[3], const float maxs[3], float margin);

// The leaf of the trusted tree the eye is in (0: solid).
int64_t LeafOf(const float eye[3]);
