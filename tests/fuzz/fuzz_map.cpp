// The map fuzzer. Each input is a map file, laid out as the game keeps it:
// GAME/maps/m.bsp in a game folder that holds the game's palette, or when
// it starts with "PACK" a pak, GAME/pak0.pak, opened as GAME/maps/start.bsp
// so that the game folder's paks are searched. Where the input holds
// "QLIT", the bytes from its last "QLIT" on lie beside the map as m.lit;
// before them, the bytes from the last "WAD2" or "WAD3" on are the WAD
// GAME/mivo.wad, which a map's worldspawn may name.
// Each is run through what the viewer runs on one: OpenMap, LoadLevel and,
// when the level loads, the light pages filled, the textures expanded and
// DrawLevel in every view, still and at a time on the map's clock (with no
// GL context current, GL ignores the calls, but every read that makes their
// arguments happens, the walk of the tree among them). The sanitizers catch
// reads outside the arrays, overflows and leaks; the checks here catch a
// failure that does not say why, a message on success, and a level that
// quietly lost what the views draw from for want of memory, which a file of
// this size never needs.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "bsp/level.h"
#include "bsp/light.h"
#include "bsp/pak.h"
#include "bsp/textures.h"
#include "platform/gl.h"
#include "platform/win32.h"
#include "view/cull.h"
#include "view/inspect.h"
#include "view/motion.h"
#include "view/render.h"
#include "view/upload.h"
#include "view/views.h"

namespace {

namespace fs = std::filesystem;

int shownMessages = 0;

void Write(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

// The game folder, made once: its palette a ramp of every colour index.
fs::path GameFolder() {
  const fs::path game = fs::temp_directory_path() / ("mivo-fuzz-" + std::to_string(getpid())) / "id1";
  fs::create_directories(game / "maps");
  fs::create_directories(game / "gfx");
  std::string palette(768, '\0');
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = char(i * 7 / 3);
  Write(game / "gfx" / "palette.lmp", palette);
  return game;
}

}  // namespace

int WINAPI MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) {
  ++shownMessages;
  return IDOK;
}

void WINAPI OutputDebugStringA(LPCSTR) {}

PROC WINAPI wglGetProcAddress(LPCSTR) { return nullptr; }  // no context: no extensions

// Arrays above 256 MiB are refused, so huge lumps take the allocation
// failure path quickly instead of mapping gigabytes for every input.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=256";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path game = GameFolder();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t lit = input.rfind("QLIT");
  const std::string_view front = input.substr(0, lit), beside = lit == input.npos ? "" : input.substr(lit);
  const size_t wad = std::max(front.rfind("WAD2") + 1, front.rfind("WAD3") + 1) - 1;  // npos + 1 is 0
  const std::string_view map = front.substr(0, wad), wadFile = wad == front.npos ? "" : front.substr(wad);
  const bool isPak = map.starts_with("PACK");
  for (const char* name : {"maps/m.bsp", "maps/m.lit", "pak0.pak", "mivo.wad"}) fs::remove(game / name);
  Write(game / (isPak ? "pak0.pak" : "maps/m.bsp"), map);
  if (!beside.empty()) Write(game / "maps" / "m.lit", beside);
  if (!wadFile.empty()) Write(game / "mivo.wad", wadFile);
  shownMessages = 0;
  const std::string path = (game / "maps" / (isPak ? "start.bsp" : "m.bsp")).string();
  const int status = OpenMap(path.c_str()) != 0 ? 1 : LoadLevel();
  if (shownMessages != status) abort();  // one message exactly when a map does not show
  if (status == 0 && Level.faceCount > 0 && Level.surfaces.empty()) abort();
  // GLU cannot build mip levels without a context: the names stand in.
  FillLightPages();
  ExpandTextures();
  const std::vector<GLuint> names(Level.textures.size(), 1);
  LevelTextures = {true,  true,  std::vector<GLuint>(size_t(Level.light.pageCount), 1),
                   names, names, names};
  ResetCulling();
  // Each view still, then at a time on the map's clock (which brings in the
  // light styles, animated textures, warped liquids and the sky's layers).
  for (int view = 0; status == 0 && view < 8; ++view) {
    View = {LightView(view % 4 % 3), view % 4 == 3};  // flat, lit, light only, lit + textures
    ShownTime = {view >= 4, 2.37};
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
  ShownTime = {};
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
  FreeLevel();
  Level = {};
  RandomState = 1;
  return 0;
}
