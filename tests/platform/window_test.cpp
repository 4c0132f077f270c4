// The window layer in process, on SDL's offscreen driver that the tests run
// with: the order of messages, repaints, the quit request, characters,
// closing, and what it refuses.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

struct Logged {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Logged&) const = default;
};

void PrintTo(const Logged& logged, std::ostream* out) {
  *out << "{message " << logged.message << ", wParam " << logged.wParam << ", lParam 0x"
       << std::hex << logged.lParam << std::dec << "}";
}

std::vector<Logged> Log;
HDC DcAtCreate;

LRESULT CALLBACK TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log.push_back({message, wParam, lParam});
  switch (message) {
    case WM_CREATE:
      DcAtCreate = GetDC(window);
      return 0;
    case WM_PAINT:
      ValidateRect(window, nullptr);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(7);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

std::vector<UINT> MessagesLogged() {
  std::vector<UINT> messages;
  for (const Logged& logged : Log) messages.push_back(logged.message);
  return messages;
}

HWND CreateTestWindow() {
  static const ATOM atom = [] {
    const WNDCLASSA windowClass = {
        .style = CS_HREDRAW | CS_VREDRAW,
        .lpfnWndProc = TestProc,
        .hCursor = LoadCursorA(nullptr, IDC_ARROW),
        .lpszClassName = "PlatformTest",
    };
    return RegisterClassA(&windowClass);
  }();
  if (atom == 0) return nullptr;
  return CreateWindowExA(0, "PlatformTest", "Platform test",
                         WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 640, 480,
                         nullptr, nullptr, nullptr, nullptr);
}

// Takes one message and hands it on, as a message loop does.
MSG Step() {
  MSG msg;
  EXPECT_NE(GetMessageA(&msg, nullptr, 0, 0), -1);
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return msg;
}

void PushText(const char* text) {
  SDL_Event event{};
  event.type = SDL_TEXTINPUT;
  strncpy(event.text.text, text, sizeof event.text.text - 1);
  ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void PushKey(SDL_Keycode key, bool repeat = false) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.state = SDL_PRESSED;
  event.key.repeat = repeat ? 1 : 0;
  event.key.keysym.sym = key;
  ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void PushQuit() {
  SDL_Event event{};
  event.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

// Sets or removes an environment variable for the length of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    Log.clear();
    DcAtCreate = nullptr;
    window = CreateTestWindow();
    ASSERT_NE(window, nullptr);
  }

  void TearDown() override {
    DestroyWindow(window);  // fails harmlessly when the test destroyed it
    // Leaves no quit request for the next test.
    PostQuitMessage(0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    }
  }

  void ShowAndPaint() {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    Log.clear();
  }

  HWND window = nullptr;
};

TEST_F(WindowTest, CreateAndFirstSizeComeInsideCreationAndTheFirstPaintAtUpdate) {
  EXPECT_EQ(Log, (std::vector<Logged>{{WM_CREATE, 0, 0},
                                      {WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)}}));
  EXPECT_NE(DcAtCreate, nullptr) << "the window exists inside WM_CREATE";
  EXPECT_EQ(GetDC(window), DcAtCreate) << "one device context for the window";
  RECT client;
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, 0);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);

  UpdateWindow(window);
  EXPECT_EQ(Log.size(), 2u) << "a hidden window is not painted";
  EXPECT_FALSE(ShowWindow(window, SW_SHOW)) << "it was hidden";
  EXPECT_EQ(Log.size(), 2u) << "showing sends nothing by itself";
  EXPECT_TRUE(UpdateWindow(window));
  EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_CREATE, WM_SIZE, WM_PAINT}));
  UpdateWindow(window);
  EXPECT_EQ(Log.size(), 3u) << "the paint validated the window";
  EXPECT_TRUE(ShowWindow(window, SW_SHOW)) << "it was visible";
}

TEST_F(WindowTest, PaintsCoalesceAndComeAfterQueuedMessages) {
  ShowAndPaint();
  RECT corner{0, 0, 10, 10};
  RECT elsewhere{100, 100, 200, 150};
  EXPECT_TRUE(InvalidateRect(window, nullptr, FALSE));
  EXPECT_TRUE(InvalidateRect(window, &corner, FALSE));
  EXPECT_TRUE(InvalidateRect(window, &elsewhere, TRUE));
  // A queued character goes first, then a single paint for all three.
  MSG escape{.hwnd = window, .message = WM_KEYDOWN, .wParam = VK_ESCAPE, .lParam = 1};
  TranslateMessage(&escape);
  EXPECT_EQ(Step().message, WM_CHAR);
  EXPECT_EQ(Step().message, WM_PAINT);
  UpdateWindow(window);
  EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_CHAR, WM_PAINT})) << "no second paint";

  Log.clear();
  {
    SCOPED_TRACE("validated before it was painted");
    InvalidateRect(window, &corner, FALSE);
    EXPECT_TRUE(ValidateRect(window, nullptr));
    UpdateWindow(window);
    EXPECT_TRUE(Log.empty());
  }
  {
    SCOPED_TRACE("a rectangle covering all that is invalid validates it");
    InvalidateRect(window, &corner, FALSE);
    InvalidateRect(window, &elsewhere, FALSE);
    RECT both{0, 0, 200, 150};
    ValidateRect(window, &both);
    UpdateWindow(window);
    EXPECT_TRUE(Log.empty());
  }
  {
    SCOPED_TRACE("outside the client area nothing becomes invalid");
    RECT outside{700, 500, 800, 600};
    InvalidateRect(window, &outside, FALSE);
    UpdateWindow(window);
    EXPECT_TRUE(Log.empty());
  }
  {
    SCOPED_TRACE("validating part leaves the rest to paint");
    InvalidateRect(window, nullptr, FALSE);
    ValidateRect(window, &corner);
    UpdateWindow(window);
    EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_PAINT}));
  }
}

TEST_F(WindowTest, QuitRequestEndsGetMessageWithItsCodeAfterPostedMessagesOnly) {
  ShowAndPaint();
  InvalidateRect(window, nullptr, FALSE);  // a paint is due
  PushQuit();                              // and input waits (WM_CLOSE)
  MSG enter{.hwnd = window, .message = WM_KEYDOWN, .wParam = VK_RETURN, .lParam = 1};
  TranslateMessage(&enter);  // a posted WM_CHAR
  PostQuitMessage(42);

  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_CHAR) << "posted before the quit request";
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 42u);
  EXPECT_EQ(msg.hwnd, nullptr);
  // Input and the paint were not lost, only put after the quit request.
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_CLOSE);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_PAINT);
}

TEST_F(WindowTest, TextAndKeysBecomeCharacters) {
  Log.clear();
  PushText("8w");
  PushKey(SDLK_ESCAPE);
  PushText("x");
  PushText("\xC3\xA9\xE2\x82\xAC");  // é is Latin-1 233; the euro sign has no code there
  PushKey(SDLK_a);                   // gave its text already; no WM_KEYDOWN
  PushKey(SDLK_BACKSPACE);
  PushKey(SDLK_TAB);
  PushKey(SDLK_RETURN);
  PushKey(SDLK_RETURN, true);  // auto-repeat: one more of each
  PushKey(SDLK_KP_ENTER);
  PushQuit();  // ends it: WM_CLOSE, then WM_DESTROY posts the quit request
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(msg.wParam, 7u);
  constexpr LPARAM once = 1;
  constexpr LPARAM again = 1 | (LPARAM{1} << 30);
  EXPECT_EQ(Log, (std::vector<Logged>{
                     {WM_CHAR, '8', once},
                     {WM_CHAR, 'w', once},
                     {WM_KEYDOWN, VK_ESCAPE, once},
                     {WM_CHAR, 27, once},
                     {WM_CHAR, 'x', once},
                     {WM_CHAR, 233, once},
                     {WM_CHAR, '?', once},
                     {WM_KEYDOWN, VK_BACK, once},
                     {WM_CHAR, 8, once},
                     {WM_KEYDOWN, VK_TAB, once},
                     {WM_CHAR, 9, once},
                     {WM_KEYDOWN, VK_RETURN, once},
                     {WM_CHAR, 13, once},
                     {WM_KEYDOWN, VK_RETURN, again},
                     {WM_CHAR, 13, again},
                     {WM_KEYDOWN, VK_RETURN, once},
                     {WM_CHAR, 13, once},
                     {WM_CLOSE, 0, 0},
                     {WM_DESTROY, 0, 0},
                 }));
}

TEST_F(WindowTest, CloseDestroysTheWindowAndNothingReachesItAfterwards) {
  ShowAndPaint();
  PushQuit();       // SIGTERM's way in: WM_CLOSE
  PushText("x");    // waiting behind it
  EXPECT_EQ(Step().message, WM_CLOSE);
  EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}))
      << "DefWindowProcA answers WM_CLOSE by destroying the window";

  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 7u);
  // The typed "x" went with the window; with no window nothing can come.
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1);

  MSG late{.hwnd = window, .message = WM_CHAR, .wParam = 'y', .lParam = 1};
  EXPECT_EQ(DispatchMessageA(&late), 0);
  EXPECT_FALSE(InvalidateRect(window, nullptr, FALSE));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_EQ(GetDC(window), nullptr);
  EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));

  // A new window can follow; the old handle does not name it.
  Log.clear();
  HWND next = CreateTestWindow();
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, window);
  EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_CREATE, WM_SIZE}));
  EXPECT_FALSE(ShowWindow(window, SW_SHOW));
  window = next;
}

TEST_F(WindowTest, RefusesWhatItCannotDo) {
  {
    SCOPED_TRACE("class registration");
    WNDCLASSA copy = {.lpfnWndProc = TestProc, .lpszClassName = "platformtest"};
    EXPECT_EQ(RegisterClassA(&copy), 0) << "class names ignore case";
    WNDCLASSA nameless = {.lpfnWndProc = TestProc};
    EXPECT_EQ(RegisterClassA(&nameless), 0);
    WNDCLASSA noProcedure = {.lpszClassName = "NoProcedure"};
    EXPECT_EQ(RegisterClassA(&noProcedure), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);
  }
  {
    SCOPED_TRACE("windows");
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(CreateTestWindow(), nullptr) << "one window only";
    EXPECT_EQ(MessagesLogged(), (std::vector<UINT>{WM_CREATE, WM_SIZE}));
  }
  {
    SCOPED_TRACE("message filters are not supported");
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, window, 0, 0), -1);
    EXPECT_EQ(GetMessageA(&msg, nullptr, WM_KEYDOWN, WM_CHAR), -1);
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
  }
  {
    SCOPED_TRACE("cursors");
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(32513)), nullptr);
  }
}

TEST(WindowLayer, RefusesTheInvisibleDriverSdlFallsBackToWithoutADisplay) {
  ScopedEnv noDisplay("DISPLAY", nullptr);
  ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
  {
    SCOPED_TRACE("no driver asked for");
    ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
    bool running = SDL_WasInit(SDL_INIT_VIDEO) != 0;  // when other tests ran first
    testing::internal::CaptureStderr();
    HWND window = CreateTestWindow();
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(window, nullptr);
    EXPECT_NE(errors.find("No display to open a window on"), std::string::npos) << errors;
    if (!running) {
      EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "nothing left running";
    }
  }
  {
    SCOPED_TRACE("a display named but not there");
    ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
    ScopedEnv absent("DISPLAY", ":4093");
    testing::internal::CaptureStderr();
    HWND window = CreateTestWindow();
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(window, nullptr);
    EXPECT_NE(errors.find("Cannot open the display \":4093\""), std::string::npos) << errors;
  }
  {
    SCOPED_TRACE("asked for by name, among others");
    ScopedEnv driver("SDL_VIDEODRIVER", "x11,OFFSCREEN");
    HWND window = CreateTestWindow();
    EXPECT_NE(window, nullptr);
    DestroyWindow(window);
    PostQuitMessage(0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    }
  }
}

TEST(WindowLayer, MessageBoxWritesToStderrWhenNoBoxCanBeShown) {
  ScopedEnv noDisplay("DISPLAY", nullptr);
  ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
  testing::internal::CaptureStderr();
  int result = MessageBoxA(nullptr, "Error opening something (not found?)", nullptr, MB_OK);
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_NE(errors.find("Error opening something (not found?)\n"), std::string::npos) << errors;
}

}  // namespace
