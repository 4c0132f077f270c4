#include "tests/unit/support.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "app/gl_context.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "platform/gl.h"

void ResetMapState() {
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
  FreeLevel();
  Level = {};
  OpenedMap = {};
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

TreeDraft OneCut(MapDraft& map, float cut, const std::vector<uint16_t>& behind,
                 const std::vector<uint16_t>& ahead, uint8_t rowBehind, uint8_t rowAhead) {
  map.planes.push_back(BspPlane{{0, 1, 0}, cut, 1});
  TreeDraft tree;
  const int16_t far = 16000, at = int16_t(cut);
  tree.nodes = {BspNode{int32_t(map.planes.size() - 1), {-3, -2}, {-far, -far, -far},
                        {far, far, far}, 0, 0}};
  tree.leaves = {BspLeaf{-2, -1, {}, {}, 0, 0, {}},
                 BspLeaf{-1, 0, {-far, -far, -far}, {far, at, far}, 0, uint16_t(behind.size()), {}},
                 BspLeaf{-1, 1, {-far, at, -far}, {far, far, far}, uint16_t(behind.size()),
                         uint16_t(ahead.size()), {}}};
  tree.marks = behind;
  tree.marks.insert(tree.marks.end(), ahead.begin(), ahead.end());
  tree.visibility = {rowBehind, rowAhead};
  return tree;
}

namespace {

template <typename T>
std::vector<uint8_t> Raw(const std::vector<T>& records) {
  std::vector<uint8_t> bytes(records.size() * sizeof(T));
  if (!bytes.empty()) memcpy(bytes.data(), records.data(), bytes.size());
  return bytes;
}

}  // namespace

void SetTree(MapDraft& map, const TreeDraft& tree) {
  map.rawLumps[kNodesLump] = Raw(tree.nodes);
  map.rawLumps[kLeavesLump] = Raw(tree.leaves);
  map.rawLumps[kMarkSurfacesLump] = Raw(tree.marks);
  map.rawLumps[kVisibilityLump] = tree.visibility;
  if (map.models.empty()) {
    map.models = {BspModel{}};
    map.models[0].faceTotal = int32_t(map.faces.size());
  }
  map.models[0].headNodes[0] = 0;
  map.models[0].visLeafCount = int32_t(tree.leaves.size()) - 1;
}
