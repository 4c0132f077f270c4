#include "tests/unit/support.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "app/gl_context.h"
#include "bsp/level.h"
#include "platform/gl.h"

void ResetMapState() {
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
  FreeLevel();
  Level = {};
  RandomState = 1;
}

int LoadBytes(const Bytes& bytes) {
  ResetMapState();
  // An anonymous file opened by name through /proc: nothing is left on disk.
  int fd = memfd_create("map.bsp", 0);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    ADD_FAILURE() << "cannot write the map";
    return 2;
  }
  int opened = OpenBspFile(("/proc/self/fd/" + std::to_string(fd)).c_str());
  close(fd);
  return opened != 0 ? 2 : LoadLevel();
}

std::string Outcome(const Bytes& bytes) {
  testing::internal::CaptureStderr();
  int status = LoadBytes(bytes);
  std::string shown = testing::internal::GetCapturedStderr();
  return status == 0 ? "loads" : status == 2 ? "open fails" : shown;
}

Bytes WithLump(Bytes bytes, int lump, int64_t offset, int64_t length) {
  BspHeader header = HeaderOf(bytes);
  header.lumps[lump] = {static_cast<int32_t>(offset), static_cast<uint32_t>(length)};
  SetHeader(bytes, header);
  return bytes;
}

HWND OpenWindow(WNDPROC procedure) {
  const std::string name = "Test" + std::to_string(reinterpret_cast<uintptr_t>(procedure));
  const WNDCLASSA windowClass = {.lpfnWndProc = procedure, .lpszClassName = name.c_str()};
  RegisterClassA(&windowClass);  // once for each procedure; again, it fails harmlessly
  HWND window = CreateWindowExA(0, name.c_str(), "Test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
  return window;
}

HWND OpenGlWindow() {
  HWND window = OpenWindow(DefWindowProcA);
  DeviceContext = GetDC(window);
  SetupPixelFormat(DeviceContext);
  RenderContext = wglCreateContext(DeviceContext);
  wglMakeCurrent(DeviceContext, RenderContext);
  return window;
}

uint32_t PixelAt(int x, int y) {
  uint8_t rgb[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
  return uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
}
