// Moving the view from the keyboard. The camera is the modelview matrix:
// a move or a turn multiplies a translation or a rotation in front of it.
#pragma once

#include "platform/win32.h"

// Moves the eye by (dx, dy, dz) map units along its own axes.
void MoveCamera(float dx, float dy, float dz);

// Turns the eye about its own vertical axis; positive turns left.
void TurnCamera(float angle);

// Runs the command of one typed character and asks for a repaint after any
// command but Esc; characters without a command do nothing.
void OnKey(HWND window, int character);
