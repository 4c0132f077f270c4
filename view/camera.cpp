// Key commands. The camera has no record of its own: a move or a turn reads
// the modelview matrix, puts a translation or rotation in front of it and
// multiplies the old matrix back.
#include "view/camera.h"

#include "app/app.h"
#include "platform/gl.h"
#include "view/views.h"

namespace {

constexpr float kStep = 20.0f;  // map units per move
constexpr float kTurn = 10.0f;  // degrees per turn

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
  glLoadIdentity();
  glRotatef(-angle, 0.0f, 1.0f, 0.0f);
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
    default:
      return;  // no command: no change and no repaint
  }
  RECT rect;
  GetClientRect(window, &rect);
  InvalidateRect(window, &rect, FALSE);
}
