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
  uint32_t leaves;                // culled: the leaves the walk took
};

// Off: every world face and every brush entity, for comparing and measuring.
extern bool CullFaces;

// The list for the current modelview and projection matrices. With
// `wireframe`, lines show what lies behind walls: only the view's bounds
// apply, not the visible sets. The list is rebuilt in place each frame.
const DrawList& CollectFaces(bool wireframe);

// The leaf of the world's tree that holds map point `point` (on a node's
// plane: its front side), or -1 when the tree is not sound.
int64_t LeafAt(const float point[3]);

// Forgets what was worked out for the previous level: its camera leaf and
// visible set.
void ResetCulling();
