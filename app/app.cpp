// The program's frame: registering the class, creating the window, the
// message loop, and the handlers of the window procedure. Everything runs on
// the one GUI thread, inside window messages.
#include "app/app.h"

#include <cstdint>
#include <cstdlib>

#include "app/gl_context.h"
#include "app/options.h"
#include "bsp/bsp_file.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "view/camera.h"
#include "view/render.h"

namespace {

const char kClassName[] = "Mivo";
const char kTitle[] = "Darro's Mivo: Use the Key Pad to move around.";

// Set by the first Shutdown. From then on no handler touches the released
// context or the freed level, and a second Shutdown releases nothing.
bool ended = false;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const WNDCLASSA windowClass = {
      .style = CS_HREDRAW | CS_VREDRAW,
      .lpfnWndProc = WindowProc,
      .cbClsExtra = 0,
      .cbWndExtra = 0,
      .hInstance = instance,
      .hIcon = nullptr,
      .hCursor = LoadCursorA(nullptr, IDC_ARROW),
      .hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BACKGROUND + 1)),
      .lpszMenuName = nullptr,
      .lpszClassName = kClassName,
  };
  // Without a window there is nothing to show: say so rather than end as
  // if all went well.
  if (RegisterClassA(&windowClass) == 0) {
    MessageBoxA(nullptr, "Error creating the main window (no display?)", nullptr, MB_OK);
    return 1;
  }
  HWND window = CreateWindowExA(0, kClassName, kTitle,
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                                640, 480, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    MessageBoxA(nullptr, "Error creating the main window (no display?)", nullptr, MB_OK);
    return 1;
  }
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);

  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      return 0;
    case WM_DESTROY:
      Shutdown();
      return 0;
    case WM_SIZE:
      if (!ended) SetupProjection();
      return 0;
    case WM_PAINT:
      if (ended) {
        ValidateRect(window, nullptr);  // nothing left to draw with
      } else {
        OnPaint(window);
      }
      return 0;
    case WM_CHAR:
      if (!ended) OnKey(window, static_cast<int>(wParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void OnCreate(HWND window) {
  DeviceContext = GetDC(window);
  SetupPixelFormat(DeviceContext);
  CheckPalette(DeviceContext);
  RenderContext = wglCreateContext(DeviceContext);
  wglMakeCurrent(DeviceContext, RenderContext);
  InitGlState();
  // Both show their own message when they fail.
  if (OpenMap(MapPath) != 0 || LoadLevel() != 0) exit(1);
  PlaceCamera();
}

void OnPaint(HWND window) {
  DrawLevel();
  SwapBuffers(DeviceContext);
  ValidateRect(window, nullptr);
}

void Shutdown() {
  if (ended) return;
  ended = true;
  ReleaseGlContext();
  FreeLevel();
  PostQuitMessage(0);
}
