// Comparing what the real program shows with what the drawing code draws
// offscreen for the same map after the same commands.
#pragma once

#include <string>
#include <vector>

#include "tests/support/xvfb.h"

// The 640 x 480 frame DrawLevel makes for the map at `path` after the key
// commands in `characters`, rows from the top down as on the screen. Runs
// in a child process, so the program's globals stay fresh.
std::vector<uint8_t> OffscreenFrame(const std::string& path, const std::string& characters = "");

// The 640 x 480 region of the screen whose lower-left corner is at
// (0, bottom) counted from the screen's top left, rows from the top down.
std::vector<uint8_t> ScreenRegion(const mivo_test::Image& screen, int bottom = 480);

// How many pixels differ by more than a rounding step in any channel.
int DifferentPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Waits until the screen's 640 x 480 region at `bottom` matches `expected`;
// returns the pixels that still differ at the end.
int WaitForFrame(const mivo_test::Xvfb& x, const std::vector<uint8_t>& expected,
                 int bottom = 480);

// Pixels allowed to differ between the two: under the same Mesa the frames
// match but for a few pixels where coplanar faces meet.
constexpr int kFrameTolerance = 640 * 480 / 200;
