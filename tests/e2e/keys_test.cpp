// Real key presses (xdotool) into the real program: the picture after a
// sequence of commands is the one the drawing code makes for the same
// commands, and Esc ends the program.
#include <gtest/gtest.h>

#include "tests/e2e/frames.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

using mivo_test::Process;
using mivo_test::Xvfb;

namespace {

const char kTitle[] = "Darro's Mivo: Use the Key Pad to move around.";

class Keys : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x.Ready()) << x.Error();
    viewer = x.Start({MIVO_PROGRAM, MIVO_DEMO_MAP});
    window = x.WaitForWindow(kTitle);
    ASSERT_FALSE(window.empty()) << viewer.Errors();
  }

  // Presses `keys` and checks that the picture becomes the offscreen frame
  // after `commands`.
  void ExpectPictureAfter(const std::vector<std::string>& keys, const std::string& commands) {
    const std::vector<uint8_t> expected = OffscreenFrame(MIVO_DEMO_MAP, commands);
    ASSERT_FALSE(expected.empty());
    ASSERT_TRUE(x.Keys(window, keys));
    EXPECT_LE(WaitForFrame(x, expected), kFrameTolerance) << "after " << commands;
  }

  Xvfb x;
  Process viewer;
  std::string window;
};

}  // namespace

TEST_F(Keys, KeyPadMovesTurnsAndSwitchesTheDrawingMode) {
  ASSERT_TRUE(x.NumLock(true));
  ExpectPictureAfter({"KP_8", "KP_8", "KP_4"}, "884");
  ExpectPictureAfter({"KP_Add", "KP_1", "KP_6", "KP_6"}, "884+166");
  ExpectPictureAfter({"KP_7"}, "884+1667");
  ExpectPictureAfter({"KP_2", "KP_Subtract", "KP_3"}, "884+16672-3");
  ExpectPictureAfter({"KP_9"}, "884+16672-39");
  ASSERT_TRUE(x.Keys(window, {"Escape"}));
  EXPECT_EQ(viewer.WaitForExit(), 0) << viewer.Errors();
}

TEST_F(Keys, LettersActAsTheKeyPadAndOthersDoNothing) {
  // "w" is wireframe like "7"; "f" filled like "9"; "5", "x" and Return
  // change nothing.
  ExpectPictureAfter({"8", "w"}, "87");
  ExpectPictureAfter({"5", "x", "Return", "space"}, "87");
  ExpectPictureAfter({"f"}, "879");
  ExpectPictureAfter({"period", "0", "W", "F"}, "879.0WF");
}

TEST_F(Keys, SecondEscapeQueuedBehindTheFirstIsHarmless) {
  ASSERT_TRUE(x.Keys(window, {"Escape", "Escape"}));
  EXPECT_EQ(viewer.WaitForExit(), 0) << viewer.Errors();
  EXPECT_EQ(viewer.Errors().find("ERROR"), std::string::npos) << viewer.Errors();
}
