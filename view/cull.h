// Which faces a frame sends: the world's faces in the leaves the camera's
// leaf can see whose boxes meet the view, nearest leaves first, each face
// once; and which brush entities' boxes meet the view. Where the tree
// cannot be trusted (no visibility data, the camera in solid or outside the
// map, a leaf without a row, damaged data) every world face goes, in the
// order of the faces lump.
#pragma once

#include <cstdint>
#include <vector>

struct DrawList {
  std::vector<uint32_t> world;    // face records
  std::vector<uint8_t> brushes;   // per Level.brushes: whether its box meets the view
  bool culled;                    // false: every world face, for want of a trustworthy tree
  int64_t cameraLeaf;             // the leaf the eye is in, where the tree was asked; else -1
};

// Off: every world face and every brush entity, for comparing and measuring.
extern bool CullFaces;

// The list for the current modelview and projection matrices. With
// `wireframe`, lines show what lies behind walls: only the view's bounds
// apply, not the visible sets, and the faces go in the faces lump's order,
// as in the flat view (where two outlines share an edge, the later one's
// colour shows). The list is rebuilt in place each frame.
const DrawList& CollectFaces(bool wireframe);

// Whether the box (map coordinates) meets the view CollectFaces last
// worked with, widened by a unit.
bool BoxMeetsView(const float mins[3], const float maxs[3]);

// Forgets what was worked out for the previous level: its camera leaf and
// visible set.
void ResetCulling();
