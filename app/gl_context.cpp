// The window's device context, its pixel format and the one OpenGL
// context, bound at window creation and released by Shutdown.
#include "app/gl_context.h"

#include "app/app.h"

HDC DeviceContext = nullptr;
HGLRC RenderContext = nullptr;

namespace {

// Double-buffered RGBA for a window, 24 colour bits and 32 depth bits. The
// system picks the nearest format it has.
const PIXELFORMATDESCRIPTOR kPixelFormatRequest = {
    .nSize = sizeof(PIXELFORMATDESCRIPTOR),
    .nVersion = 1,
    .dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    .iPixelType = PFD_TYPE_RGBA,
    .cColorBits = 24,
    .cRedBits = 0,
    .cRedShift = 0,
    .cGreenBits = 0,
    .cGreenShift = 0,
    .cBlueBits = 0,
    .cBlueShift = 0,
    .cAlphaBits = 0,
    .cAlphaShift = 0,
    .cAccumBits = 0,
    .cAccumRedBits = 0,
    .cAccumGreenBits = 0,
    .cAccumBlueBits = 0,
    .cAccumAlphaBits = 0,
    .cDepthBits = 32,
    .cStencilBits = 0,
    .cAuxBuffers = 0,
    .iLayerType = PFD_MAIN_PLANE,
    .bReserved = 0,
    .dwLayerMask = 0,
    .dwVisibleMask = 0,
    .dwDamageMask = 0,
};
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

}  // namespace

void SetupPixelFormat(HDC dc) {
  int format = ChoosePixelFormat(dc, &kPixelFormatRequest);
  SetPixelFormat(dc, format, &kPixelFormatRequest);
}

void CheckPalette(HDC dc) {
  // When no format could be set the description stays zero: no palette.
  PIXELFORMATDESCRIPTOR description = {};
  int format = GetPixelFormat(dc);
  DescribePixelFormat(dc, format, sizeof(description), &description);
  if (description.dwFlags & PFD_NEED_PALETTE) {
    MessageBoxA(nullptr, "Error: this window wants a palette! (no more implemented)", nullptr,
                MB_OK);
    Shutdown();
  }
}

void ReleaseGlContext() {
  wglMakeCurrent(DeviceContext, nullptr);
  wglDeleteContext(RenderContext);
  RenderContext = nullptr;
}
