// Pictures of what GL drew: read back from the buffer drawn into, shrunk
// for thumbnails, and written as PNG files.
#pragma once

#include "platform/win32.h"

// Reads the width x height lower-left part of the buffer GL draws into,
// shrinks it to fit size x size when it is larger (0: never), keeping its
// shape, and writes it as a PNG at `path`. The file is written beside `path`
// first and then renamed over it, so `path` never holds a partial picture.
// Returns 0, or 1 after showing why it failed.
int SavePicture(const char* path, int width, int height, int size);

// F12: draws the frame again and saves the client area, what is on show,
// as mivo0000.png, mivo0001.png, ... in the current folder, the first name
// that is free. A failure shows its message and ends nothing.
void SaveScreenshot(HWND window);
