// The application's own procedures in this process, on SDL's offscreen
// driver: the end sequence's guard and the palette refusal. Each case runs
// in a child process so the program's globals start fresh.
#include <gtest/gtest.h>

#include "app/app.h"
#include "app/options.h"
#include "bsp/level.h"
#include "platform/sdl_win32_testing.h"

namespace {

// Creates the program's window the way WinMain does, for the messages the
// test then sends itself.
HWND CreateMainWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.lpszClassName = "Mivo";
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  return CreateWindowExA(0, "Mivo", "test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                         nullptr, nullptr);
}

[[noreturn]] void EscapeTwiceThenMoreMessages() {
  MapPath = MIVO_DEMO_MAP;
  HWND window = CreateMainWindow();
  if (window == nullptr || Level.faces == nullptr) exit(2);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  WindowProc(window, WM_CHAR, 27, 0);
  if (Level.faces != nullptr) exit(3);  // the first Esc freed the level
  // Nothing after the end may touch the freed level or the released
  // context, and nothing is released twice.
  WindowProc(window, WM_CHAR, 27, 0);
  WindowProc(window, WM_CHAR, '8', 0);
  WindowProc(window, WM_SIZE, 0, 0);
  WindowProc(window, WM_PAINT, 0, 0);
  WindowProc(window, WM_DESTROY, 0, 0);
  MSG message;
  if (GetMessageA(&message, nullptr, 0, 0) != 0) exit(4);  // the quit request
  exit(static_cast<int>(message.wParam));
}

[[noreturn]] void RunWithPalette() {
  PretendPalettePixelFormat(true);
  char* argv[] = {const_cast<char*>("mivo"), const_cast<char*>(MIVO_DEMO_MAP), nullptr};
  if (ParseArguments(2, argv) != -1) exit(5);
  exit(WinMain(nullptr, nullptr, argv[1], SW_SHOWDEFAULT));
}

}  // namespace

TEST(AppDeathTest, EndSequenceRunsOnceAndNothingTouchesWhatItFreed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(EscapeTwiceThenMoreMessages(), testing::ExitedWithCode(0), "");
}

TEST(AppDeathTest, PaletteFormatIsRefusedAndTheProgramEndsNormally) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunWithPalette(), testing::ExitedWithCode(0),
              "Error: this window wants a palette! \\(no more implemented\\)");
}
