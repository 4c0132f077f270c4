// A small program on the window layer, for tests that need a display of
// their own (keys typed under Xvfb, the close box, a message box): the test
// starts it under its Xvfb and reads what it prints.
//
//   platform_scenario window      a 640x480 window, painted a fixed colour;
//                                 prints each message it gets, one a line
//   platform_scenario messagebox  shows a message box, prints "result N"
//
// Ends with the quit code (0) once the window is destroyed.
#include <cstdio>
#include <cstring>

#include "platform/gl.h"

namespace {

HDC Dc;
HGLRC Context;

void Say(const char* format, auto... values) {
  printf(format, values...);
  printf("\n");
  fflush(stdout);  // the test reads while the program runs
}

void SetUpGl(HWND window) {
  Dc = GetDC(window);
  const PIXELFORMATDESCRIPTOR request = {
      .nSize = sizeof(PIXELFORMATDESCRIPTOR),
      .nVersion = 1,
      .dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
      .iPixelType = PFD_TYPE_RGBA,
      .cColorBits = 24,
      .cDepthBits = 32,
  };
  int format = ChoosePixelFormat(Dc, &request);
  BOOL set = SetPixelFormat(Dc, format, &request);
  PIXELFORMATDESCRIPTOR obtained{};
  int count = DescribePixelFormat(Dc, GetPixelFormat(Dc), sizeof obtained, &obtained);
  Say("format %d set %d count %d flags 0x%x colour %d depth %d stencil %d", format, set, count,
      static_cast<unsigned>(obtained.dwFlags), obtained.cColorBits, obtained.cDepthBits,
      obtained.cStencilBits);
  Context = wglCreateContext(Dc);
  Say("context %s current %d", Context != nullptr ? "made" : "none",
      wglMakeCurrent(Dc, Context));
}

LRESULT CALLBACK ScenarioProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      Say("WM_CREATE");
      SetUpGl(window);
      return 0;
    case WM_SIZE:
      Say("WM_SIZE %u %u %u", static_cast<unsigned>(wParam), LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT:
      Say("WM_PAINT");
      glClearColor(0.2f, 0.4f, 0.6f, 1.0f);  // 0x336699
      glClear(GL_COLOR_BUFFER_BIT);
      SwapBuffers(Dc);
      ValidateRect(window, nullptr);
      return 0;
    case WM_CHAR:
      Say("WM_CHAR %u", static_cast<unsigned>(wParam));
      return 0;
    case WM_KEYDOWN:
      Say("WM_KEYDOWN %u%s", static_cast<unsigned>(wParam),
          (lParam & (LPARAM{1} << 30)) != 0 ? " repeat" : "");
      return 0;
    case WM_CLOSE:
      Say("WM_CLOSE");
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
      Say("WM_DESTROY");
      wglMakeCurrent(Dc, nullptr);
      wglDeleteContext(Context);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int Window() {
  const WNDCLASSA windowClass = {
      .style = CS_HREDRAW | CS_VREDRAW,
      .lpfnWndProc = ScenarioProc,
      .hCursor = LoadCursorA(nullptr, IDC_ARROW),
      .hbrBackground = (HBRUSH)(COLOR_BACKGROUND + 1),
      .lpszClassName = "MivoScenario",
  };
  if (RegisterClassA(&windowClass) == 0) return 10;
  HWND window = CreateWindowExA(0, "MivoScenario", "Platform scenario",
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 640,
                                480, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return 11;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  Say("shown");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) != 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Say("quit %d", static_cast<int>(msg.wParam));
  return static_cast<int>(msg.wParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "window") == 0) return Window();
  if (argc == 2 && strcmp(argv[1], "messagebox") == 0) {
    Say("result %d", MessageBoxA(nullptr, "A message for the scenario.", nullptr, MB_OK));
    return 0;
  }
  fprintf(stderr, "usage: platform_scenario window | messagebox\n");
  return 2;
}
