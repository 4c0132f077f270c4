// The program's commands: typed characters, the keys that are not
// characters, and the mouse, as the window procedure hands them over. What
// moves the camera or changes the view goes to view/; what the program
// itself does (quit, reload) happens here, and so do the keys of the
// overlays (K, P) and of the steps along the leak's trail (N, B).
#pragma once

#include "platform/win32.h"

// Runs the command of one typed character and asks for a repaint after any
// command but Esc and Ctrl+C (3, which copies the camera's position);
// characters without a command do nothing. Letters work in either case.
// Space starts and stops the map's clock.
void OnKey(HWND window, int character);

// The arrow keys, Page Up and Page Down (WM_KEYDOWN): the commands of 8, 2,
// 4, 6, + and -. Other keys do nothing.
void OnKeyDown(HWND window, WPARAM key);

// WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE and WM_MOUSEWHEEL: a drag with
// the left button turns (1/16 degree a pixel) and tilts the view; a press
// and release that never strays more than 3 pixels is a click, which picks
// what lies under the pointer (nothing clears the pick); each notch of the
// wheel moves as 8 (away from the user) or 2 does. Asks for a repaint when
// the view changed.
void OnMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
