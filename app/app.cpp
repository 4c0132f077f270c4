// The program's frame: registering the class, creating the window, the
// message loop, and the handlers of the window procedure. Everything runs on
// the one GUI thread, inside window messages.
#include "app/app.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/clock.h"
#include "app/gl_context.h"
#include "app/options.h"
#include "app/picture.h"
#include "app/watch.h"
#include "bsp/bsp_file.h"
#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "platform/gl.h"
#include "app/commands.h"
#include "view/overlays.h"
#include "view/camera.h"
#include "view/inspect.h"
#include "view/motion.h"
#include "view/render.h"
#include "view/upload.h"

namespace {

const char kClassName[] = "Mivo";
const char kTitle[] = "Darro's Mivo: Use the Key Pad to move around.";
constexpr UINT_PTR kWatchTimer = 1;
// While the clock runs and something that moves is in view, this timer asks
// for the next frame: at most 60 a second.
constexpr UINT_PTR kFrameTimer = 2;
constexpr UINT kFramePeriod = 17;  // milliseconds
bool redrawing = false;  // kFrameTimer is set

// Set by the first Shutdown. From then on no handler touches the released
// context or the freed level, and a second Shutdown releases nothing.
bool ended = false;

// Set while a map loads. The records then hold its first, perhaps
// unchecked, parts, which nothing may draw, move or replace; on Windows a
// message box shown meanwhile goes on dispatching the window's messages.
bool opening = false;

// --shot: the first frame, drawn in the window that is never shown, goes to
// ShotPath; the window goes with it. Returns the exit status.
int TakeShot(HWND window) {
  int status = 1;  // after a palette format's message there is nothing to draw with
  if (!ended) {
    ShownTime = ClockTime(GetTickCount());
    DrawLevel();
    status = SavePicture(ShotPath, 640, 480, ShotSize);
  }
  DestroyWindow(window);
  return status;
}

// The compiler's files beside the map, as bits of Beside's entries.
constexpr int kTrailFiles = 1 | 2;  // MAP.pts, MAP.lin
constexpr int kPortalFile = 4;      // MAP.prt

// The compiler's files beside the map on show, read again: `which` of them.
void ReadBesideFiles(int which) {
  if ((which & kTrailFiles) != 0) {
    LoadTrail(Beside[0].file, Beside[1].file);
    Overlays.trailStep = -1;
  }
  if ((which & kPortalFile) != 0) LoadPortals(Beside[2].file);
}

// A changed map is loaded again; a change of only the files beside it reads
// them again, and the map stays.
void OnWatchTimer(HWND window) {
  const DWORD now = GetTickCount();
  if (PollWatchedFile(now) != 0) {
    ReplaceMap(window, Shown.path.c_str(), kKeepView | kQuietFailure);
  } else if (const int changed = PollBesideFiles(now); changed != 0) {
    ReadBesideFiles(changed);
    InvalidateRect(window, nullptr, FALSE);
  }
}

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
  // A picture's window has no frame, so that its client area is 640 x 480
  // on Windows too.
  const DWORD style = ShotPath != nullptr ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  HWND window = CreateWindowExA(0, kClassName, kTitle, style | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                                0, 640, 480, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    MessageBoxA(nullptr, "Error creating the main window (no display?)", nullptr, MB_OK);
    return 1;
  }
  if (StartPos.given && !ended) SetCamera(StartPos.origin, StartPos.yaw, StartPos.pitch);
  for (const char* key = StartKeys; *key != '\0' && !ended; ++key) {
    OnKey(window, static_cast<unsigned char>(*key));
  }
  if (ShotPath != nullptr) return TakeShot(window);
  DragAcceptFiles(window, TRUE);
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
      Inspect.clientWidth = LOWORD(static_cast<ULONG_PTR>(lParam));
      Inspect.clientHeight = HIWORD(static_cast<ULONG_PTR>(lParam));
      if (!ended) SetupProjection();
      return 0;
    case WM_PAINT:
      if (ended || opening) {
        ValidateRect(window, nullptr);  // nothing whole to draw, or nothing to draw with
      } else {
        OnPaint(window);
      }
      return 0;
    case WM_CHAR:
      if (!ended && !opening) OnKey(window, static_cast<int>(wParam));
      return 0;
    case WM_KEYDOWN:
      if (ended || opening) return 0;
      if (wParam == VK_F12) {
        SaveScreenshot(window);
      } else {
        OnKeyDown(window, wParam);
      }
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_MOUSEWHEEL:
      if (!ended && !opening) OnMouse(window, message, wParam, lParam);
      return 0;
    case WM_TIMER:
      if (!ended && !opening && wParam == kWatchTimer) OnWatchTimer(window);
      if (!ended && !opening && wParam == kFrameTimer) {
        if (IsIconic(window)) {
          KillTimer(window, kFrameTimer);  // until the window is restored and drawn again
          redrawing = false;
        } else {
          InvalidateRect(window, nullptr, FALSE);
        }
      }
      return 0;
    case WM_DROPFILES:
      OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void OnCreate(HWND window) {
  redrawing = false;
  DeviceContext = GetDC(window);
  SetupPixelFormat(DeviceContext);
  CheckPalette(DeviceContext);
  RenderContext = wglCreateContext(DeviceContext);
  wglMakeCurrent(DeviceContext, RenderContext);
  InitGlState();
  if (ReplaceMap(window, MapPath, kFreshView) != 0) exit(1);  // the message was shown
  if (WatchMap && ShotPath == nullptr) SetTimer(window, kWatchTimer, kWatchPeriod, nullptr);
}

void OnDropFiles(HWND window, HDROP drop) {
  std::string path;
  if (!ended && !opening && DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    path.resize(DragQueryFileA(drop, 0, nullptr, 0));
    DragQueryFileA(drop, 0, path.data(), static_cast<UINT>(path.size() + 1));
  }
  DragFinish(drop);
  if (!path.empty()) ReplaceMap(window, path.c_str(), kFreshView);
}

void ReloadMap(HWND window) { ReplaceMap(window, Shown.path.c_str(), kKeepView); }

int ReplaceMap(HWND window, const char* path, int how) {
  const std::string wanted = path;  // `path` may be Shown's, which changes below
  const FileState before = FileStateOf(Shown.file);
  // The map on show steps aside, and the new one loads into empty records,
  // with the colours starting again, as at start-up.
  struct Level otherLevel = {};
  std::swap(Level, otherLevel);
  const uint32_t shownRandomState = std::exchange(RandomState, 1);
  const bool shownOnStderr = MessagesOnStderr;
  MessagesOnStderr = shownOnStderr || (how & kQuietFailure) != 0;
  opening = true;
  const bool opened = OpenMap(wanted.c_str()) == 0;
  // Another file is watched from how it was when it opened, before the
  // load: a compile that ends while it loads is a change still to show.
  const FileState read = opened ? FileStateOf(OpenedMap.file) : FileState{};
  const bool loaded = opened && LoadLevel() == 0;
  // The level holds all it needs: the file may now be replaced.
  CloseBspFile();
  opening = false;
  // Whichever goes, the old map or what loaded of the new one, is released
  // from the records, and the one that stays comes back into them.
  if (loaded) std::swap(Level, otherLevel);
  FreeLevel();
  std::swap(Level, otherLevel);
  if (!loaded) {
    RandomState = shownRandomState;
    if ((how & kQuietFailure) != 0) ShowMessage(("Not reloaded: " + wanted).c_str());
  }
  MessagesOnStderr = shownOnStderr;
  // A quiet failure leaves the picture as it was: nothing to draw again.
  if (loaded || (how & kQuietFailure) == 0) InvalidateRect(window, nullptr, FALSE);
  if (!loaded) return 1;
  UploadLevel();
  if ((how & kKeepView) != 0) {
    KeepPickIfStillThere();
  } else {
    Inspect.pick = {};
  }
  Shown.path = wanted;
  // The same file as before is watched from how it was before this load,
  // so a change while it loaded still counts.
  WatchFile(OpenedMap.file, OpenedMap.file == Shown.file ? before : read);
  // Its compiler's files, watched from before they are read.
  WatchBesideFiles(CompilerFilesOf(OpenedMap));
  ReadBesideFiles(kTrailFiles | kPortalFile);
  if ((how & kKeepView) == 0) {
    glLoadIdentity();
    PlaceCamera();
    glPolygonMode(GL_FRONT, GL_FILL);
  }
  return 0;
}

void OnPaint(HWND window) {
  ShownTime = ClockTime(GetTickCount());
  const auto start = std::chrono::steady_clock::now();
  DrawLevel();
  SwapBuffers(DeviceContext);
  NoteFrameTime(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  ValidateRect(window, nullptr);
  // The next frame comes from the timer, or nothing is drawn until
  // something happens; a minimised window is drawn again once restored.
  const bool moving = MapClock.running && FrameMoves() && !IsIconic(window);
  if (moving != redrawing) {
    redrawing = moving;
    if (moving) {
      SetTimer(window, kFrameTimer, kFramePeriod, nullptr);
    } else {
      KillTimer(window, kFrameTimer);
    }
  }
}

void Shutdown() {
  if (ended) return;
  ended = true;
  ReleaseGlContext();
  ForgetLevelTextures();  // they went with the context
  FreeLevel();
  PostQuitMessage(0);
}
