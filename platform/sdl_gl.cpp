// The OpenGL half of the SDL stand-in: the pixel formats offered, the one
// the window was given and what the display really made of it, the OpenGL
// contexts, and presenting frames.
#ifndef _WIN32

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/sdl_state.h"
#include "platform/sdl_win32_testing.h"

namespace {

// Every format is RGB 8/8/8 without alpha, stencil or accumulation buffer:
// all the program asks for. Format n is Formats[n - 1].
struct PixelFormat {
  bool doubleBuffer;
  int depthBits;
};

constexpr PixelFormat Formats[] = {
    {.doubleBuffer = true, .depthBits = 32},  {.doubleBuffer = true, .depthBits = 24},
    {.doubleBuffer = true, .depthBits = 16},  {.doubleBuffer = false, .depthBits = 32},
    {.doubleBuffer = false, .depthBits = 24}, {.doubleBuffer = false, .depthBits = 16},
};
constexpr int FormatCount = static_cast<int>(std::size(Formats));

struct GlContext {
  HGLRC handle;
  SDL_GLContext context;
};

std::vector<GlContext> GlContexts;

// The context made to learn what the display gave the window, kept for the
// first wglCreateContext: making another costs the start-up a few ms.
SDL_GLContext SpareContext = nullptr;

bool PretendPalette = false;

bool ApplyGlAttributes(const PixelFormat& format) {
  SDL_GL_ResetAttributes();
  const struct {
    SDL_GLattr attribute;
    int value;
  } settings[] = {
      {SDL_GL_RED_SIZE, 8},      {SDL_GL_GREEN_SIZE, 8},
      {SDL_GL_BLUE_SIZE, 8},     {SDL_GL_ALPHA_SIZE, 0},
      {SDL_GL_STENCIL_SIZE, 0},  {SDL_GL_DEPTH_SIZE, format.depthBits},
      {SDL_GL_DOUBLEBUFFER, format.doubleBuffer ? 1 : 0},
  };
  for (const auto& setting : settings) {
    if (SDL_GL_SetAttribute(setting.attribute, setting.value) != 0) {
      fprintf(stderr, "Cannot ask for an OpenGL pixel format: %s\n", SDL_GetError());
      return false;
    }
  }
  return true;
}

// Whether the display has the format: SDL refuses to create a GL window for
// a format it cannot find ("Couldn't find matching GLX visual").
bool FormatAvailable(const PixelFormat& format) {
  if (!ApplyGlAttributes(format)) return false;
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (probe == nullptr) {
    SDL_ClearError();
    return false;
  }
  SDL_DestroyWindow(probe);
  return true;
}

PIXELFORMATDESCRIPTOR Nominal(const PixelFormat& format) {
  PIXELFORMATDESCRIPTOR description{};
  description.nSize = sizeof description;
  description.nVersion = 1;
  description.dwFlags =
      PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (format.doubleBuffer ? PFD_DOUBLEBUFFER : 0);
  description.iPixelType = PFD_TYPE_RGBA;
  description.cColorBits = 24;
  description.cRedBits = 8;
  description.cRedShift = 16;
  description.cGreenBits = 8;
  description.cGreenShift = 8;
  description.cBlueBits = 8;
  description.cDepthBits = static_cast<BYTE>(format.depthBits);
  description.iLayerType = PFD_MAIN_PLANE;
  return description;
}

void RestoreCurrent(SDL_Window* window, SDL_GLContext context) {
  if (SDL_GL_MakeCurrent(context != nullptr ? window : nullptr, context) != 0) {
    fprintf(stderr, "Cannot make the OpenGL context current again: %s\n", SDL_GetError());
  }
}

// What the display really gave the window: SDL can only say with a context
// of the window current, so one is made for the question and kept as the
// spare for the first wglCreateContext.
bool QueryObtained(PIXELFORMATDESCRIPTOR& description) {
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previous = SDL_GL_GetCurrentContext();
  SDL_GLContext probe = SDL_GL_CreateContext(MainWindow.sdlWindow);
  if (probe == nullptr) {
    fprintf(stderr, "Cannot create an OpenGL context: %s\n", SDL_GetError());
    return false;
  }
  struct {
    SDL_GLattr attribute;
    BYTE* field;
  } const fields[] = {
      {SDL_GL_RED_SIZE, &description.cRedBits},
      {SDL_GL_GREEN_SIZE, &description.cGreenBits},
      {SDL_GL_BLUE_SIZE, &description.cBlueBits},
      {SDL_GL_ALPHA_SIZE, &description.cAlphaBits},
      {SDL_GL_DEPTH_SIZE, &description.cDepthBits},
      {SDL_GL_STENCIL_SIZE, &description.cStencilBits},
      {SDL_GL_ACCUM_RED_SIZE, &description.cAccumRedBits},
      {SDL_GL_ACCUM_GREEN_SIZE, &description.cAccumGreenBits},
      {SDL_GL_ACCUM_BLUE_SIZE, &description.cAccumBlueBits},
      {SDL_GL_ACCUM_ALPHA_SIZE, &description.cAccumAlphaBits},
  };
  int value = 0;
  for (const auto& field : fields) {
    // A value SDL cannot tell keeps the one asked for.
    if (SDL_GL_GetAttribute(field.attribute, &value) == 0 && value >= 0 && value <= 255) {
      *field.field = static_cast<BYTE>(value);
    }
  }
  if (SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &value) == 0) {
    description.dwFlags = (description.dwFlags & ~PFD_DOUBLEBUFFER) |
                          (value != 0 ? PFD_DOUBLEBUFFER : 0);
  }
  SDL_ClearError();
  if (SpareContext != nullptr) SDL_GL_DeleteContext(SpareContext);
  SpareContext = probe;
  RestoreCurrent(previousWindow, previous);

  description.cColorBits =
      static_cast<BYTE>(description.cRedBits + description.cGreenBits + description.cBlueBits);
  description.cAccumBits =
      static_cast<BYTE>(description.cAccumRedBits + description.cAccumGreenBits +
                        description.cAccumBlueBits + description.cAccumAlphaBits);
  int bitsPerPixel = 0;
  Uint32 red = 0, green = 0, blue = 0, alpha = 0;
  if (SDL_PixelFormatEnumToMasks(SDL_GetWindowPixelFormat(MainWindow.sdlWindow), &bitsPerPixel,
                                 &red, &green, &blue, &alpha) == SDL_TRUE) {
    auto shift = [](Uint32 mask) { return static_cast<BYTE>(mask != 0 ? std::countr_zero(mask) : 0); };
    description.cRedShift = shift(red);
    description.cGreenShift = shift(green);
    description.cBlueShift = shift(blue);
    description.cAlphaShift = shift(alpha);
  }
  return true;
}

// The set format as the display has it now: a window whose pixels are
// indexed needs a palette.
PIXELFORMATDESCRIPTOR DescribeSetFormat() {
  PIXELFORMATDESCRIPTOR description = MainWindow.obtained;
  Uint32 windowFormat = SDL_GetWindowPixelFormat(MainWindow.sdlWindow);
  bool indexed = windowFormat != SDL_PIXELFORMAT_UNKNOWN && SDL_ISPIXELFORMAT_INDEXED(windowFormat);
  if (indexed || PretendPalette) {
    int bits = indexed ? static_cast<int>(SDL_BITSPERPIXEL(windowFormat)) : 8;
    description.dwFlags |= PFD_NEED_PALETTE;
    description.iPixelType = PFD_TYPE_COLORINDEX;
    description.cColorBits = static_cast<BYTE>(bits);
    description.cRedBits = description.cRedShift = 0;
    description.cGreenBits = description.cGreenShift = 0;
    description.cBlueBits = description.cBlueShift = 0;
    description.cAlphaBits = description.cAlphaShift = 0;
  }
  return description;
}

GlContext* FindContext(HGLRC handle) {
  if (handle == nullptr) return nullptr;
  for (GlContext& context : GlContexts) {
    if (context.handle == handle) return &context;
  }
  return nullptr;
}

bool HasFormat(HDC dc) {
  return IsLiveDc(dc) && MainWindow.pixelFormat != 0 && MainWindow.sdlWindow != nullptr;
}

}  // namespace

void PretendPalettePixelFormat(bool on) { PretendPalette = on; }

void DeleteAllGlContexts() {
  for (const GlContext& context : GlContexts) SDL_GL_DeleteContext(context.context);
  GlContexts.clear();
  if (SpareContext != nullptr) SDL_GL_DeleteContext(SpareContext);
  SpareContext = nullptr;
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
  if (!IsLiveDc(dc) || request == nullptr) return 0;
  // Double buffering first, as asked; then the depth asked for, else the
  // deepest there is.
  bool doubleFirst = (request->dwFlags & (PFD_DOUBLEBUFFER | PFD_DOUBLEBUFFER_DONTCARE)) != 0;
  const int depths[] = {request->cDepthBits, 32, 24, 16};
  for (bool doubleBuffer : {doubleFirst, !doubleFirst}) {
    for (size_t i = 0; i < std::size(depths); ++i) {
      int depth = depths[i];
      if (i > 0 && depth == depths[0]) continue;  // already tried
      for (int format = 1; format <= FormatCount; ++format) {
        const PixelFormat& offered = Formats[format - 1];
        if (offered.doubleBuffer == doubleBuffer && offered.depthBits == depth &&
            FormatAvailable(offered)) {
          return format;
        }
      }
    }
  }
  return 0;
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
  if (!IsLiveDc(dc) || format < 1 || format > FormatCount) return FALSE;
  // Like Win32, a window's format is set once.
  if (MainWindow.pixelFormat != 0) return format == MainWindow.pixelFormat ? TRUE : FALSE;
  const PixelFormat& chosen = Formats[format - 1];
  if (!ApplyGlAttributes(chosen)) return FALSE;

  // A window shown before any format was set has SDL's default one and
  // cannot change it: it is made anew.
  bool wasShown = MainWindow.sdlWindow != nullptr && MainWindow.visible;
  if (MainWindow.sdlWindow != nullptr) {
    SDL_DestroyWindow(MainWindow.sdlWindow);
    MainWindow.sdlWindow = nullptr;
    MainWindow.sdlWindowId = 0;
  }
  if (!CreateSdlWindow()) {
    MainWindow.visible = false;
    return FALSE;
  }
  PIXELFORMATDESCRIPTOR obtained = Nominal(chosen);
  if (!QueryObtained(obtained)) {
    SDL_DestroyWindow(MainWindow.sdlWindow);
    MainWindow.sdlWindow = nullptr;
    MainWindow.sdlWindowId = 0;
    MainWindow.visible = false;
    return FALSE;
  }
  MainWindow.pixelFormat = format;
  MainWindow.obtained = obtained;
  if (wasShown) {
    ShowSdlWindow();
    InvalidateAll();
  }
  return TRUE;
}

int WINAPI GetPixelFormat(HDC dc) { return IsLiveDc(dc) ? MainWindow.pixelFormat : 0; }

int WINAPI DescribePixelFormat(HDC dc, int format, UINT size,
                               PIXELFORMATDESCRIPTOR* description) {
  if (!IsLiveDc(dc) || format < 1 || format > FormatCount) return 0;
  if (description != nullptr) {
    PIXELFORMATDESCRIPTOR described =
        format == MainWindow.pixelFormat ? DescribeSetFormat() : Nominal(Formats[format - 1]);
    memcpy(description, &described, std::min<size_t>(size, sizeof described));
  }
  return FormatCount;
}

BOOL WINAPI SwapBuffers(HDC dc) {
  if (!HasFormat(dc)) return FALSE;
  SDL_GL_SwapWindow(MainWindow.sdlWindow);
  return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc) {
  if (!HasFormat(dc) || !ApplyGlAttributes(Formats[MainWindow.pixelFormat - 1])) return nullptr;
  SDL_GLContext context = SpareContext;
  SpareContext = nullptr;
  if (context == nullptr) {
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    context = SDL_GL_CreateContext(MainWindow.sdlWindow);
    if (context == nullptr) {
      fprintf(stderr, "Cannot create an OpenGL context: %s\n", SDL_GetError());
      return nullptr;
    }
    // SDL makes the new context current; wglCreateContext leaves that alone.
    RestoreCurrent(previousWindow, previous);
  }
  HGLRC handle = reinterpret_cast<HGLRC>(NewHandle());
  GlContexts.push_back(GlContext{handle, context});
  return handle;
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC handle) {
  if (handle == nullptr) {  // release whatever is current; the device context does not matter
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GL_GetCurrentContext() == nullptr) return TRUE;
    if (SDL_GL_MakeCurrent(nullptr, nullptr) != 0) {
      fprintf(stderr, "Cannot release the OpenGL context: %s\n", SDL_GetError());
      return FALSE;
    }
    return TRUE;
  }
  GlContext* context = FindContext(handle);
  if (context == nullptr || !HasFormat(dc)) return FALSE;
  if (SDL_GL_MakeCurrent(MainWindow.sdlWindow, context->context) != 0) {
    fprintf(stderr, "Cannot make the OpenGL context current: %s\n", SDL_GetError());
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC handle) {
  GlContext* context = FindContext(handle);
  if (context == nullptr) return FALSE;
  SDL_GL_DeleteContext(context->context);  // releases it first when current
  GlContexts.erase(GlContexts.begin() + (context - GlContexts.data()));
  return TRUE;
}

PROC WINAPI wglGetProcAddress(LPCSTR name) {
  if (name == nullptr || SDL_GL_GetCurrentContext() == nullptr) return nullptr;
  return reinterpret_cast<PROC>(SDL_GL_GetProcAddress(name));
}

#endif  // _WIN32
