// The real program on a few damaged maps. Under a private X server the user
// sees its message box and nothing else on the screen, and after OK the
// program ends with status 1, by itself rather than by a signal (so no core
// dump). With no display the same message goes to stderr, which is where
// its text is checked.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/damaged/damaged_maps.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"
#include "tests/unit/test_maps.h"

using mivo_test::Image;
using mivo_test::Process;
using mivo_test::Xvfb;

namespace {

const char kTitle[] = "Darro's Mivo: Use the Key Pad to move around.";

struct DamagedFile {
  const char* what;
  std::vector<uint8_t> bytes;
  const char* message;
};

std::vector<DamagedFile> DamagedFiles() {
  const std::vector<uint8_t> whole = BspBytes(RoomWithPillar());
  const BspHeader header = HeaderOf(whole);
  const BspLump faces = header.lumps[kFacesLump];
  MapDraft pastTheFaces = RoomWithPillar();
  pastTheFaces.models = {BspModel{{}, 0, static_cast<int32_t>(pastTheFaces.faces.size()) + 1}};
  return {
      {"cut inside the header", {whole.begin(), whole.begin() + 60}, kOpenError},
      {"cut in the middle of the faces",
       {whole.begin(), whole.begin() + faces.offset + faces.length / 2},
       kReadError},
      {"edges at a negative offset",
       WithLump(whole, kEdgesLump, -1, header.lumps[kEdgesLump].length), kReadError},
      {"world faces past the faces lump", BspBytes(pastTheFaces), kReferenceError},
  };
}

// The part of what the program wrote to stderr that is not the program's
// own message: a sanitizer's report, a crash.
void ExpectNoReport(const std::string& errors) {
  for (const char* sign : {"Sanitizer", "runtime error", "Segmentation", "Aborted"}) {
    EXPECT_EQ(errors.find(sign), std::string::npos) << errors;
  }
}

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Holds(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
};

// Where xwininfo says a window is on the screen.
bool WindowRect(const Xvfb& x, const std::string& window, Rect& rect) {
  std::string info;
  if (x.Run({"xwininfo", "-id", window}, &info) != 0) return false;
  auto field = [&info](const std::string& name, int& value) {
    size_t at = info.find(name);
    if (at == std::string::npos) return false;
    std::istringstream(info.substr(at + name.size())) >> value;
    return true;
  };
  return field("Absolute upper-left X:", rect.x) && field("Absolute upper-left Y:", rect.y) &&
         field("Width:", rect.width) && field("Height:", rect.height);
}

// Pixels that are not black, inside and outside `rect`.
void CountLitPixels(const Image& screen, const Rect& rect, int& inside, int& outside) {
  inside = outside = 0;
  for (int py = 0; py < screen.height; ++py) {
    for (int px = 0; px < screen.width; ++px) {
      if (screen.Pixel(px, py) == 0) continue;
      ++(rect.Holds(px, py) ? inside : outside);
    }
  }
}

}  // namespace

TEST(DamagedMapProgram, WithNoDisplayTheMessageGoesToStderr) {
  for (const DamagedFile& file : DamagedFiles()) {
    SCOPED_TRACE(file.what);
    const std::string path = TemporaryMap(file.bytes, "damaged-program.bsp");
    ASSERT_FALSE(path.empty());
    Process viewer =
        Process::Start({MIVO_PROGRAM, path}, {"DISPLAY=", "SDL_VIDEODRIVER=offscreen"});
    EXPECT_EQ(viewer.WaitForExit(), 1);
    const std::string errors = viewer.Errors();
    EXPECT_NE(errors.find(std::string(file.message) + "\n"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("Error", errors.find(file.message) + 1), std::string::npos)
        << "more than one message: " << errors;
    ExpectNoReport(errors);
  }
}

TEST(DamagedMapProgram, UnderXTheBoxIsAllThatShowsAndOkEndsWithStatusOne) {
  Xvfb x;
  ASSERT_TRUE(x.Ready()) << x.Error();
  for (const DamagedFile& file : DamagedFiles()) {
    SCOPED_TRACE(file.what);
    const std::string path = TemporaryMap(file.bytes, "damaged-program.bsp");
    ASSERT_FALSE(path.empty());
    Process viewer = x.Start({MIVO_PROGRAM, path});
    const std::string box = x.WaitForWindow("Error");
    ASSERT_FALSE(box.empty()) << viewer.Errors();
    Rect boxRect;
    ASSERT_TRUE(WindowRect(x, box, boxRect));

    // Once the box has drawn itself, nothing outside it is lit: the main
    // window was never shown.
    int inside = 0, outside = 0;
    EXPECT_TRUE(mivo_test::WaitUntil([&] {
      Image screen;
      if (!x.Screenshot(screen)) return false;
      CountLitPixels(screen, boxRect, inside, outside);
      return inside > 0;
    })) << "the box never drew itself";
    EXPECT_EQ(outside, 0) << "something besides the box is on the screen";
    std::string main;
    x.Run({"xwininfo", "-name", kTitle}, &main);
    EXPECT_EQ(main.find("IsViewable"), std::string::npos) << main;

    EXPECT_TRUE(viewer.Running()) << "the program must wait for OK";
    ASSERT_TRUE(x.Keys(box, {"Return"}));
    EXPECT_EQ(viewer.WaitForExit(), 1) << viewer.Errors();
    ExpectNoReport(viewer.Errors());
  }
}
