// The SDL stand-in's own state, shared between its window and OpenGL halves:
// the one window and what it knows. Not for the program: it includes
// win32.h, never this.
#pragma once

#include <SDL.h>

#include <string>

#include "platform/sdl_win32.h"

struct PlatformWindow {
  HWND handle;  // null when there is no window
  HDC dc;       // the window's one device context
  WNDPROC procedure;
  UINT classStyle;
  DWORD style;
  std::string title;
  int x, y;
  int width, height;      // client area, as last reported by WM_SIZE
  SDL_Window* sdlWindow;  // made at SetPixelFormat, or at ShowWindow when none was set
  Uint32 sdlWindowId;
  bool visible;
  bool acceptsFiles;         // DragAcceptFiles: drops become WM_DROPFILES
  bool destroying;           // WM_DESTROY is being sent: DestroyWindow may not start again
  bool invalid;              // part of the client area needs repainting:
  RECT invalidRect;          //   at most this bounding rectangle of it
  int pixelFormat;           // 0 until SetPixelFormat
  PIXELFORMATDESCRIPTOR obtained;  // what the display really gave for pixelFormat
};

extern PlatformWindow MainWindow;

bool IsLiveWindow(HWND window);
bool IsLiveDc(HDC dc);

// Handles are numbers that are never reused, so a stale one never names a
// newer window, device context or OpenGL context.
uintptr_t NewHandle();

// Creates the hidden SDL window for MainWindow with the GL attributes now
// set; reports a failure on stderr.
bool CreateSdlWindow();

// Maps MainWindow's SDL window and gives it the keyboard.
void ShowSdlWindow();

// Marks the whole client area for repainting.
void InvalidateAll();

// Deletes every OpenGL context still alive; run before the window goes.
void DeleteAllGlContexts();

// Keeps a late wake-up that SDL sent to a window destroyed since from ending
// the program; run before SDL's video starts.
void IgnoreLateWakeUps();
