// The real program: its window, its first frame, how it ends, and what it
// says when it cannot show a map.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "tests/e2e/frames.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"
#include "tests/unit/test_maps.h"
#include "tools/bsp_writer.h"

using mivo_test::Image;
using mivo_test::Process;
using mivo_test::Xvfb;

namespace {

const char kTitle[] = "Darro's Mivo: Use the Key Pad to move around.";

struct Started {
  Process viewer;
  std::string window;
};

Started StartViewer(const Xvfb& x, const std::string& map = MIVO_DEMO_MAP) {
  Started s;
  s.viewer = x.Start({MIVO_PROGRAM, map});
  s.window = x.WaitForWindow(kTitle);
  return s;
}

// A damaged copy of the demo map: its first surface edge names an edge the
// file does not have.
std::string DamagedMap() {
  MapDraft map = DemoMap();
  map.surfEdges[0] = static_cast<SurfEdge>(map.edges.size());
  return TemporaryMap(BspBytes(map), "damaged.bsp");
}

}  // namespace

TEST(Program, OpensItsWindowAndShowsTheFirstFrame) {
  Xvfb x;
  ASSERT_TRUE(x.Ready()) << x.Error();
  Started s = StartViewer(x);
  ASSERT_FALSE(s.window.empty()) << s.viewer.Errors();

  std::string info;
  x.Run({"xwininfo", "-id", s.window}, &info);
  EXPECT_NE(info.find("Absolute upper-left X:  0\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Absolute upper-left Y:  0\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Width: 640\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 480\n"), std::string::npos) << info;
  std::string wmClass;
  x.Run({"xprop", "-id", s.window, "WM_CLASS"}, &wmClass);
  EXPECT_NE(wmClass.find("\"Mivo\""), std::string::npos) << wmClass;

  const std::vector<uint8_t> expected = OffscreenFrame(MIVO_DEMO_MAP);
  ASSERT_FALSE(expected.empty());
  EXPECT_LE(WaitForFrame(x, expected), kFrameTolerance);
}

TEST(Program, CloseBoxAndSigtermEndWithStatusZero) {
  Xvfb x;
  ASSERT_TRUE(x.Ready()) << x.Error();
  // Both end a viewer that is showing its map.
  const std::vector<uint8_t> first = OffscreenFrame(MIVO_DEMO_MAP);
  {
    SCOPED_TRACE("close box");
    Started s = StartViewer(x);
    ASSERT_FALSE(s.window.empty()) << s.viewer.Errors();
    ASSERT_LE(WaitForFrame(x, first), kFrameTolerance);
    ASSERT_TRUE(x.Close(s.window));
    EXPECT_EQ(s.viewer.WaitForExit(), 0) << s.viewer.Errors();
  }
  {
    SCOPED_TRACE("SIGTERM");
    Started s = StartViewer(x);
    ASSERT_FALSE(s.window.empty()) << s.viewer.Errors();
    ASSERT_LE(WaitForFrame(x, first), kFrameTolerance);
    s.viewer.Signal(SIGTERM);
    EXPECT_EQ(s.viewer.WaitForExit(), 0) << s.viewer.Errors();
  }
}

TEST(Program, ResizingKeepsTheViewAndTheViewport) {
  Xvfb x;
  ASSERT_TRUE(x.Ready()) << x.Error();
  Started s = StartViewer(x);
  ASSERT_FALSE(s.window.empty()) << s.viewer.Errors();
  const std::vector<uint8_t> expected = OffscreenFrame(MIVO_DEMO_MAP, "84");
  ASSERT_TRUE(x.Keys(s.window, {"8", "4"}));
  ASSERT_LE(WaitForFrame(x, expected), kFrameTolerance);

  ASSERT_TRUE(x.Resize(s.window, 800, 600));
  // The viewport stays 640 x 480 at the client area's lower-left corner,
  // with the same view; the rest of the client area is cleared to black.
  EXPECT_LE(WaitForFrame(x, expected, 600), kFrameTolerance);
  Image screen;
  ASSERT_TRUE(x.Screenshot(screen));
  int lit = 0;
  for (int y = 0; y < 600; y += 7) {
    for (int px = 640; px < 800; px += 7) lit += screen.Pixel(px, y) != 0;
  }
  for (int y = 0; y < 120; y += 7) {
    for (int px = 0; px < 640; px += 7) lit += screen.Pixel(px, y) != 0;
  }
  EXPECT_EQ(lit, 0) << "pixels outside the viewport are not black";
}

TEST(Program, MissingMapIsReportedWithStatusOne) {
  const std::string missing = "/nonexistent/maps/start.bsp";
  {
    SCOPED_TRACE("no box can be shown: stderr");
    Process viewer = Process::Start({MIVO_PROGRAM, missing}, {"DISPLAY=", "SDL_VIDEODRIVER=offscreen"});
    EXPECT_EQ(viewer.WaitForExit(), 1);
    EXPECT_NE(viewer.Errors().find("Error opening bsp file (not found?)"), std::string::npos)
        << viewer.Errors();
  }
  {
    SCOPED_TRACE("under X: a box, and no main window");
    Xvfb x;
    ASSERT_TRUE(x.Ready()) << x.Error();
    Process viewer = x.Start({MIVO_PROGRAM, missing});
    std::string box = x.WaitForWindow("Error");
    ASSERT_FALSE(box.empty()) << viewer.Errors();
    // The main window may exist, hidden, but was never shown.
    std::string main;
    x.Run({"xwininfo", "-name", kTitle}, &main);
    EXPECT_EQ(main.find("IsViewable"), std::string::npos) << main;
    EXPECT_TRUE(viewer.Running());  // waiting for OK
    ASSERT_TRUE(x.Keys(box, {"Return"}));
    EXPECT_EQ(viewer.WaitForExit(), 1);
  }
}

TEST(Program, DamagedMapIsReportedWithStatusOne) {
  const std::string damaged = DamagedMap();
  ASSERT_FALSE(damaged.empty());
  Process viewer = Process::Start({MIVO_PROGRAM, damaged}, {"DISPLAY=", "SDL_VIDEODRIVER=offscreen"});
  EXPECT_EQ(viewer.WaitForExit(), 1);
  EXPECT_NE(viewer.Errors().find(
                "Error: bsp file is damaged (bad face, edge or vertex reference)."),
            std::string::npos)
      << viewer.Errors();
}

TEST(Program, NoDisplayIsReportedWithStatusOne) {
  // No X server and no driver asked for: SDL would fall back to an
  // invisible window; the program says why it cannot show one instead.
  Process viewer = Process::Start({MIVO_PROGRAM, MIVO_DEMO_MAP}, {"DISPLAY=", "SDL_VIDEODRIVER"});
  EXPECT_EQ(viewer.WaitForExit(), 1);
  EXPECT_NE(viewer.Errors().find("Error creating the main window (no display?)"),
            std::string::npos)
      << viewer.Errors();
}

TEST(Program, CommandLine) {
  std::string out;
  EXPECT_EQ(mivo_test::Run({MIVO_PROGRAM, "--help"}, {}, &out), 0);
  EXPECT_NE(out.find("Usage:"), std::string::npos) << out;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{MIVO_PROGRAM, "--fast"},
        std::vector<std::string>{MIVO_PROGRAM, "a.bsp", "b.bsp"}}) {
    SCOPED_TRACE(args.back());
    Process p = Process::Start(args, {"DISPLAY=", "SDL_VIDEODRIVER=offscreen"});
    EXPECT_EQ(p.WaitForExit(), 2);
    EXPECT_NE(p.Errors().find("Usage:"), std::string::npos);
    EXPECT_EQ(p.Output(), "");
  }
}
