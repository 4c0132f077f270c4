// Stand-ins for the Win32 types, constants and calls the program makes, for
// systems without Win32: the same names, Win32's values and signatures, and
// the behaviour the program relies on, written on SDL2.
//
// One window at a time, one thread. What differs from Win32:
// - GetMessageA takes no filter: pass (msg, nullptr, 0, 0); anything else
//   returns -1. It also returns -1, instead of waiting forever, when no
//   window exists and nothing is queued.
// - Only the Esc, Backspace, Tab and Enter keys (the keys Windows turns into
//   characters but SDL gives no text for), the four arrows, Page Up, Page
//   Down and F12 give WM_KEYDOWN; every other character arrives as WM_CHAR
//   straight from the text SDL reports, and Ctrl with a letter as the
//   WM_CHAR of its control code (Ctrl+C: 3), as TranslateMessage makes it.
//   There is no WM_KEYUP and no WM_ERASEBKGND.
// - The clipboard holds text alone, as SDL's clipboard does.
// - Of the mouse there are the left button, moves and the wheel; no other
//   button, no WM_CAPTURECHANGED.
// - Timers belong to the window and have no TIMERPROC.
// - The window's frame, if a window manager adds one, lies outside the
//   requested size: the client area is the size CreateWindowExA was given.
// - Files dropped together arrive as one WM_DROPFILES naming them all, as
//   on Windows; dropped text that names no file is ignored.
// - An OpenGL context ends with its window: DestroyWindow deletes any left.
// - SDL's video and the OpenGL library start with the first window and stay
//   until the process ends, so the X11 WM_CLASS of every window is the class
//   name of the first.
// - Without a display SDL would fall back to an invisible window;
//   CreateWindowExA refuses that (it returns null and says why on stderr)
//   unless SDL_VIDEODRIVER names the invisible driver. Windows nobody sees
//   show no message boxes either: with SDL_VIDEODRIVER=offscreen the text
//   of a box goes to stderr.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef int32_t LONG;  // 32 bits, as on Windows
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef WORD ATOM;
typedef void* LPVOID;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef HANDLE HGLOBAL;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef struct HINSTANCE__* HINSTANCE;
typedef struct HWND__* HWND;
typedef struct HDC__* HDC;
typedef struct HGLRC__* HGLRC;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;
typedef struct HDROP__* HDROP;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr WORD LOWORD(ULONG_PTR value) { return static_cast<WORD>(value & 0xFFFF); }
constexpr WORD HIWORD(ULONG_PTR value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)(WORD)(i))

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

// Unlike Win32's, every field starts at zero, so designated initialisers may
// leave fields out without a warning.

struct POINT {
  LONG x = 0;
  LONG y = 0;
};

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;  // exclusive
  LONG bottom = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;  // milliseconds since the layer started
  POINT pt{};
};

struct WNDCLASSA {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCSTR lpszMenuName = nullptr;
  LPCSTR lpszClassName = nullptr;
};

struct PIXELFORMATDESCRIPTOR {
  WORD nSize = 0;
  WORD nVersion = 0;
  DWORD dwFlags = 0;
  BYTE iPixelType = 0;
  BYTE cColorBits = 0;  // colour buffer bits without alpha
  BYTE cRedBits = 0;
  BYTE cRedShift = 0;
  BYTE cGreenBits = 0;
  BYTE cGreenShift = 0;
  BYTE cBlueBits = 0;
  BYTE cBlueShift = 0;
  BYTE cAlphaBits = 0;
  BYTE cAlphaShift = 0;
  BYTE cAccumBits = 0;
  BYTE cAccumRedBits = 0;
  BYTE cAccumGreenBits = 0;
  BYTE cAccumBlueBits = 0;
  BYTE cAccumAlphaBits = 0;
  BYTE cDepthBits = 0;
  BYTE cStencilBits = 0;
  BYTE cAuxBuffers = 0;
  BYTE iLayerType = 0;
  BYTE bReserved = 0;
  DWORD dwLayerMask = 0;
  DWORD dwVisibleMask = 0;
  DWORD dwDamageMask = 0;
};
// 100-nanosecond intervals since 1601-01-01 (UTC).
struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime{};  // zero where the file system keeps none
  FILETIME ftLastAccessTime{};
  FILETIME ftLastWriteTime{};
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
};

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);
static_assert(offsetof(PIXELFORMATDESCRIPTOR, iPixelType) == 8);
static_assert(offsetof(PIXELFORMATDESCRIPTOR, cDepthBits) == 23);
static_assert(offsetof(PIXELFORMATDESCRIPTOR, dwLayerMask) == 28);

// Messages.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_TIMER = 0x0113;        // wParam: the timer's id
constexpr UINT WM_MOUSEMOVE = 0x0200;    // wParam: MK_ flags; lParam: client x, y
constexpr UINT WM_LBUTTONDOWN = 0x0201;  //   as WM_MOUSEMOVE
constexpr UINT WM_LBUTTONUP = 0x0202;    //   as WM_MOUSEMOVE
constexpr UINT WM_MOUSEWHEEL = 0x020A;   // wParam: MK_ flags, delta above; lParam: screen x, y
constexpr UINT WM_DROPFILES = 0x0233;    // wParam: the HDROP

// The buttons and keys held, in the low word of a mouse message's wParam.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// A notch of the wheel; a turn away from the user is positive.
constexpr int WHEEL_DELTA = 120;
constexpr short GET_WHEEL_DELTA_WPARAM(WPARAM wParam) { return static_cast<short>(HIWORD(wParam)); }

// WM_SIZE's wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_KEYDOWN's wParam for the keys that have one.
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_F12 = 0x7B;
constexpr WPARAM VK_PRIOR = 0x21;  // Page Up
constexpr WPARAM VK_NEXT = 0x22;   // Page Down
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;

// Class and window styles. Of the window styles only WS_THICKFRAME (the
// window can be resized) and WS_VISIBLE change anything here.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_POPUP = 0x80000000;

// ShowWindow: SW_HIDE hides; every other command shows and activates.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWDEFAULT = 10;

constexpr UINT MB_OK = 0x00000000;
constexpr int IDOK = 1;

#define IDC_ARROW MAKEINTRESOURCEA(32512)
constexpr int COLOR_BACKGROUND = 1;

// Pixel formats.
constexpr DWORD PFD_DOUBLEBUFFER = 0x00000001;
constexpr DWORD PFD_STEREO = 0x00000002;
constexpr DWORD PFD_DRAW_TO_WINDOW = 0x00000004;
constexpr DWORD PFD_DRAW_TO_BITMAP = 0x00000008;
constexpr DWORD PFD_SUPPORT_GDI = 0x00000010;
constexpr DWORD PFD_SUPPORT_OPENGL = 0x00000020;
constexpr DWORD PFD_GENERIC_FORMAT = 0x00000040;
constexpr DWORD PFD_NEED_PALETTE = 0x00000080;
constexpr DWORD PFD_NEED_SYSTEM_PALETTE = 0x00000100;
constexpr DWORD PFD_DEPTH_DONTCARE = 0x20000000;
constexpr DWORD PFD_DOUBLEBUFFER_DONTCARE = 0x40000000;
constexpr BYTE PFD_TYPE_RGBA = 0;
constexpr BYTE PFD_TYPE_COLORINDEX = 1;
constexpr BYTE PFD_MAIN_PLANE = 0;

// --- Windows and messages ---

// Copies the class; its name is compared without regard to case. Returns
// the class atom, or 0 when the class has no name or procedure or the name
// is taken.
ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass);

// Starts SDL's video if no window did before (WM_CLASS becomes this class
// name), sends WM_CREATE and then the first WM_SIZE to the class's
// procedure, and returns the window, not yet shown unless the style has
// WS_VISIBLE. Returns null
// when the class is unknown, a window already exists, there is no display,
// or the procedure answered WM_CREATE with -1. Only top-level windows: the
// parent must be null. x, y, width and height are the client area's.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);

// Shows (and gives the keyboard to) or hides the window. A newly shown
// window is wholly invalid. Returns whether it was visible before.
BOOL WINAPI ShowWindow(HWND window, int command);

// Sends WM_PAINT at once when the window is visible and partly invalid.
BOOL WINAPI UpdateWindow(HWND window);

// Whether the window is minimised.
BOOL WINAPI IsIconic(HWND window);

// Takes the next message: first those TranslateMessage queued, then the quit
// request (returns 0, its code in wParam), then the window's input (WM_CHAR,
// WM_KEYDOWN, the mouse's, WM_SIZE, WM_CLOSE, WM_DROPFILES), then WM_PAINT
// when the window is visible and partly invalid, so repaints coalesce, then
// WM_TIMER for a timer that is due. Waits, without using the processor,
// when there is none. Successive mouse moves with the same buttons held
// coalesce into the last.
BOOL WINAPI GetMessageA(MSG* msg, HWND window, UINT firstMessage, UINT lastMessage);

// For WM_KEYDOWN of Esc, Backspace, Tab or Enter, queues the WM_CHAR of the
// same code to come next. Returns TRUE for any WM_KEYDOWN.
BOOL WINAPI TranslateMessage(const MSG* msg);

// Calls the procedure of the message's window and returns its result; 0 for
// a message without a live window.
LRESULT WINAPI DispatchMessageA(const MSG* msg);

// WM_CLOSE destroys the window; WM_PAINT validates it; everything else is
// ignored. Returns 0.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues the quit request that ends GetMessageA with `exitCode`.
void WINAPI PostQuitMessage(int exitCode);

// Sends WM_DESTROY, then removes the window: nothing more is delivered for
// it, and its device context and OpenGL contexts become invalid.
BOOL WINAPI DestroyWindow(HWND window);

// The window's one device context; it is never released.
HDC WINAPI GetDC(HWND window);

// The client area, {0, 0, width, height}.
BOOL WINAPI GetClientRect(HWND window, RECT* rect);

// Marks the area (the whole client area for a null rect) for repainting.
// Erasing is never done: `erase` is ignored.
BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// Clears the need to repaint when `rect` is null or covers all that is
// invalid; a smaller rect leaves the window invalid.
BOOL WINAPI ValidateRect(HWND window, const RECT* rect);

// The arrow cursor for (nullptr, IDC_ARROW), the only cursor there is
// (and what SDL shows anyway); null for anything else.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// Gives the mouse to the window, so its messages keep coming while a button
// is held outside it. Returns the window that had it, or null.
HWND WINAPI SetCapture(HWND window);
BOOL WINAPI ReleaseCapture();

// --- Timers and time ---

// Sends the window WM_TIMER with `id` every `elapse` milliseconds (10 at
// least), when nothing else is waiting; a timer of the same id is replaced.
// Timers end with their window. Returns nonzero; 0 for a dead window or a
// TIMERPROC, which is not offered.
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);

// Ends the window's timer `id`: no WM_TIMER of it comes from now on. FALSE
// when there is no such timer.
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// Milliseconds since the layer started; wraps after 49.7 days.
DWORD WINAPI GetTickCount();

// --- Files ---

// The file's attributes, size and times (GetFileExInfoStandard only); FALSE
// when there is no such file or folder.
BOOL WINAPI GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);

// For a debugger, which is never attached here: does nothing.
void WINAPI OutputDebugStringA(LPCSTR text);

// --- Dropped files ---

// Whether the window takes files dropped on it: only then does a drop
// become a WM_DROPFILES. A new window does not.
void WINAPI DragAcceptFiles(HWND window, BOOL accept);

// For index 0xFFFFFFFF, the number of files the drop names. Otherwise the
// length of the index-th name without its terminator, when `file` is null;
// or copies as much of the name as fits into `size` characters of `file`,
// always terminated, and returns the number copied without the terminator.
// 0 for an unknown drop or index.
UINT WINAPI DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT size);

// Releases the drop; its handle names nothing from then on.
void WINAPI DragFinish(HDROP drop);

// --- Message box ---

// Shows `text` in a box with one OK button, titled "Error" when no caption
// is given, and waits for OK. When no box can be shown (no display), or
// SDL_VIDEODRIVER asks for the offscreen driver, writes the text to stderr
// instead so the user still learns it. Returns IDOK, or 0 when no box was
// shown.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// --- Files ---

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001;

// Renames a file, replacing any file of the new name in one step. Only with
// MOVEFILE_REPLACE_EXISTING: without it, returns FALSE and moves nothing.
// On failure errno says why.
BOOL WINAPI MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags);

// --- Global memory and the clipboard ---

constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT CF_TEXT = 1;

// A block of `bytes` bytes, uninitialised; `flags` other than GMEM_MOVEABLE
// are ignored. Null when there is no memory for it.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);

// The block's bytes, null for a null handle. Locks nest; GlobalUnlock
// returns whether the block is still locked.
LPVOID WINAPI GlobalLock(HGLOBAL memory);
BOOL WINAPI GlobalUnlock(HGLOBAL memory);

// Frees the block; returns null, or the handle when it is the clipboard's.
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);

// Opens the clipboard for changes; FALSE when it is open already.
BOOL WINAPI OpenClipboard(HWND owner);

// Empties the open clipboard; FALSE when it is not open.
BOOL WINAPI EmptyClipboard();

// For CF_TEXT only, on the open clipboard after EmptyClipboard: hands the
// block's text (up to its terminating zero, within the block) to SDL's
// clipboard and the block to the clipboard, which frees it at the next
// EmptyClipboard. Returns the block, or null when nothing was copied (the
// block is still the caller's).
HANDLE WINAPI SetClipboardData(UINT format, HANDLE data);

// Closes the clipboard; FALSE when it was not open.
BOOL WINAPI CloseClipboard();

// --- Pixel formats and OpenGL ---

// Returns the offered format nearest the request: RGB 8/8/8 with no alpha,
// stencil or accumulation buffer, double buffered if asked, with the
// requested depth bits or else 32, 24 or 16, the first that the display
// can give. Returns 0 when it can give none.
int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request);

// Sets the format (once per window) and creates the window's SDL window,
// hidden, with it. `request` is not used.
BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* request);

// The format set on the device context, or 0.
int WINAPI GetPixelFormat(HDC dc);

// Describes a format into at most `size` bytes of `description` (none when
// it is null) and returns the number of formats; 0 for a format that does
// not exist (0 is none). The format set on the window is described as it
// was really obtained, PFD_NEED_PALETTE included when the window's pixels
// are indexed.
int WINAPI DescribePixelFormat(HDC dc, int format, UINT size, PIXELFORMATDESCRIPTOR* description);

// Presents the back buffer.
BOOL WINAPI SwapBuffers(HDC dc);

// Creates an OpenGL context for a device context with a pixel format; it is
// not made current.
HGLRC WINAPI wglCreateContext(HDC dc);

// Makes the context current on the window; a null context releases the
// current one.
BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context);

// Deletes a context, releasing it first if current. FALSE for a null or
// unknown context.
BOOL WINAPI wglDeleteContext(HGLRC context);

// Any function of the current context: the address of the OpenGL function
// `name` (an extension's, say), or null when there is none.
typedef int(WINAPI* PROC)();
PROC WINAPI wglGetProcAddress(LPCSTR name);
