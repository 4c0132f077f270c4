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

// Shows the map at `path` as a start with it would: its colours, its
// starting view, filled faces; the old map is released. A file that cannot
// be opened or loaded shows its message and leaves the map on show as it
// was.
void OpenDroppedMap(HWND window, const char* path);

// Releases the GL context and the level and posts the quit request. Safe to
// reach more than once: a second call releases nothing.
void Shutdown();
