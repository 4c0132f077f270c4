// The program's frame: the entry point, the window procedure and the
// start-up, repaint and end sequences.
#pragma once

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OnCreate(HWND window);
void OnPaint(HWND window);

// Releases the GL context and the level and posts the quit request. Safe to
// reach more than once: a second call releases nothing.
void Shutdown();
