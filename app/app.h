// The program's frame: the entry point, the window procedure and the
// start-up, repaint, drop and end sequences.
#pragma once

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OnCreate(HWND window);
void OnPaint(HWND window);

// Opens the first file of the drop in place of the map on show, and
// releases the drop. The other files are ignored.
void OnDropFiles(HWND window, HDROP drop);

// How ReplaceMap shows the new map.
constexpr int kFreshView = 0;     // from its starting view, filled, as a start would
constexpr int kKeepView = 1;      // from the view on show, in the same drawing mode
constexpr int kQuietFailure = 2;  // a failure's message goes to stderr, not a box

// The one place a level is replaced: loads the map at `path`, its colours
// starting again as at a start, releases the map on show, closes the file
// and watches it, and reads and watches the compiler's files beside it.
// Returns 0; or, when the map cannot be opened or loaded, shows why and
// returns 1 with the map on show, and its files, as they were.
int ReplaceMap(HWND window, const char* path, int how);

// The map on show again from its path, keeping the view: the R key.
void ReloadMap(HWND window);

// Releases the GL context and the level and posts the quit request. Safe to
// reach more than once: a second call releases nothing.
void Shutdown();
