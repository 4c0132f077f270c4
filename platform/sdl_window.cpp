// The window half of the SDL stand-in: window classes, the one window, the
// message queue, and SDL's events turned into window messages.
#ifndef _WIN32

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/sdl_state.h"

PlatformWindow MainWindow;

namespace {

struct WindowClass {
  std::string name;
  ATOM atom;
  UINT style;
  WNDPROC procedure;
};

std::vector<WindowClass> Classes;

// Win32 takes posted messages first, then the quit request, then input,
// then WM_PAINT; the queue keeps the first and third apart for that.
struct MessageQueue {
  std::deque<MSG> posted;  // WM_CHAR from TranslateMessage
  std::deque<MSG> input;   // from SDL's events
  bool quitPosted;
  int quitCode;
};

MessageQueue Messages;

// The drops handed to the program and not yet finished, by handle.
std::map<uintptr_t, std::vector<std::string>> Drops;

// The files of the drop SDL is delivering, one event each, until it says
// the drop is complete.
std::vector<std::string> DroppedFiles;

// The window's timers, by id.
struct Timer {
  UINT elapse;  // milliseconds
  Uint64 due;   // SDL_GetTicks64()
};
std::map<UINT_PTR, Timer> Timers;

// The mouse buttons held, as SDL's button mask, followed through its events.
Uint32 HeldButtons;
bool Captured;  // SetCapture

uintptr_t LastHandle = 0x10000;

// Something only LoadCursorA hands out.
int ArrowCursor;

constexpr ATOM FirstAtom = 0xC000;  // where Win32's class atoms start

bool IsAtom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

const WindowClass* FindClass(LPCSTR name) {
  for (const WindowClass& windowClass : Classes) {
    if (IsAtom(name) ? windowClass.atom == reinterpret_cast<uintptr_t>(name)
                     : strcasecmp(windowClass.name.c_str(), name) == 0) {
      return &windowClass;
    }
  }
  return nullptr;
}

// SDL_VIDEODRIVER may list several drivers, separated by commas.
bool DriverNamed(const char* list, const char* driver) {
  if (list == nullptr) return false;
  size_t length = strlen(driver);
  for (const char* item = list; *item != '\0';) {
    const char* end = strchr(item, ',');
    size_t itemLength = end != nullptr ? static_cast<size_t>(end - item) : strlen(item);
    if (itemLength == length && strncasecmp(item, driver, length) == 0) return true;
    if (end == nullptr) break;
    item = end + 1;
  }
  return false;
}

// Starts SDL's video, unless an earlier window did, for a window of
// `className`. With no display SDL picks an invisible driver by itself and
// nobody would ever see the window, so that is refused unless the user asked
// for the driver by name.
//
// Once started, video and the OpenGL library stay until the process ends, as
// a Windows program's do: SDL would otherwise unload the driver with the
// last GL window (every probe of ChoosePixelFormat is one), and reload it.
bool StartVideo(const char* className) {
  bool starting = SDL_WasInit(SDL_INIT_VIDEO) == 0;
  if (starting) {
    // SDL reads the X11 WM_CLASS from here when its video starts; it has no
    // hint for it.
    if (setenv("SDL_VIDEO_X11_WMCLASS", className, 1) != 0) {
      perror("Cannot set the window's class");
    }
    // The close box is WM_CLOSE already; SDL's own quit on closing the last
    // window would repeat it. A false result only means the hint is unknown.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    IgnoreLateWakeUps();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      fprintf(stderr, "Cannot start SDL's video: %s\n", SDL_GetError());
      return false;
    }
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr) {
    fprintf(stderr, "SDL's video has no driver: %s\n", SDL_GetError());
    if (starting) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  bool invisible = strcasecmp(driver, "offscreen") == 0 || strcasecmp(driver, "dummy") == 0;
  if (invisible && !DriverNamed(SDL_GetHint(SDL_HINT_VIDEODRIVER), driver)) {
    const char* display = getenv("DISPLAY");
    if (display != nullptr && *display != '\0') {
      // A display was named, but it refused us or was not there.
      fprintf(stderr,
              "Cannot open the display \"%s\" (SDL fell back to its invisible \"%s\" "
              "driver).\n",
              display, driver);
    } else {
      fprintf(stderr,
              "No display to open a window on (SDL fell back to its invisible \"%s\" driver). "
              "Set DISPLAY, or SDL_VIDEODRIVER=%s to run without one.\n",
              driver, driver);
    }
    if (starting) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  if (starting && SDL_GL_LoadLibrary(nullptr) != 0) {
    fprintf(stderr, "Cannot load OpenGL: %s\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  return true;
}

LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
  return MainWindow.procedure(MainWindow.handle, message, wParam, lParam);
}

MSG MessageFor(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return MSG{window, message, wParam, lParam, SDL_GetTicks(), POINT{0, 0}};
}

void QueueInput(UINT message, WPARAM wParam, LPARAM lParam) {
  Messages.input.push_back(MessageFor(MainWindow.handle, message, wParam, lParam));
}

void DropMessagesFor(HWND window) {
  for (std::deque<MSG>* queue : {&Messages.posted, &Messages.input}) {
    std::erase_if(*queue, [window](const MSG& msg) {
      if (msg.hwnd != window) return false;
      if (msg.message == WM_DROPFILES) Drops.erase(msg.wParam);  // nobody will finish it
      return true;
    });
  }
}

bool TakeFirst(std::deque<MSG>& queue, MSG* msg) {
  if (queue.empty()) return false;
  *msg = queue.front();
  queue.pop_front();
  return true;
}

// The window is an ANSI one: each character of SDL's UTF-8 text becomes one
// WM_CHAR, and those beyond Latin-1, which have no code there, become '?'.
void QueueText(const char* text) {
  const auto* byte = reinterpret_cast<const unsigned char*>(text);
  while (*byte != 0) {
    uint32_t code = *byte;
    int length = 1;
    if ((*byte & 0xE0) == 0xC0) {
      code = *byte & 0x1F;
      length = 2;
    } else if ((*byte & 0xF0) == 0xE0) {
      code = *byte & 0x0F;
      length = 3;
    } else if ((*byte & 0xF8) == 0xF0) {
      code = *byte & 0x07;
      length = 4;
    } else if (*byte >= 0x80) {
      code = '?';  // a stray continuation byte
    }
    for (int i = 1; i < length; ++i) {
      if ((byte[i] & 0xC0) != 0x80) {  // cut short; the terminator stops here too
        code = '?';
        length = i;
        break;
      }
      code = (code << 6) | (byte[i] & 0x3F);
    }
    byte += length;
    QueueInput(WM_CHAR, code <= 0xFF ? code : '?', 1);
  }
}

// The keys Windows turns into characters but SDL gives no text for, the
// keys that move without being characters, and F12.
WPARAM VirtualKeyOf(SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_F12: return VK_F12;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    default: return 0;
  }
}

void Resized(int width, int height) {
  width = std::clamp(width, 0, 0xFFFF);
  height = std::clamp(height, 0, 0xFFFF);
  if (width == MainWindow.width && height == MainWindow.height) return;
  MainWindow.width = width;
  MainWindow.height = height;
  if ((MainWindow.classStyle & (CS_HREDRAW | CS_VREDRAW)) != 0) InvalidateAll();
  bool maximized = (SDL_GetWindowFlags(MainWindow.sdlWindow) & SDL_WINDOW_MAXIMIZED) != 0;
  QueueInput(WM_SIZE, maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
             MAKELPARAM(static_cast<WORD>(width), static_cast<WORD>(height)));
}

// Key and text events name the window with the keyboard, or none when no
// window has it; either way they are the one window's.
bool ForMainWindow(Uint32 windowId) { return windowId == 0 || windowId == MainWindow.sdlWindowId; }

// A mouse message's wParam: the buttons held and Shift and Ctrl.
WPARAM MouseKeys() {
  WPARAM keys = 0;
  if ((HeldButtons & SDL_BUTTON_LMASK) != 0) keys |= MK_LBUTTON;
  if ((HeldButtons & SDL_BUTTON_RMASK) != 0) keys |= MK_RBUTTON;
  if ((HeldButtons & SDL_BUTTON_MMASK) != 0) keys |= MK_MBUTTON;
  const SDL_Keymod mod = SDL_GetModState();
  if ((mod & KMOD_SHIFT) != 0) keys |= MK_SHIFT;
  if ((mod & KMOD_CTRL) != 0) keys |= MK_CONTROL;
  return keys;
}

LPARAM PointParam(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(std::clamp(x, -0x8000, 0x7FFF)),
                    static_cast<WORD>(std::clamp(y, -0x8000, 0x7FFF)));
}

void TranslateMouse(const SDL_Event& event) {
  switch (event.type) {
    case SDL_MOUSEMOTION: {
      if (!ForMainWindow(event.motion.windowID)) return;
      HeldButtons = event.motion.state;
      const MSG move = MessageFor(MainWindow.handle, WM_MOUSEMOVE, MouseKeys(),
                                  PointParam(event.motion.x, event.motion.y));
      // Windows keeps one move waiting, the latest.
      std::deque<MSG>& input = Messages.input;
      if (!input.empty() && input.back().message == WM_MOUSEMOVE &&
          input.back().wParam == move.wParam) {
        input.back() = move;
      } else {
        input.push_back(move);
      }
      return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      const Uint32 mask = SDL_BUTTON(event.button.button);
      HeldButtons = down ? HeldButtons | mask : HeldButtons & ~mask;
      if (event.button.button != SDL_BUTTON_LEFT || !ForMainWindow(event.button.windowID)) return;
      QueueInput(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, MouseKeys(),
                 PointParam(event.button.x, event.button.y));
      return;
    }
    case SDL_MOUSEWHEEL: {
      if (!ForMainWindow(event.wheel.windowID)) return;
      float notches = event.wheel.preciseY;
      if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
      const long delta = std::clamp(std::lround(notches * WHEEL_DELTA), -0x8000L, 0x7FFFL);
      if (delta == 0) return;
      int x = 0, y = 0;
      SDL_GetGlobalMouseState(&x, &y);
      QueueInput(WM_MOUSEWHEEL, MouseKeys() | WPARAM{static_cast<WORD>(delta)} << 16,
                 PointParam(x, y));
      return;
    }
    default:
      return;
  }
}

// Collects the files of one drop and queues them as one WM_DROPFILES when
// the drop is complete, if the window takes files.
void TranslateDrop(const SDL_DropEvent& drop) {
  bool wanted = MainWindow.handle != nullptr && !MainWindow.destroying &&
                MainWindow.acceptsFiles && ForMainWindow(drop.windowID);
  switch (drop.type) {
    case SDL_DROPBEGIN:
      DroppedFiles.clear();
      break;
    case SDL_DROPFILE:
      if (wanted && drop.file != nullptr) DroppedFiles.emplace_back(drop.file);
      break;
    case SDL_DROPCOMPLETE:
      if (wanted && !DroppedFiles.empty()) {
        uintptr_t handle = NewHandle();
        Drops[handle] = std::move(DroppedFiles);
        QueueInput(WM_DROPFILES, handle, 0);
      }
      DroppedFiles.clear();
      break;
    default:  // SDL_DROPTEXT: text, not a file
      break;
  }
}

void TranslateEvent(const SDL_Event& event) {
  if (event.type >= SDL_DROPFILE && event.type <= SDL_DROPCOMPLETE) {
    TranslateDrop(event.drop);
    SDL_free(event.drop.file);  // SDL hands the name over, wanted or not
    return;
  }
  if (MainWindow.handle == nullptr || MainWindow.destroying) return;
  switch (event.type) {
    case SDL_QUIT:  // SIGINT or SIGTERM: ask the window to close
      QueueInput(WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT:
      if (event.window.windowID != MainWindow.sdlWindowId) break;
      // A window restored from its icon is drawn anew, as on Windows.
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
          event.window.event == SDL_WINDOWEVENT_RESTORED) {
        InvalidateAll();
      }
      if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        Resized(event.window.data1, event.window.data2);
      }
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) QueueInput(WM_CLOSE, 0, 0);
      break;
    case SDL_TEXTINPUT:
      if (ForMainWindow(event.text.windowID)) QueueText(event.text.text);
      break;
    case SDL_KEYDOWN: {
      if (!ForMainWindow(event.key.windowID)) break;
      // SDL gives no text for a control character.
      const SDL_Keycode sym = event.key.keysym.sym;
      if ((event.key.keysym.mod & KMOD_CTRL) != 0 && (event.key.keysym.mod & KMOD_ALT) == 0 &&
          sym >= SDLK_a && sym <= SDLK_z) {
        QueueInput(WM_CHAR, static_cast<WPARAM>(sym - SDLK_a + 1), 1);
        break;
      }
      WPARAM key = VirtualKeyOf(sym);
      if (key == 0) break;
      // Repeat count 1; bit 30 says the key was already down.
      QueueInput(WM_KEYDOWN, key, 1 | (event.key.repeat != 0 ? LPARAM{1} << 30 : 0));
      break;
    }
    default:
      TranslateMouse(event);
      break;
  }
}

// Turns every event SDL has into messages; false when there was none.
bool PumpEvents() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
  bool any = false;
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) {
    TranslateEvent(event);
    any = true;
  }
  return any;
}

// Waits for SDL's next event, or until the next timer is due; false when
// nothing can ever come.
bool WaitForEvent() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
  int timeout = -1;
  const Uint64 now = SDL_GetTicks64();
  for (const auto& [id, timer] : Timers) {
    const int left = timer.due > now ? static_cast<int>(timer.due - now) : 0;
    timeout = timeout < 0 ? left : std::min(timeout, left);
  }
  SDL_Event event;
  if (SDL_WaitEventTimeout(&event, timeout) == 0) {
    if (timeout >= 0) return true;  // a timer is due, or SDL failed and the timer retries
    fprintf(stderr, "Waiting for SDL's events failed: %s\n", SDL_GetError());
    return false;
  }
  TranslateEvent(event);
  return true;
}

// The WM_TIMER of the timer longest due, if any is; it is then due again
// `elapse` from now, so a late one is not made up for.
bool TakeDueTimer(MSG* msg) {
  const Uint64 now = SDL_GetTicks64();
  auto due = Timers.end();
  for (auto timer = Timers.begin(); timer != Timers.end(); ++timer) {
    if (timer->second.due <= now && (due == Timers.end() || timer->second.due < due->second.due)) {
      due = timer;
    }
  }
  if (due == Timers.end()) return false;
  due->second.due = now + due->second.elapse;
  *msg = MessageFor(MainWindow.handle, WM_TIMER, due->first, 0);
  return true;
}

bool Contains(const RECT& outer, const RECT& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

}  // namespace

uintptr_t NewHandle() {
  LastHandle += 4;
  return LastHandle;
}

bool IsLiveWindow(HWND window) { return window != nullptr && window == MainWindow.handle; }

bool IsLiveDc(HDC dc) { return dc != nullptr && dc == MainWindow.dc; }

bool CreateSdlWindow() {
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if ((MainWindow.style & WS_THICKFRAME) != 0) flags |= SDL_WINDOW_RESIZABLE;
  SDL_Window* window =
      SDL_CreateWindow(MainWindow.title.c_str(), MainWindow.x, MainWindow.y,
                       std::max(MainWindow.width, 1), std::max(MainWindow.height, 1), flags);
  if (window == nullptr) {
    fprintf(stderr, "Cannot create the window: %s\n", SDL_GetError());
    return false;
  }
  Uint32 id = SDL_GetWindowID(window);
  if (id == 0) {
    fprintf(stderr, "The new window has no id: %s\n", SDL_GetError());
    SDL_DestroyWindow(window);
    return false;
  }
  MainWindow.sdlWindow = window;
  MainWindow.sdlWindowId = id;
  SDL_StartTextInput();  // characters from the start, now that there is a window to type into
  return true;
}

void ShowSdlWindow() {
  SDL_ShowWindow(MainWindow.sdlWindow);
  // Win32 activates the window it shows. A driver without a keyboard focus
  // (offscreen) says so, which changes nothing here.
  if (SDL_SetWindowInputFocus(MainWindow.sdlWindow) != 0) SDL_ClearError();
}

void InvalidateAll() {
  MainWindow.invalid = true;
  MainWindow.invalidRect = RECT{0, 0, MainWindow.width, MainWindow.height};
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || IsAtom(windowClass->lpszClassName) ||
      windowClass->lpszClassName[0] == '\0' || FindClass(windowClass->lpszClassName) != nullptr ||
      Classes.size() >= 0x3FFF) {
    return 0;
  }
  ATOM atom = static_cast<ATOM>(FirstAtom + Classes.size());
  Classes.push_back(
      WindowClass{windowClass->lpszClassName, atom, windowClass->style, windowClass->lpfnWndProc});
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU, HINSTANCE,
                            LPVOID) {
  const WindowClass* windowClass = className != nullptr ? FindClass(className) : nullptr;
  if (windowClass == nullptr || parent != nullptr) return nullptr;
  if (MainWindow.handle != nullptr) {
    fprintf(stderr, "Cannot create a second window: there is only one.\n");
    return nullptr;
  }
  if (!StartVideo(windowClass->name.c_str())) return nullptr;

  HWND window = reinterpret_cast<HWND>(NewHandle());
  MainWindow = PlatformWindow{};
  MainWindow.handle = window;
  MainWindow.dc = reinterpret_cast<HDC>(NewHandle());
  MainWindow.procedure = windowClass->procedure;
  MainWindow.classStyle = windowClass->style;
  MainWindow.style = style;
  MainWindow.title = windowName != nullptr ? windowName : "";
  MainWindow.x = x;
  MainWindow.y = y;
  MainWindow.width = std::clamp(width, 0, 0xFFFF);
  MainWindow.height = std::clamp(height, 0, 0xFFFF);
  InvalidateAll();

  // The SDL window itself comes later, once the pixel format is known: SDL
  // fixes a window's GL format when it creates it.
  if (Send(WM_CREATE, 0, 0) == -1) {
    DestroyWindow(window);
    return nullptr;
  }
  if (!IsLiveWindow(window)) return nullptr;  // destroyed while being created
  Send(WM_SIZE, SIZE_RESTORED,
       MAKELPARAM(static_cast<WORD>(MainWindow.width), static_cast<WORD>(MainWindow.height)));
  if (!IsLiveWindow(window)) return nullptr;
  if ((style & WS_VISIBLE) != 0) ShowWindow(window, SW_SHOW);
  return window;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
  if (!IsLiveWindow(window) || MainWindow.destroying) return FALSE;
  BOOL wasVisible = MainWindow.visible ? TRUE : FALSE;
  if (command == SW_HIDE) {
    if (MainWindow.sdlWindow != nullptr) SDL_HideWindow(MainWindow.sdlWindow);
    MainWindow.visible = false;
    return wasVisible;
  }
  if (MainWindow.sdlWindow == nullptr) {
    SDL_GL_ResetAttributes();  // no pixel format was set: SDL's defaults
    if (!CreateSdlWindow()) return wasVisible;
  }
  ShowSdlWindow();
  if (!MainWindow.visible) {
    MainWindow.visible = true;
    InvalidateAll();
  }
  return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) {
  if (!IsLiveWindow(window)) return FALSE;
  if (MainWindow.visible && MainWindow.invalid) Send(WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI IsIconic(HWND window) {
  return IsLiveWindow(window) && MainWindow.sdlWindow != nullptr &&
                 (SDL_GetWindowFlags(MainWindow.sdlWindow) & SDL_WINDOW_MINIMIZED) != 0
             ? TRUE
             : FALSE;
}

BOOL WINAPI GetMessageA(MSG* msg, HWND window, UINT firstMessage, UINT lastMessage) {
  if (msg == nullptr) return -1;
  *msg = MSG{};
  if (window != nullptr || firstMessage != 0 || lastMessage != 0) return -1;
  for (;;) {
    if (TakeFirst(Messages.posted, msg)) return TRUE;
    if (Messages.quitPosted) {
      Messages.quitPosted = false;
      *msg = MessageFor(nullptr, WM_QUIT, static_cast<WPARAM>(Messages.quitCode), 0);
      return FALSE;
    }
    if (TakeFirst(Messages.input, msg)) return TRUE;
    if (PumpEvents()) continue;
    if (MainWindow.handle != nullptr && MainWindow.visible && MainWindow.invalid) {
      *msg = MessageFor(MainWindow.handle, WM_PAINT, 0, 0);
      return TRUE;
    }
    if (TakeDueTimer(msg)) return TRUE;
    // Nothing can come to a thread without a window; Win32 would wait forever.
    if (MainWindow.handle == nullptr || !WaitForEvent()) return -1;
  }
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (msg == nullptr || msg->message != WM_KEYDOWN) return FALSE;
  if (IsLiveWindow(msg->hwnd) &&
      (msg->wParam == VK_ESCAPE || msg->wParam == VK_BACK || msg->wParam == VK_TAB ||
       msg->wParam == VK_RETURN)) {
    Messages.posted.push_back(MessageFor(msg->hwnd, WM_CHAR, msg->wParam, msg->lParam));
  }
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || !IsLiveWindow(msg->hwnd)) return 0;
  return Send(msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(window);
  if (message == WM_PAINT) ValidateRect(window, nullptr);
  return 0;
}

void WINAPI PostQuitMessage(int exitCode) {
  Messages.quitPosted = true;
  Messages.quitCode = exitCode;
}

BOOL WINAPI DestroyWindow(HWND window) {
  if (!IsLiveWindow(window) || MainWindow.destroying) return FALSE;
  MainWindow.destroying = true;
  if (MainWindow.sdlWindow != nullptr) SDL_HideWindow(MainWindow.sdlWindow);
  MainWindow.visible = false;
  Send(WM_DESTROY, 0, 0);  // the window still exists while its procedure runs

  DropMessagesFor(window);
  Timers.clear();
  ReleaseCapture();
  DeleteAllGlContexts();
  if (MainWindow.sdlWindow != nullptr) SDL_DestroyWindow(MainWindow.sdlWindow);
  MainWindow = PlatformWindow{};
  return TRUE;
}

HDC WINAPI GetDC(HWND window) { return IsLiveWindow(window) ? MainWindow.dc : nullptr; }

BOOL WINAPI GetClientRect(HWND window, RECT* rect) {
  if (!IsLiveWindow(window) || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, MainWindow.width, MainWindow.height};
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL) {
  if (!IsLiveWindow(window)) return FALSE;
  if (rect == nullptr) {
    InvalidateAll();
    return TRUE;
  }
  RECT area{std::max(rect->left, LONG{0}), std::max(rect->top, LONG{0}),
            std::min(rect->right, LONG{MainWindow.width}),
            std::min(rect->bottom, LONG{MainWindow.height})};
  if (area.left >= area.right || area.top >= area.bottom) return TRUE;  // nothing of the window
  if (!MainWindow.invalid) {
    MainWindow.invalid = true;
    MainWindow.invalidRect = area;
    return TRUE;
  }
  RECT& invalid = MainWindow.invalidRect;
  invalid = RECT{std::min(invalid.left, area.left), std::min(invalid.top, area.top),
                 std::max(invalid.right, area.right), std::max(invalid.bottom, area.bottom)};
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND window, const RECT* rect) {
  if (!IsLiveWindow(window)) return FALSE;
  if (rect == nullptr || Contains(*rect, MainWindow.invalidRect)) MainWindow.invalid = false;
  return TRUE;
}

HWND WINAPI SetCapture(HWND window) {
  if (!IsLiveWindow(window)) return nullptr;
  HWND before = Captured ? MainWindow.handle : nullptr;
  // Drivers without a mouse (offscreen) cannot capture it; nothing is lost.
  if (MainWindow.sdlWindow == nullptr || SDL_CaptureMouse(SDL_TRUE) != 0) SDL_ClearError();
  Captured = true;
  return before;
}

BOOL WINAPI ReleaseCapture() {
  if (Captured && SDL_CaptureMouse(SDL_FALSE) != 0) SDL_ClearError();
  Captured = false;
  return TRUE;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  if (!IsLiveWindow(window) || MainWindow.destroying || procedure != nullptr) return 0;
  elapse = std::clamp(elapse, 10u, 0x7FFFFFFFu);
  Timers[id] = Timer{elapse, SDL_GetTicks64() + elapse};
  return 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  return IsLiveWindow(window) && Timers.erase(id) != 0 ? TRUE : FALSE;
}

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(SDL_GetTicks64()); }

void WINAPI DragAcceptFiles(HWND window, BOOL accept) {
  if (IsLiveWindow(window)) MainWindow.acceptsFiles = accept != FALSE;
}

UINT WINAPI DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT size) {
  auto found = Drops.find(reinterpret_cast<uintptr_t>(drop));
  if (found == Drops.end()) return 0;
  const std::vector<std::string>& files = found->second;
  if (index == 0xFFFFFFFF) return static_cast<UINT>(files.size());
  if (index >= files.size()) return 0;
  const std::string& name = files[index];
  if (file == nullptr) return static_cast<UINT>(name.size());
  if (size == 0) return 0;
  size_t length = std::min<size_t>(name.size(), size - 1);
  memcpy(file, name.data(), length);
  file[length] = '\0';
  return static_cast<UINT>(length);
}

void WINAPI DragFinish(HDROP drop) { Drops.erase(reinterpret_cast<uintptr_t>(drop)); }

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || name != IDC_ARROW) return nullptr;
  return reinterpret_cast<HCURSOR>(&ArrowCursor);
}

#endif  // _WIN32
