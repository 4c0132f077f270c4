// Key and mouse commands. The camera has no record of its own: a move or a
// turn reads the modelview matrix, puts a translation or rotation in front of
// it and multiplies the old matrix back. Even the pitch is read back from the
// matrix: it is the tilt of the map's vertical seen from the eye.
#include "view/camera.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "app/app.h"
#include "platform/gl.h"
#include "view/views.h"

namespace {

constexpr float kStep = 20.0f;          // map units per move
constexpr float kTurn = 10.0f;          // degrees per turn
constexpr float kDragTurn = 1.0f / 16;  // degrees per pixel of drag
constexpr float kMaxPitch = 89.0f;      // degrees up or down
constexpr double kDegrees = 57.29577951308232;

// A drag with the left button, begun in the window: where the mouse was last.
struct Drag {
  bool active;
  int x, y;
};
Drag Dragging;

int WheelDelta;  // what the wheel turned short of a notch

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

void OnKey(HWND window, int character) {
  // Only "a" to "z" change; every other code stays as it is.
  if (character >= 'a' && character <= 'z') character = character - 'a' + 'A';
  switch (character) {
    case 27:
      Shutdown();
      return;
    case '+':
    case '.':
      MoveCamera(0.0f, kStep, 0.0f);
      break;
    case '-':
    case '0':
      MoveCamera(0.0f, -kStep, 0.0f);
      break;
    case '1':
      MoveCamera(kStep, 0.0f, 0.0f);
      break;
    case '2':
      MoveCamera(0.0f, 0.0f, kStep);
      break;
    case '3':
      MoveCamera(-kStep, 0.0f, 0.0f);
      break;
    case '4':
      TurnCamera(kTurn);
      break;
    case '6':
      TurnCamera(-kTurn);
      break;
    case '7':
    case 'W':
      glPolygonMode(GL_FRONT, GL_LINE);
      break;
    case '8':
      MoveCamera(0.0f, 0.0f, -kStep);
      break;
    case '9':
    case 'F':
      glPolygonMode(GL_FRONT, GL_FILL);
      break;
    case 'L':  // flat, lit, light only, and round again
      View.light = View.light == kFlatView  ? kLitView
                   : View.light == kLitView ? kLightOnlyView
                                            : kFlatView;
      break;
    case 'T':
      View.textures = !View.textures;
      break;
    case 'R':
      ReloadMap(window);  // repaints when it has something new to show
      return;
    default:
      return;  // no command: no change and no repaint
  }
  RECT rect;
  GetClientRect(window, &rect);
  InvalidateRect(window, &rect, FALSE);
}

void OnKeyDown(HWND window, WPARAM key) {
  static const struct {
    WPARAM key;
    int character;
  } kKeys[] = {{VK_UP, '8'},    {VK_DOWN, '2'},  {VK_LEFT, '4'},
               {VK_RIGHT, '6'}, {VK_PRIOR, '+'}, {VK_NEXT, '-'}};
  for (const auto& k : kKeys) {
    if (k.key == key) OnKey(window, k.character);
  }
}

void OnMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const int x = static_cast<int16_t>(LOWORD(static_cast<ULONG_PTR>(lParam)));
  const int y = static_cast<int16_t>(HIWORD(static_cast<ULONG_PTR>(lParam)));
  switch (message) {
    case WM_LBUTTONDOWN:
      Dragging = {true, x, y};
      SetCapture(window);  // the drag goes on beyond the window's edge
      return;
    case WM_LBUTTONUP:
      if (Dragging.active) ReleaseCapture();
      Dragging.active = false;
      return;
    case WM_MOUSEMOVE: {
      // A button let go elsewhere ends the drag too.
      if ((wParam & MK_LBUTTON) == 0) Dragging.active = false;
      if (!Dragging.active || (x == Dragging.x && y == Dragging.y)) return;
      const int dx = x - std::exchange(Dragging.x, x);
      const int dy = y - std::exchange(Dragging.y, y);
      // Right turns right, as 6 does; up looks up.
      if (dx != 0) TurnCamera(static_cast<float>(-dx) * kDragTurn);
      if (dy != 0) TiltCamera(static_cast<float>(-dy) * kDragTurn);
      break;
    }
    case WM_MOUSEWHEEL: {
      // A wheel of finer steps adds up to notches.
      WheelDelta += GET_WHEEL_DELTA_WPARAM(wParam);
      const int notches = WheelDelta / WHEEL_DELTA;
      WheelDelta -= notches * WHEEL_DELTA;
      if (notches == 0) return;
      const float step = notches > 0 ? -kStep : kStep;
      for (int i = 0; i < std::abs(notches); ++i) MoveCamera(0.0f, 0.0f, step);
      break;
    }
    default:
      return;
  }
  RECT rect;
  GetClientRect(window, &rect);
  InvalidateRect(window, &rect, FALSE);
}
