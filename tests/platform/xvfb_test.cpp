// The window layer on a real X server: platform_scenario runs under a
// private Xvfb while the test types keys, closes, resizes and looks at it.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/xvfb.h"

namespace {

using mivo_test::Image;
using mivo_test::Process;
using mivo_test::WaitUntil;
using mivo_test::Xvfb;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

size_t Count(const std::vector<std::string>& lines, const std::string& wanted) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), wanted));
}

// Whether `wanted` appear in this order among the lines from `from` on
// (others may come between them).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted,
             size_t from = 0) {
  size_t next = 0;
  for (size_t i = from; i < lines.size() && next < wanted.size(); ++i) {
    if (lines[i] == wanted[next]) ++next;
  }
  return next == wanted.size();
}

class XvfbTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x.Ready()) << x.Error();
    scenario = x.Start({MIVO_SCENARIO, "window"});
    ASSERT_TRUE(scenario.Started());
    window = x.WaitForWindow("Platform scenario");
    ASSERT_FALSE(window.empty()) << scenario.Output() << scenario.Errors();
    ASSERT_TRUE(WaitFor({"shown"}));
  }

  std::vector<std::string> Said() const { return Lines(scenario.Output()); }

  // Waits until the scenario has said these lines in this order, after the
  // first `from` lines.
  bool WaitFor(const std::vector<std::string>& wanted, size_t from = 0) {
    bool said = WaitUntil([&] { return InOrder(Said(), wanted, from); });
    if (!said) ADD_FAILURE() << "waiting for " << testing::PrintToString(wanted) << " in\n"
                             << scenario.Output() << scenario.Errors();
    return said;
  }

  Xvfb x;
  Process scenario;
  std::string window;
};

TEST_F(XvfbTest, TheWindowIsWhatWasAskedForAndTheCloseBoxEndsIt) {
  std::vector<std::string> said = Said();
  ASSERT_GE(said.size(), 5u);
  EXPECT_EQ(said[0], "WM_CREATE");
  // The request's 32 depth bits are there on this display, double buffered.
  EXPECT_EQ(said[1], "format 1 set 1 count 6 flags 0x25 colour 24 depth 32 stencil 0");
  EXPECT_EQ(said[2], "context made current 1");
  EXPECT_EQ(said[3], "WM_SIZE 0 640 480");
  EXPECT_EQ(said[4], "WM_PAINT") << "UpdateWindow paints before the loop starts";

  std::string info;
  ASSERT_EQ(x.Run({"xwininfo", "-id", window}, &info), 0);
  EXPECT_NE(info.find("Absolute upper-left X:  0\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Absolute upper-left Y:  0\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Width: 640\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 480\n"), std::string::npos) << info;
  std::string windowClass;
  ASSERT_EQ(x.Run({"xprop", "-id", window, "WM_CLASS"}, &windowClass), 0);
  EXPECT_EQ(windowClass, "WM_CLASS(STRING) = \"MivoScenario\", \"MivoScenario\"\n");

  // The painted colour fills the window, and only the window.
  Image screen;
  ASSERT_TRUE(WaitUntil([&] { return x.Screenshot(screen) && screen.Pixel(320, 240) == 0x336699; }))
      << std::hex << screen.Pixel(320, 240);
  EXPECT_EQ(screen.Pixel(0, 0), 0x336699u);
  EXPECT_EQ(screen.Pixel(639, 479), 0x336699u);
  EXPECT_NE(screen.Pixel(640, 240), 0x336699u);
  EXPECT_NE(screen.Pixel(320, 480), 0x336699u);

  size_t before = Said().size();
  ASSERT_TRUE(x.Close(window));
  EXPECT_TRUE(WaitFor({"WM_CLOSE", "WM_DESTROY", "quit 0"}, before));
  EXPECT_EQ(scenario.WaitForExit(), 0) << scenario.Errors();
  EXPECT_EQ(Count(Said(), "WM_CLOSE"), 1u) << "one close box, one WM_CLOSE";
}

TEST_F(XvfbTest, RealKeysBecomeCharacters) {
  // The key pad's 8 key is KP_Up; with Num Lock on it types "8".
  ASSERT_TRUE(x.NumLock(true));
  ASSERT_TRUE(x.Keys(window, {"KP_Up", "w", "Escape", "Return"}));
  EXPECT_TRUE(WaitFor({"WM_CHAR 56", "WM_CHAR 119", "WM_KEYDOWN 27", "WM_CHAR 27",
                       "WM_KEYDOWN 13", "WM_CHAR 13"}));

  // Without Num Lock the same key moves a cursor and types nothing.
  size_t before = Said().size();
  ASSERT_TRUE(x.NumLock(false));
  ASSERT_TRUE(x.Keys(window, {"KP_Up", "x"}));
  ASSERT_TRUE(WaitFor({"WM_CHAR 120"}, before));
  EXPECT_EQ(Count(Said(), "WM_CHAR 56"), 1u);

  // A held key repeats, each repeat its own character.
  before = Said().size();
  ASSERT_TRUE(x.KeyDown(window, "w"));
  bool repeated = WaitUntil([&] {
    std::vector<std::string> said = Said();
    return Count(std::vector<std::string>(said.begin() + static_cast<long>(before), said.end()),
                 "WM_CHAR 119") >= 3;
  });
  ASSERT_TRUE(x.KeyUp("w"));
  EXPECT_TRUE(repeated) << scenario.Output();

  ASSERT_TRUE(x.Close(window));
  EXPECT_EQ(scenario.WaitForExit(), 0) << scenario.Errors();
}

TEST_F(XvfbTest, ResizingGivesSizeThenPaintAndSigtermCloses) {
  size_t before = Said().size();
  ASSERT_TRUE(x.Resize(window, 800, 600));
  EXPECT_TRUE(WaitFor({"WM_SIZE 0 800 600", "WM_PAINT"}, before));

  before = Said().size();
  scenario.Signal(SIGTERM);
  EXPECT_TRUE(WaitFor({"WM_CLOSE", "WM_DESTROY", "quit 0"}, before));
  EXPECT_EQ(scenario.WaitForExit(), 0) << scenario.Errors();
}

TEST(XvfbMessageBox, ShowsTheTextTitledErrorAndWaitsForOk) {
  Xvfb x;
  ASSERT_TRUE(x.Ready()) << x.Error();
  Process box = x.Start({MIVO_SCENARIO, "messagebox"});
  std::string window = x.WaitForWindow("Error");
  ASSERT_FALSE(window.empty()) << box.Errors();
  EXPECT_TRUE(box.Running()) << "it waits for OK";
  // Focus follows the pointer without a window manager: give it the keyboard.
  ASSERT_TRUE(x.Keys(window, {"Return"}));
  EXPECT_EQ(box.WaitForExit(), 0) << box.Errors();
  EXPECT_EQ(box.Output(), "result 1\n");
  EXPECT_TRUE(box.Errors().find("A message for the scenario.") == std::string::npos)
      << "the text went to the box, not to stderr";
}

}  // namespace
