// Test support: a private X server (Xvfb) for end-to-end tests of programs
// with windows, and the tools to drive it.
//
//   Xvfb x;                                          // a 1024x768x24 screen on a free display
//   ASSERT_TRUE(x.Ready()) << x.Error();
//   Process viewer = x.Start({program, "map.bsp"});  // DISPLAY set, SDL_VIDEODRIVER=x11
//   std::string window = x.WaitForWindow("Title");   // mapped; "" after the time limit
//   ASSERT_FALSE(window.empty()) << viewer.Errors();
//   x.Keys(window, {"w", "Escape"});                 // xdotool key names
//   x.Close(window);                                 // the close box: WM_DELETE_WINDOW
//   EXPECT_EQ(viewer.WaitForExit(), 0);
//   Image screen;
//   ASSERT_TRUE(x.Screenshot(screen));
//   uint32_t rgb = screen.Pixel(320, 240);           // 0xRRGGBB
//
// The screen has no window manager: windows have no frame, and a window
// sits exactly where its program put it. Num Lock is off when the server
// starts. Every wait polls with a generous limit; none sleeps a fixed time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace mivo_test {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel

  // 0xRRGGBB of pixel (x, y), x to the right and y down from the top left.
  uint32_t Pixel(int x, int y) const;
};

class Xvfb {
 public:
  // Starts the server and waits until it accepts clients.
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool Ready() const { return !display_.empty(); }
  const std::string& Error() const { return error_; }
  const std::string& Display() const { return display_; }  // ":N"

  // What a program needs to use this server: DISPLAY, and SDL_VIDEODRIVER=x11
  // over the offscreen driver the tests run with. The rest of the test's
  // environment passes on, its sanitizer options included (tests that use
  // this server are GL tests, which run without the leak checker).
  std::vector<std::string> Environment() const;

  // Starts a program on this server; `env` as for Process::Start, applied
  // after Environment().
  Process Start(const std::vector<std::string>& argv,
                const std::vector<std::string>& env = {}) const;

  // Runs a tool (xdotool, xprop ...) on this server to its end; as Run.
  int Run(const std::vector<std::string>& argv, std::string* output = nullptr) const;

  // Waits until a window with exactly this name is mapped and viewable;
  // returns its id ("0x...") or "" when none came in `seconds`.
  std::string WaitForWindow(const std::string& name, double seconds = WaitSeconds) const;

  // Whether a window with this id is still mapped and viewable.
  bool Viewable(const std::string& window) const;

  // Gives the window the keyboard and types the keys (xdotool key names:
  // "w", "KP_8", "Escape", "Return" ...), one press and release each.
  bool Keys(const std::string& window, const std::vector<std::string>& keys) const;

  // Holds a key down / lets it go (for auto-repeat).
  bool KeyDown(const std::string& window, const std::string& key) const;
  bool KeyUp(const std::string& key) const;

  // Locks or unlocks Num Lock, as the key would.
  bool NumLock(bool on) const;

  // Sends the window manager's request to close (WM_DELETE_WINDOW), which is
  // what the close box does.
  bool Close(const std::string& window) const;

  // Resizes the window as the user would by dragging its border.
  bool Resize(const std::string& window, int width, int height) const;

  // The whole screen as it is now.
  bool Screenshot(Image& image) const;

 private:
  Process server_;
  std::string display_;
  std::string error_;
};

}  // namespace mivo_test
