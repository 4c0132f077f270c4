// A real OpenGL context for tests and benchmarks, without a window anyone
// sees: SDL's offscreen driver gives Mesa's llvmpipe through EGL. The
// context is single-buffered, so glReadPixels sees what was just drawn.
#pragma once

#include <cstdint>
#include <vector>

// Makes a width x height context current. Returns 0 on success, 1 with the
// reason on stderr otherwise.
int OpenGlContext(int width = 640, int height = 480);
// Deletes the context and its window; SDL and GL stay loaded for the next.
void CloseGlContext();

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// Pixel (x, y) counted from the lower-left corner, after glFinish.
Rgb ReadPixel(int x, int y);

// The whole width x height frame, rows from the bottom up, 3 bytes a pixel.
std::vector<uint8_t> ReadFrame(int width = 640, int height = 480);
