// What lies under a pixel: a ray from the eye through the pixel's centre,
// met with the faces the view draws as solid polygons (their fans of
// triangles, as GL fills them, front sides only, between the near and far
// planes) and with the entity markers when they are shown.
#pragma once

#include <cstdint>

#include "bsp/entities.h"

enum PickKind : uint8_t { kNothingPicked, kFacePicked, kMarkerPicked };

struct Pick {
  PickKind kind;
  uint32_t index;   // a face record, or an entry of Level.points
  double depth;     // along the view, in map units
};

// The nearest face or marker under pixel (x, y) of the 640 x 480 picture,
// counted from its lower left, for the current matrices: world faces, the
// brush entities' faces where their entities put them (in every view but
// flat), and with `markers` the point entities' boxes. Nothing outside the
// picture or where the ray meets nothing. The world is searched along the
// ray through its tree, leaf by leaf from the eye, stopping at the first
// leaf that holds a hit; without a sound tree, face by face.
Pick PickAt(int x, int y, bool markers);

// A point entity's marker box in map units, and whether it is drawn and
// picked: not when it holds the eye.
void MarkerBox(const PointEntity& point, float mins[3], float maxs[3]);
bool MarkerShows(const PointEntity& point, const float eye[3]);
