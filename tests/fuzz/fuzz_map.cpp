// The map fuzzer. Each input is the bytes of a map file, or of a pak when it
// starts with "PACK", run through what the viewer runs on one: OpenMap,
// LoadLevel and, when the level loads, UploadLevel and DrawLevel in every
// view (with no GL context current, GL ignores the calls, but every read
// that makes their arguments happens, the walk of the tree among them). The sanitizers catch reads outside the arrays, overflows and
// leaks; the check here catches a failure that does not say why, or a
// message on success.
//
// The file is a memfd opened through /proc, and for a pak through a link
// named like one, so OpenMap runs unchanged and nothing touches the disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bsp/level.h"
#include "bsp/pak.h"
#include "platform/win32.h"
#include "platform/gl.h"
#include "view/cull.h"
#include "view/overlay.h"
#include "view/render.h"
#include "view/upload.h"
#include "view/views.h"

namespace {

int shownMessages = 0;

}  // namespace

int WINAPI MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) {
  ++shownMessages;
  return IDOK;
}

void WINAPI OutputDebugStringA(LPCSTR) {}

// Arrays above 256 MiB are refused, so huge lumps take the allocation
// failure path quickly instead of mapping gigabytes for every input.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=256";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int file = memfd_create("map.bsp", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(file);
  static const std::string pak = [] {
    const auto link = std::filesystem::temp_directory_path() / ("mivo-fuzz-" +
                                                                  std::to_string(getpid()) + ".pak");
    std::filesystem::remove(link);
    std::filesystem::create_symlink(path, link);
    return link.string();
  }();
  if (ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) abort();
  shownMessages = 0;
  const bool isPak = size >= 4 && memcmp(data, "PACK", 4) == 0;
  const int status = OpenMap((isPak ? pak : path).c_str()) != 0 ? 1 : LoadLevel();
  if (shownMessages != status) abort();  // one message exactly when a map does not show
  // GLU cannot build mip levels without a context: the names stand in.
  const std::vector<GLuint> names(Level.textures.size(), 1);
  LevelTextures = {std::vector<GLuint>(size_t(Level.light.pageCount), 1), names, names};
  ResetCulling();
  for (int view = 0; status == 0 && view < 4; ++view) {
    View = {LightView(view % 3), view == 3};  // flat, lit, light only, lit + textures
    DrawLevel();
  }
  // The panels of the faces a pick can name (the first 256) and of every
  // marker: every line must say something.
  for (uint32_t f = 0, n = 0; status == 0 && f < Level.surfaces.size() && n < 256; ++f) {
    if (Level.surfaces[f].cornerCount < 3) continue;
    ++n;
    for (const std::string& line : PanelLines({kFacePicked, f, 0})) if (line.empty()) abort();
  }
  for (uint32_t p = 0; status == 0 && p < Level.points.size(); ++p) {
    if (PanelLines({kMarkerPicked, p, 0}).empty()) abort();
  }
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
  FreeLevel();
  Level = {};
  RandomState = 1;
  return 0;
}
