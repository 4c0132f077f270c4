// Pixel formats and OpenGL contexts in process, on SDL's offscreen driver
// (OpenGL through EGL, single-buffered). The depth a real X display gives
// is checked under Xvfb.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gl.h"
#include "platform/sdl_win32_testing.h"

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// What the program asks for: RGBA, 24 colour bits, 32 depth bits, double
// buffered.
const PIXELFORMATDESCRIPTOR Request = {
    .nSize = sizeof(PIXELFORMATDESCRIPTOR),
    .nVersion = 1,
    .dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    .iPixelType = PFD_TYPE_RGBA,
    .cColorBits = 24,
    .cDepthBits = 32,
    .iLayerType = PFD_MAIN_PLANE,
};

class GlTest : public testing::Test {
 protected:
  void SetUp() override {
    static const ATOM atom = [] {
      const WNDCLASSA windowClass = {.lpfnWndProc = PlainProc, .lpszClassName = "GlTest"};
      return RegisterClassA(&windowClass);
    }();
    ASSERT_NE(atom, 0);
    window = CreateWindowExA(0, "GlTest", "GL test", WS_OVERLAPPEDWINDOW, 0, 0, 64, 48, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
  }

  void TearDown() override {
    PretendPalettePixelFormat(false);
    DestroyWindow(window);
  }

  void SetFormat() {
    int format = ChoosePixelFormat(dc, &Request);
    ASSERT_GT(format, 0);
    ASSERT_TRUE(SetPixelFormat(dc, format, &Request));
  }

  HWND window = nullptr;
  HDC dc = nullptr;
};

TEST_F(GlTest, PixelFormatIsChosenSetAndDescribedAsObtained) {
  PIXELFORMATDESCRIPTOR description{};
  EXPECT_EQ(GetPixelFormat(dc), 0);
  EXPECT_EQ(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof description, &description), 0)
      << "no format is set";
  EXPECT_EQ(description.nSize, 0) << "and nothing was written";

  int format = ChoosePixelFormat(dc, &Request);
  ASSERT_GT(format, 0);
  int count = DescribePixelFormat(dc, format, 0, nullptr);
  EXPECT_GE(count, format);
  EXPECT_EQ(DescribePixelFormat(dc, count + 1, sizeof description, &description), 0);
  ASSERT_EQ(DescribePixelFormat(dc, format, sizeof description, &description), count);
  EXPECT_EQ(description.cDepthBits, 32) << "the request's depth, which this display has";
  EXPECT_NE(description.dwFlags & PFD_DOUBLEBUFFER, 0u) << "as requested";

  ASSERT_TRUE(SetPixelFormat(dc, format, &Request));
  EXPECT_EQ(GetPixelFormat(dc), format);
  EXPECT_TRUE(SetPixelFormat(dc, format, &Request)) << "the same format again";
  EXPECT_FALSE(SetPixelFormat(dc, format % count + 1, &Request)) << "a window's format is set once";

  description = {};
  ASSERT_EQ(DescribePixelFormat(dc, format, sizeof description, &description), count);
  EXPECT_EQ(description.nSize, sizeof description);
  EXPECT_EQ(description.dwFlags & (PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL),
            PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL);
  EXPECT_EQ(description.dwFlags & PFD_NEED_PALETTE, 0u);
  EXPECT_EQ(description.dwFlags & PFD_DOUBLEBUFFER, 0u)
      << "what was obtained: the offscreen driver has a single buffer";
  EXPECT_EQ(description.iPixelType, PFD_TYPE_RGBA);
  EXPECT_EQ(description.cColorBits, 24);
  EXPECT_EQ(description.cRedBits, 8);
  EXPECT_GE(description.cDepthBits, 16);
  EXPECT_EQ(description.cStencilBits, 0);

  // A short buffer gets only its own bytes.
  unsigned char bytes[sizeof(PIXELFORMATDESCRIPTOR)];
  memset(bytes, 0xAB, sizeof bytes);
  DescribePixelFormat(dc, format, 8, reinterpret_cast<PIXELFORMATDESCRIPTOR*>(bytes));
  EXPECT_EQ(bytes[0], sizeof(PIXELFORMATDESCRIPTOR));
  EXPECT_EQ(bytes[8], 0xAB);
  EXPECT_EQ(bytes[sizeof bytes - 1], 0xAB);
}

TEST_F(GlTest, TheTestHookMakesTheSetFormatNeedAPalette) {
  PretendPalettePixelFormat(true);
  PIXELFORMATDESCRIPTOR description{};
  EXPECT_EQ(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof description, &description), 0)
      << "still nothing to describe before a format is set";
  SetFormat();
  ASSERT_GT(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof description, &description), 0);
  EXPECT_NE(description.dwFlags & PFD_NEED_PALETTE, 0u);
  EXPECT_EQ(description.iPixelType, PFD_TYPE_COLORINDEX);
  EXPECT_EQ(description.cColorBits, 8);

  PretendPalettePixelFormat(false);
  ASSERT_GT(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof description, &description), 0);
  EXPECT_EQ(description.dwFlags & PFD_NEED_PALETTE, 0u);
  EXPECT_EQ(description.iPixelType, PFD_TYPE_RGBA);
}

TEST_F(GlTest, ContextIsCreatedMadeCurrentReleasedAndDeleted) {
  EXPECT_EQ(wglCreateContext(dc), nullptr) << "no pixel format yet";
  SetFormat();
  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr) << "creating does not make it current";

  ASSERT_TRUE(wglMakeCurrent(dc, context));
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  unsigned char pixel[4] = {};
  glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 0x33);
  EXPECT_EQ(pixel[1], 0x66);
  EXPECT_EQ(pixel[2], 0x99);
  EXPECT_TRUE(SwapBuffers(dc));

  EXPECT_TRUE(wglMakeCurrent(dc, nullptr));
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr)) << "releasing nothing succeeds";
  EXPECT_TRUE(wglDeleteContext(context));
  EXPECT_FALSE(wglDeleteContext(context)) << "deleted already";
  EXPECT_FALSE(wglMakeCurrent(dc, context));
  EXPECT_FALSE(wglDeleteContext(nullptr));

  HGLRC current = wglCreateContext(dc);
  ASSERT_TRUE(wglMakeCurrent(dc, current));
  EXPECT_TRUE(wglDeleteContext(current)) << "deleting the current context releases it";
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
}

TEST_F(GlTest, FormatSetAfterShowingRemakesTheShownWindow) {
  EXPECT_FALSE(ShowWindow(window, SW_SHOW));  // with SDL's default format
  SetFormat();
  EXPECT_TRUE(ShowWindow(window, SW_SHOW)) << "still shown";
  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(wglMakeCurrent(dc, context));
  EXPECT_TRUE(SwapBuffers(dc));
  EXPECT_TRUE(wglDeleteContext(context));
}

TEST_F(GlTest, ContextsEndWithTheirWindow) {
  SetFormat();
  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(wglMakeCurrent(dc, context));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(wglDeleteContext(context));
  EXPECT_FALSE(SwapBuffers(dc));
  EXPECT_EQ(GetPixelFormat(dc), 0);
  EXPECT_EQ(DescribePixelFormat(dc, 1, 0, nullptr), 0);
  EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
}

}  // namespace
