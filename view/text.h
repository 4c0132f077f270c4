// Text over the frame: light letters on a dark box, in pixels of the
// 640 x 480 picture counted from its top left. Letters are stb_easy_font's
// (ASCII, drawn as quads), sent through GL 1.1 client arrays.
#pragma once

#include <string>
#include <vector>

constexpr int kTextLineHeight = 12;  // pixels from one line to the next

// The box that holds `lines`: its width and height in pixels.
int TextBoxWidth(const std::vector<std::string>& lines);
int TextBoxHeight(const std::vector<std::string>& lines);

// Draws `lines` in their box with its top left at (x, y), at least `width`
// pixels wide. Characters outside printable ASCII show as '?'. Leaves GL's
// state and matrices as it found them.
void DrawTextBox(const std::vector<std::string>& lines, int x, int y, int width = 0);
