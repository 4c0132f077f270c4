// What the view draws over the map from the compiler's diagnostics
// (bsp/diagnostics.h): the trail of a leak, over everything, and the
// portals, where the map does not hide them; and the camera's steps along
// the trail. Drops and reloads keep what is shown.
#pragma once

#include <cstdint>

struct OverlayState {
  bool trail;         // K: shown whenever the map has one, unless hidden
  bool portals;       // P: hidden unless asked for
  int64_t trailStep;  // the trail point N or B went to last; -1 when none yet
};

extern OverlayState Overlays;

// Draws what is shown over the frame DrawLevel has drawn, in the current
// modelview and projection, and leaves every GL state as it found it. With
// nothing shown it touches nothing. The trail is a 2-pixel line edged in
// black that runs from bright yellow at the file's first point to dark red
// at its last, its points marked with squares of 5 pixels edged in black
// (one for those whose marks would lie on one another); the portals are
// cyan outlines over a faint cyan fill (outlines only in wireframe), those
// the eye's leaf cannot see left out.
void DrawOverlays();

// N (direction 1) and B (-1): the camera stands on the trail's next point,
// or the one before, in the file's order (the first N goes to the first
// point, the first B to the last; at either end they stay), level, facing
// the point after it; at the last point, or below or above the next one,
// it keeps its heading. Returns false, changing nothing, without a trail.
bool StepAlongTrail(int direction);
