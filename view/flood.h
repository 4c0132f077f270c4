// Culling through the portals of the compiler's portal file: each frame a
// flood from the camera's cluster, through the portals that lie in front of
// the eye and meet the part of the view still open, each narrowing it to the
// rectangle on the screen it covers. Whatever the eye sees lies at the end
// of a chain of portals it sees through, each crossed where the line of
// sight passes, so every cluster it sees is reached with a rectangle that
// holds that point of the screen.
#pragma once

#include <cstdint>

#include "view/cull.h"

// Floods from the cluster of `cameraLeaf` (a leaf of the world's tree) for
// the view `frustum` and the eye at map point `eye`. Returns false when the
// portals cannot tell (no portal file for the map, a camera leaf in no
// cluster, or more work than a frame may take): then nothing is culled by
// them.
bool FloodPortals(const Frustum& frustum, const float eye[3], int64_t cameraLeaf);

// After FloodPortals returned true: whether the flood reached the cluster
// of tree leaf `leaf`, and where its box may show on the screen.
bool LeafReached(int64_t leaf, const float mins[3], const float maxs[3]);

// What the last flood cost: the portals it tried and the clusters it reached.
struct FloodWork {
  uint32_t portalsTried;
  uint32_t clustersReached;
};
extern FloodWork LastFlood;
