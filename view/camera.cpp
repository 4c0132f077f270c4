// The camera's moves and the view's commands. The camera has no record of
// its own: a move or a turn reads the modelview matrix, puts a translation or
// rotation in front of it and multiplies the old matrix back. Even the pitch
// is read back from the matrix: it is the tilt of the map's vertical seen
// from the eye.
#include "view/camera.h"

#include <algorithm>
#include <cmath>

#include "platform/gl.h"
#include "view/views.h"

namespace {

constexpr float kStep = 20.0f;          // map units per move
constexpr float kTurn = 10.0f;          // degrees per turn
constexpr float kDragTurn = 1.0f / 16;  // degrees per pixel of drag
constexpr float kMaxPitch = 89.0f;      // degrees up or down
constexpr double kDegrees = 57.29577951308232;

// The view's pitch, in degrees up: from the map's vertical (GL's y axis)
// seen from the eye, which leans back by the pitch.
float PitchOf(const GLfloat* modelview) {
  return static_cast<float>(std::asin(std::clamp(-modelview[6], -1.0f, 1.0f)) * kDegrees);
}

}  // namespace

void MoveCamera(float dx, float dy, float dz) {
  GLfloat saved[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, saved);
  glLoadIdentity();
  glTranslatef(-dx, -dy, -dz);
  glMultMatrixf(saved);
}

void TurnCamera(float angle) {
  GLfloat saved[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, saved);
  // A pitched view turns about the map's vertical: level, turned, pitched again.
  const float pitch = PitchOf(saved);
  glLoadIdentity();
  if (pitch != 0.0f) glRotatef(-pitch, 1.0f, 0.0f, 0.0f);
  glRotatef(-angle, 0.0f, 1.0f, 0.0f);
  if (pitch != 0.0f) glRotatef(pitch, 1.0f, 0.0f, 0.0f);
  glMultMatrixf(saved);
}

void TiltCamera(float angle) {
  GLfloat saved[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, saved);
  const float pitch = PitchOf(saved);
  const float tilt = std::clamp(pitch + angle, -kMaxPitch, kMaxPitch) - pitch;
  glLoadIdentity();
  glRotatef(-tilt, 1.0f, 0.0f, 0.0f);
  glMultMatrixf(saved);
}

bool RunViewKey(int character) {
  switch (character) {
    case '+':
    case '.':
      MoveCamera(0.0f, kStep, 0.0f);
      return true;
    case '-':
    case '0':
      MoveCamera(0.0f, -kStep, 0.0f);
      return true;
    case '1':
      MoveCamera(kStep, 0.0f, 0.0f);
      return true;
    case '2':
      MoveCamera(0.0f, 0.0f, kStep);
      return true;
    case '3':
      MoveCamera(-kStep, 0.0f, 0.0f);
      return true;
    case '4':
      TurnCamera(kTurn);
      return true;
    case '6':
      TurnCamera(-kTurn);
      return true;
    case '7':
    case 'W':
      glPolygonMode(GL_FRONT, GL_LINE);
      return true;
    case '8':
      MoveCamera(0.0f, 0.0f, -kStep);
      return true;
    case '9':
    case 'F':
      glPolygonMode(GL_FRONT, GL_FILL);
      return true;
    case 'L':  // flat, lit, light only, and round again
      View.light = View.light == kFlatView  ? kLitView
                   : View.light == kLitView ? kLightOnlyView
                                            : kFlatView;
      return true;
    case 'T':
      View.textures = !View.textures;
      return true;
    default:
      return false;
  }
}

void DragCamera(int dx, int dy) {
  // Right turns right, as 6 does; up looks up.
  if (dx != 0) TurnCamera(static_cast<float>(-dx) * kDragTurn);
  if (dy != 0) TiltCamera(static_cast<float>(-dy) * kDragTurn);
}
