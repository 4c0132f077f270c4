#include "tests/e2e/frames.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "bsp/level.h"
#include "tests/unit/gl_offscreen.h"
#include "tests/unit/test_maps.h"
#include "view/camera.h"
#include "view/render.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// In the child: draws the frame and writes it, top row first, to `fd`.
[[noreturn]] void DrawInChild(const std::string& path, const std::string& characters, int fd) {
  if (OpenGlContext() != 0) _exit(2);
  InitGlState();
  SetupProjection();
  if (LoadBytes(ReadFile(path)) != 0) _exit(3);
  PlaceCamera();
  for (char c : characters) OnKey(nullptr, static_cast<unsigned char>(c));
  DrawLevel();
  std::vector<uint8_t> bottomUp = ReadFrame();
  const size_t row = 640 * 3;
  for (int y = 479; y >= 0; --y) {
    const uint8_t* data = bottomUp.data() + y * row;
    for (size_t done = 0; done < row;) {
      ssize_t n = write(fd, data + done, row - done);
      if (n <= 0) _exit(4);
      done += static_cast<size_t>(n);
    }
  }
  _exit(0);
}

}  // namespace

std::vector<uint8_t> OffscreenFrame(const std::string& path, const std::string& characters) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    DrawInChild(path, characters, pipeFds[1]);
  }
  close(pipeFds[1]);
  std::vector<uint8_t> frame;
  uint8_t buffer[65536];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    frame.insert(frame.end(), buffer, buffer + n);
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || frame.size() != 640 * 480 * 3) return {};
  return frame;
}

std::vector<uint8_t> ScreenRegion(const mivo_test::Image& screen, int bottom) {
  std::vector<uint8_t> region;
  region.reserve(640 * 480 * 3);
  for (int y = bottom - 480; y < bottom; ++y) {
    for (int x = 0; x < 640; ++x) {
      uint32_t p = screen.Pixel(x, y);
      region.push_back(static_cast<uint8_t>(p >> 16));
      region.push_back(static_cast<uint8_t>(p >> 8));
      region.push_back(static_cast<uint8_t>(p));
    }
  }
  return region;
}

int DifferentPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return 640 * 480;
  int different = 0;
  for (size_t i = 0; i < a.size(); i += 3) {
    for (size_t c = 0; c < 3; ++c) {
      if (std::abs(a[i + c] - b[i + c]) > 2) {
        ++different;
        break;
      }
    }
  }
  return different;
}

int WaitForFrame(const mivo_test::Xvfb& x, const std::vector<uint8_t>& expected, int bottom) {
  int different = 640 * 480;
  mivo_test::WaitUntil([&] {
    mivo_test::Image screen;
    if (!x.Screenshot(screen)) return false;
    different = DifferentPixels(ScreenRegion(screen, bottom), expected);
    return different <= kFrameTolerance;
  });
  return different;
}
