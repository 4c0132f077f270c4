// The window layer in process, on SDL's offscreen driver: the order of
// messages, repaints, the quit request, characters from SDL's events,
// closing, pixel formats and contexts, and what it refuses.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gl.h"
#include "tests/unit/support.h"

namespace {

struct Logged {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Logged&) const = default;
};
std::vector<Logged> Log;

LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log.push_back({message, wParam, lParam});
  if (message == WM_PAINT) ValidateRect(window, nullptr);
  if (message == WM_DESTROY) PostQuitMessage(7);
  return message == WM_PAINT || message == WM_DESTROY
             ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> Messages() {
  std::vector<UINT> messages;
  for (const Logged& logged : Log) messages.push_back(logged.message);
  return messages;
}

void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }
void PushText(const char* text) {
  SDL_Event event{.type = SDL_TEXTINPUT};
  strncpy(event.text.text, text, sizeof event.text.text - 1);
  Push(event);
}
void PushKey(SDL_Keycode key, Uint8 repeat = 0) {
  SDL_Event event{.type = SDL_KEYDOWN};
  event.key.repeat = repeat;
  event.key.keysym.sym = key;
  Push(event);
}

// Runs the message loop until the quit request; returns its code.
WPARAM Loop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return msg.wParam;
}

class Window : public testing::Test {
 protected:
  void SetUp() override {
    Log.clear();
    window = OpenWindow(LoggingProc);
    ASSERT_NE(window, nullptr);
  }
  HWND window = nullptr;
};

}  // namespace

TEST_F(Window, CreationSizeAndFirstPaintComeInOrder) {
  EXPECT_EQ(Log, (std::vector<Logged>{{WM_CREATE, 0, 0}, {WM_SIZE, 0, MAKELPARAM(640, 480)}}));
  RECT client;
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  UpdateWindow(window);
  EXPECT_EQ(Log.size(), 2u) << "a hidden window is not painted";
  EXPECT_FALSE(ShowWindow(window, SW_SHOW));
  EXPECT_TRUE(UpdateWindow(window));
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CREATE, WM_SIZE, WM_PAINT}));
  UpdateWindow(window);
  EXPECT_EQ(Log.size(), 3u) << "the paint validated the window";
  EXPECT_TRUE(ShowWindow(window, SW_SHOW));

  // Repaints coalesce and come after posted messages and the quit request;
  // validating part of what is invalid leaves the rest to paint.
  Log.clear();
  RECT corner{0, 0, 10, 10}, both{0, 0, 200, 150};
  InvalidateRect(window, &corner, FALSE);
  InvalidateRect(window, &both, FALSE);
  MSG msg{.hwnd = window, .message = WM_KEYDOWN, .wParam = VK_ESCAPE, .lParam = 1};
  TranslateMessage(&msg);
  PostQuitMessage(0);
  EXPECT_EQ(Loop(), 0u);
  ValidateRect(window, &corner);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CHAR}));
  EXPECT_EQ(msg.message, WM_PAINT);
  DestroyWindow(window);
}

TEST_F(Window, TextAndKeysBecomeCharactersAndQuitClosesTheWindow) {
  Log.clear();
  PushText("8w");
  PushKey(SDLK_ESCAPE);
  PushText("\xC3\xA9\xE2\x82\xAC");  // é is Latin-1 233; the euro sign has no code there
  PushKey(SDLK_a);                   // its text came already: no WM_KEYDOWN
  PushKey(SDLK_BACKSPACE);
  PushKey(SDLK_TAB);
  PushKey(SDLK_RETURN, 1);  // auto-repeat
  PushKey(SDLK_KP_ENTER);
  Push(SDL_Event{.type = SDL_QUIT});  // SIGTERM's way in: WM_CLOSE
  PushText("x");                      // goes with the window
  EXPECT_EQ(Loop(), 7u);
  constexpr LPARAM once = 1, again = 1 | (LPARAM{1} << 30);
  EXPECT_EQ(Log, (std::vector<Logged>{
                     {WM_CHAR, '8', once}, {WM_CHAR, 'w', once}, {WM_KEYDOWN, VK_ESCAPE, once},
                     {WM_CHAR, 27, once}, {WM_CHAR, 233, once}, {WM_CHAR, '?', once},
                     {WM_KEYDOWN, VK_BACK, once}, {WM_CHAR, 8, once}, {WM_KEYDOWN, VK_TAB, once},
                     {WM_CHAR, 9, once}, {WM_KEYDOWN, VK_RETURN, again}, {WM_CHAR, 13, again},
                     {WM_KEYDOWN, VK_RETURN, once}, {WM_CHAR, 13, once}, {WM_CLOSE, 0, 0},
                     {WM_DESTROY, 0, 0}}));
  // Nothing reaches a destroyed window, and with none nothing can come.
  MSG msg{.hwnd = window, .message = WM_CHAR, .wParam = 'y'};
  EXPECT_EQ(DispatchMessageA(&msg), 0);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1);
  EXPECT_FALSE(InvalidateRect(window, nullptr, FALSE) || DestroyWindow(window) ||
               ShowWindow(window, SW_SHOW) || GetDC(window) != nullptr);
  EXPECT_EQ(Log.size(), 16u);
  HWND next = OpenWindow(LoggingProc);
  EXPECT_NE(next, nullptr);
  EXPECT_NE(next, window) << "handles are never reused";
  DestroyWindow(next);
}

TEST_F(Window, MouseMovesCoalesceAndATimerComesOnceDue) {
  Log.clear();
  SDL_Event motion{.type = SDL_MOUSEMOTION};
  for (int x : {30, -5}) {  // the move waiting takes the next, outside the window too
    motion.motion.x = x;
    Push(motion);
  }
  EXPECT_EQ(SetTimer(window, 4, 10, [](HWND, UINT, UINT_PTR, DWORD) {}), 0u) << "no TIMERPROC";
  ASSERT_EQ(SetTimer(window, 5, 10, nullptr), 1u);
  const DWORD start = GetTickCount();
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageA(&msg);
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_GE(GetTickCount() - start, 10u);
  EXPECT_EQ(Log, (std::vector<Logged>{{WM_MOUSEMOVE, 0, MAKELPARAM(WORD(-5), 0)}}));
  DestroyWindow(window);
}

TEST_F(Window, RefusesWhatItCannotDo) {
  // The fixture's class, named in other case: class names ignore case.
  const std::string name = "TEST" + std::to_string(reinterpret_cast<uintptr_t>(&LoggingProc));
  const WNDCLASSA classes[] = {{.lpfnWndProc = LoggingProc, .lpszClassName = name.c_str()},
                               {.lpfnWndProc = LoggingProc},
                               {.lpszClassName = "NoProcedure"}};
  for (const WNDCLASSA& c : classes) EXPECT_EQ(RegisterClassA(&c), 0);
  EXPECT_EQ(RegisterClassA(nullptr), 0);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr,
                            nullptr), nullptr);
  EXPECT_EQ(OpenWindow(LoggingProc), nullptr) << "one window only";
  MSG msg;
  EXPECT_EQ(GetMessageA(&msg, window, 0, 0), -1);
  EXPECT_EQ(GetMessageA(&msg, nullptr, WM_KEYDOWN, WM_CHAR), -1);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(32513)), nullptr);
  DestroyWindow(window);
  EXPECT_EQ(CreateWindowExA(0, name.c_str(), "", 0, 0, 0, 9, 9, window, nullptr, nullptr,
                            nullptr), nullptr) << "no child windows";
}

TEST_F(Window, PixelFormatsAndContexts) {
  HDC dc = GetDC(window);
  const PIXELFORMATDESCRIPTOR request = {.nSize = 40, .nVersion = 1, .dwFlags = 0x25,
                                         .cColorBits = 24, .cDepthBits = 32};
  PIXELFORMATDESCRIPTOR d{};
  EXPECT_EQ(wglCreateContext(dc), nullptr) << "no format yet";
  const int format = ChoosePixelFormat(dc, &request);
  const int count = DescribePixelFormat(dc, format, 0, nullptr);
  ASSERT_GT(format, 0);
  ASSERT_EQ(DescribePixelFormat(dc, format, sizeof d, &d), count);
  EXPECT_EQ(d.cDepthBits, 32);
  EXPECT_EQ(d.dwFlags, 0x25u);
  ASSERT_TRUE(SetPixelFormat(dc, format, &request));
  EXPECT_EQ(GetPixelFormat(dc), format);
  EXPECT_FALSE(SetPixelFormat(dc, format % count + 1, &request)) << "set once";
  ASSERT_GT(DescribePixelFormat(dc, format, sizeof d, &d), 0);
  // What was obtained: the offscreen driver has a single buffer.
  EXPECT_EQ(d.dwFlags, 0x24u);
  EXPECT_EQ(d.iPixelType, PFD_TYPE_RGBA);
  EXPECT_EQ(d.cColorBits, 24);

  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr) << "creating does not make it current";
  ASSERT_TRUE(wglMakeCurrent(dc, context));
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(PixelAt(10, 10), 0x336699u);
  EXPECT_TRUE(SwapBuffers(dc));
  EXPECT_TRUE(wglMakeCurrent(dc, nullptr));
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  EXPECT_TRUE(wglDeleteContext(context));
  EXPECT_FALSE(wglDeleteContext(context) || wglMakeCurrent(dc, context) ||
               wglDeleteContext(nullptr));
  ASSERT_TRUE(wglMakeCurrent(dc, wglCreateContext(dc)));
  // Contexts end with their window.
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  EXPECT_FALSE(SwapBuffers(dc));
  EXPECT_EQ(GetPixelFormat(dc), 0);
}

TEST(WindowLayerDeathTest, WithoutADisplayNoWindowAndMessagesGoToStderr) {
  unsetenv("DISPLAY");
  unsetenv("SDL_VIDEODRIVER");
  EXPECT_EXIT(exit(OpenWindow(LoggingProc) == nullptr ? 0 : 1), testing::ExitedWithCode(0),
              "No display to open a window on");
  setenv("DISPLAY", ":4093", 1);
  EXPECT_EXIT(exit(OpenWindow(LoggingProc) == nullptr ? 0 : 1), testing::ExitedWithCode(0),
              "Cannot open the display \":4093\"");
  setenv("SDL_VIDEODRIVER", "x11,OFFSCREEN", 1);  // asked for by name, among others
  EXPECT_EXIT(exit(OpenWindow(LoggingProc) != nullptr ? 0 : 1), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(exit(MessageBoxA(nullptr, "Something (not found?)", nullptr, MB_OK)),
              testing::ExitedWithCode(0), "Something \\(not found\\?\\)\n");
}
