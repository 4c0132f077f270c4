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

void SetCamera(const float origin[3], float yaw, float pitch) {
  glLoadIdentity();
  pitch = std::clamp(pitch, -kMaxPitch, kMaxPitch);
  if (pitch != 0.0f) glRotatef(-pitch, 1.0f, 0.0f, 0.0f);
  if (yaw != 90.0f) glRotatef(90.0f - yaw, 0.0f, 1.0f, 0.0f);
  glTranslatef(-origin[0], -origin[2], origin[1]);  // map (x, y, z) is GL (x, z, -y)
}

void EyeOf(const float m[16], float eye[3]) {
  // The modelview matrix is a rotation R and a translation t, so the eye is
  // -R^T t, in GL's axes.
  float gl[3];
  for (int k = 0; k < 3; ++k) {
    gl[k] = -(m[4 * k] * m[12] + m[4 * k + 1] * m[13] + m[4 * k + 2] * m[14]);
  }
  eye[0] = gl[0];
  eye[1] = -gl[2];
  eye[2] = gl[1];
}

void CameraPosition(float origin[3], float* yaw, float* pitch) {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EyeOf(m, origin);
  // The eye looks along -z of its own axes: minus the matrix's third row,
  // in GL's axes; its level part gives the heading. Looking straight up or
  // down it has none, and the second row's stands in.
  double x = -m[2], y = m[10];  // map x and map y
  if (std::fabs(x) + std::fabs(y) < 1e-6) x = m[1], y = -m[9];
  double degrees = std::atan2(y, x) * kDegrees;
  if (degrees < 0) degrees += 360.0;
  *yaw = degrees >= 360.0 ? 0.0f : static_cast<float>(degrees);
  *pitch = PitchOf(m);
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
