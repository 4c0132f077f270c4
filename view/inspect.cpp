// Drawing what is asked for over the view. Markers and outlines are drawn
// in the level's own depth, so walls hide them; the text goes over all.
#include "view/inspect.h"

#include <algorithm>

#include "bsp/level.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/text.h"

InspectState Inspect;

namespace {

// The six sides of a box, each clockwise seen from outside: for side
// `axis` at the box's maximum, the corners (u, v) = (0, 0), (0, 1), (1, 1),
// (1, 0) along the next two axes; at its minimum, the other way round.
void BoxSides(const float mins[3], const float maxs[3], bool shaded, float r, float g, float b) {
  static const int kCorners[2][4][2] = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{0, 0}, {0, 1}, {1, 1}, {1, 0}}};
  static const float kShade[3][2] = {{0.85f, 0.85f}, {0.75f, 0.75f}, {0.65f, 1.0f}};  // by axis, min and max
  glBegin(GL_QUADS);
  for (int axis = 0; axis < 3; ++axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (int side = 0; side < 2; ++side) {
      const float shade = shaded ? kShade[axis][side] : 1.0f;
      glColor3f(r * shade, g * shade, b * shade);
      for (const auto& corner : kCorners[side]) {
        float p[3];
        p[axis] = side == 0 ? mins[axis] : maxs[axis];
        p[u] = corner[0] == 0 ? mins[u] : maxs[u];
        p[v] = corner[1] == 0 ? mins[v] : maxs[v];
        glVertex3f(p[0], p[2], -p[1]);  // map z is up; GL y is up
      }
    }
  }
  glEnd();
}

// The twelve edges of a box.
void BoxEdges(const float mins[3], const float maxs[3]) {
  glBegin(GL_LINES);
  for (int axis = 0; axis < 3; ++axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (int corner = 0; corner < 4; ++corner) {
      float p[3];
      p[u] = corner & 1 ? maxs[u] : mins[u];
      p[v] = corner & 2 ? maxs[v] : mins[v];
      for (float end : {mins[axis], maxs[axis]}) {
        p[axis] = end;
        glVertex3f(p[0], p[2], -p[1]);
      }
    }
  }
  glEnd();
}

// Point entities as boxes in their family's colour, in the drawing mode
// on show; triggers as their brush model's box, outlined in grey.
void DrawMarkers(const float eye[3]) {
  static const float kColours[][3] = {
      {1.0f, 0.9f, 0.2f},  // lights: yellow
      {0.9f, 0.15f, 0.1f}, // monsters: red
      {0.2f, 0.85f, 0.2f}, // items and weapons: green
      {1.0f, 1.0f, 1.0f},  // player starts and teleport destinations: white
      {0.6f, 0.6f, 0.6f},  // triggers and the rest: grey
  };
  GLint modes[2];
  glGetIntegerv(GL_POLYGON_MODE, modes);
  for (const PointEntity& point : Level.points) {
    if (!MarkerShows(point, eye)) continue;
    float mins[3], maxs[3];
    MarkerBox(point, mins, maxs);
    const float* colour = kColours[point.family];
    BoxSides(mins, maxs, modes[0] == GL_FILL, colour[0], colour[1], colour[2]);
  }
  glColor3fv(kColours[kOtherFamily]);
  for (const BrushEntity& trigger : Level.triggers) {
    const BspModel& model = Level.models[trigger.model];
    float mins[3], maxs[3];
    for (int k = 0; k < 3; ++k) {
      mins[k] = model.mins[k] + trigger.origin[k];
      maxs[k] = model.maxs[k] + trigger.origin[k];
    }
    BoxEdges(mins, maxs);
  }
}

// The picked face or marker outlined, a little in front of what was drawn
// so that the lines win the depth test on the face itself.
void DrawPickOutline() {
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glEnable(GL_POLYGON_OFFSET_LINE);
  glPolygonOffset(-1.0f, -2.0f);
  glLineWidth(2.0f);
  const Pick& pick = Inspect.pick;
  if (pick.kind == kMarkerPicked) {
    float mins[3], maxs[3];
    MarkerBox(Level.points[pick.index], mins, maxs);
    BoxSides(mins, maxs, false, 1.0f, 0.0f, 1.0f);
    return;
  }
  const Surface& surface = Level.surfaces[pick.index];
  float origin[3] = {0, 0, 0};
  for (const BrushEntity& brush : Level.brushes) {
    const BspModel& model = Level.models[brush.model];
    if (int64_t{pick.index} >= model.faceStart && int64_t{pick.index} < int64_t{model.faceStart} + model.faceTotal) {
      for (int k = 0; k < 3; ++k) origin[k] = brush.origin[k];
      break;
    }
  }
  glPushMatrix();
  glTranslatef(origin[0], origin[2], -origin[1]);
  glColor3f(1.0f, 0.0f, 1.0f);
  glBegin(GL_POLYGON);
  for (uint32_t k = 0; k < surface.cornerCount; ++k) {
    glVertex3fv(&Level.corners.positions[3 * size_t(surface.firstCorner + k)]);
  }
  glEnd();
  glPopMatrix();
}

}  // namespace

void KeepPickIfStillThere() {
  const Pick& pick = Inspect.pick;
  const bool there = pick.kind == kFacePicked ? pick.index < Level.surfaces.size() &&
                                                    Level.surfaces[pick.index].cornerCount >= 3
                                              : pick.index < Level.points.size();
  if (!there) Inspect.pick = {};
}

void DrawInspection(const DrawList* list) {
  const bool picked = Inspect.pick.kind != kNothingPicked;
  if (!Inspect.numbers && !Inspect.markers && !picked) return;
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glDepthFunc(GL_LEQUAL);
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  float eye[3];
  EyeOf(m, eye);
  if (Inspect.markers) DrawMarkers(eye);
  if (picked) DrawPickOutline();
  glPopAttrib();
  // The text at the top and the bottom of what the window shows.
  const int shownWidth = std::min(Inspect.clientWidth, 640);
  if (picked) DrawTextBox(PanelLines(Inspect.pick), 0, std::max(0, 480 - Inspect.clientHeight));
  if (Inspect.numbers) {
    const std::vector<std::string> line{NumbersLine(list)};
    DrawTextBox(line, 0, 480 - TextBoxHeight(line), shownWidth);
  }
}
