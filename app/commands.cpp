// Dispatching keys and the mouse: the program's own commands here, the
// camera's and the view's in view/.
#include "app/commands.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

#include "app/app.h"
#include "app/clipboard.h"
#include "app/clock.h"
#include "view/camera.h"
#include "view/overlays.h"
#include "view/inspect.h"

namespace {

// A drag with the left button, begun in the window: where the mouse was
// last, and where the button went down. Until the mouse goes more than 3
// pixels from there, letting go is a click.
struct Drag {
  bool active;
  int x, y;
  int downX, downY;
  bool moved;
};
constexpr int kClickSlack = 3;
Drag Dragging;

int WheelDelta;  // what the wheel turned short of a notch

void Repaint(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  InvalidateRect(window, &rect, FALSE);
}

}  // namespace

void OnKey(HWND window, int character) {
  // Only "a" to "z" change; every other code stays as it is.
  if (character >= 'a' && character <= 'z') character = character - 'a' + 'A';
  switch (character) {
    case 27:
      Shutdown();
      return;
    case 'R':
      ReloadMap(window);  // repaints when it has something new to show
      return;
    case 3:  // Ctrl+C
      CopyText(window, PositionText());
      return;
    case 'I':
      Inspect.numbers = !Inspect.numbers;
      break;
    case 'E':
      Inspect.markers = !Inspect.markers;
      break;
    case 'K':
      Overlays.trail = !Overlays.trail;
      break;
    case 'P':
      Overlays.portals = !Overlays.portals;
      break;
    case 'N':
    case 'B':
      if (!StepAlongTrail(character == 'N' ? 1 : -1)) return;  // no trail
      break;
    case ' ':
      StartOrStopClock(GetTickCount());
      break;
    default:
      if (!RunViewKey(character)) return;  // no command: no change and no repaint
  }
  Repaint(window);
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
      Dragging = {true, x, y, x, y, false};
      SetCapture(window);  // the drag goes on beyond the window's edge
      return;
    case WM_LBUTTONUP: {
      const bool click = Dragging.active && !Dragging.moved && std::abs(x - Dragging.downX) <= kClickSlack &&
                         std::abs(y - Dragging.downY) <= kClickSlack;
      if (Dragging.active) ReleaseCapture();
      Dragging.active = false;
      if (!click) return;
      // The picture fills 640 x 480 from the client area's lower left.
      RECT client;
      GetClientRect(window, &client);
      Inspect.pick = PickAt(x, client.bottom - 1 - y, Inspect.markers);
      break;
    }
    case WM_MOUSEMOVE: {
      // A button let go elsewhere ends the drag too.
      if ((wParam & MK_LBUTTON) == 0) Dragging.active = false;
      if (std::abs(x - Dragging.downX) > kClickSlack || std::abs(y - Dragging.downY) > kClickSlack) {
        Dragging.moved = true;
      }
      if (!Dragging.active || (x == Dragging.x && y == Dragging.y)) return;
      DragCamera(x - std::exchange(Dragging.x, x), y - std::exchange(Dragging.y, y));
      break;
    }
    case WM_MOUSEWHEEL: {
      // A wheel of finer steps adds up to notches.
      WheelDelta += GET_WHEEL_DELTA_WPARAM(wParam);
      const int notches = WheelDelta / WHEEL_DELTA;
      WheelDelta -= notches * WHEEL_DELTA;
      if (notches == 0) return;
      for (int i = 0; i < std::abs(notches); ++i) RunViewKey(notches > 0 ? '8' : '2');
      break;
    }
    default:
      return;
  }
  Repaint(window);
}
