// Test-only control of the SDL stand-in, for tests of code above it that
// must meet what no display here can produce. The program never includes
// this header, and nothing changes unless a test calls it.
#pragma once

// While on, DescribePixelFormat describes the pixel format set on the window
// as an 8-bit colour-index one with PFD_NEED_PALETTE, as a palette display
// would; no display with GL here has one. Off again restores the truth.
void PretendPalettePixelFormat(bool on);
