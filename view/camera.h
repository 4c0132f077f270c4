// Moving the view from the keyboard and the mouse. The camera is the
// modelview matrix: a move or a turn multiplies a translation or a rotation
// in front of it.
#pragma once

#include "platform/win32.h"

// Moves the eye by (dx, dy, dz) map units along its own axes.
void MoveCamera(float dx, float dy, float dz);

// Turns the eye about the map's vertical axis; positive turns left. With no
// pitch that is the eye's own vertical axis.
void TurnCamera(float angle);

// Tilts the eye up (positive) or down about its own horizontal axis, as far
// as 89 degrees from level.
void TiltCamera(float angle);

// Runs the command of one typed character and asks for a repaint after any
// command but Esc; characters without a command do nothing.
void OnKey(HWND window, int character);

// The arrow keys, Page Up and Page Down (WM_KEYDOWN): the commands of 8, 2,
// 4, 6, + and -. Other keys do nothing.
void OnKeyDown(HWND window, WPARAM key);

// WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE and WM_MOUSEWHEEL: a drag with
// the left button turns (1/16 degree a pixel) and tilts the view; each notch
// of the wheel moves as 8 (away from the user) or 2 does. Asks for a repaint
// when the view changed.
void OnMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
