// The command line: `mivo [START OPTIONS] [MAP]`, `mivo --shot OUT [START
// OPTIONS] [MAP]`, `mivo --info PATH`, or `mivo --help`. The start options
// set the globals the start-up reads, for the window and the picture alike.
#include "app/options.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/info.h"
#include "view/views.h"

#ifdef _WIN32
#include <vector>

#include "platform/win32.h"
#endif

const char* MapPath = "/QUAKE/ID1/MAPS/start.bsp";
const char* StartKeys = "";
const char* ShotPath = nullptr;
int ShotSize = 0;
bool WatchMap = true;

namespace {

const char kUsage[] =
    "Usage: %s [--view VIEW] [--keys KEYS] [--no-watch] [MAP]\n"
    "       %s --shot OUT.png [--view VIEW] [--keys KEYS] [--size N] [MAP]\n"
    "       %s --info MAP|PAK\n"
    "Shows a Quake map (BSP version 29 or 30, BSP2 or 2PSB) in a window; MAP\n"
    "defaults to /QUAKE/ID1/MAPS/start.bsp. MAP may also be DIR/pak0.pak/maps/NAME.bsp\n"
    "(an entry of a pak), DIR/pak0.pak (its maps/start.bsp), or GAME/maps/NAME.bsp\n"
    "found in GAME's pak files. The map is reloaded, from the same view, whenever its\n"
    "file changes, unless --no-watch is given. --keys types KEYS, key commands as\n"
    "below, before the first frame. --shot writes that frame to OUT.png (640 x 480)\n"
    "without a window; --size N shrinks it to fit N x N. --info prints what a map or\n"
    "pak holds, without a window.\n"
    "\n"
    "  --view VIEW   start in VIEW: flat (flat colours, the default), lit (the map's\n"
    "                light on them), light (the light alone), texels (textures,\n"
    "                unlit) or game (textures and light)\n"
    "\n"
    "Keys (key pad with Num Lock on, or the same characters typed):\n"
    "  8 / 2    forward / back       4 / 6    turn left / right\n"
    "  1 / 3    right / left         + / -    up / down (also . and 0)\n"
    "  7 or W   wireframe            9 or F   filled\n"
    "  L        flat, lit, light     T        textures on / off\n"
    "  R        reload the map       Esc      quit\n"
    "  F12      save the picture as mivo0000.png, mivo0001.png, ...\n"
    "The arrow keys move as 8, 2, 4 and 6; Page Up and Page Down as + and -.\n"
    "Drag with the left button to turn and look up or down; the wheel moves.\n";

void PrintUsage([[maybe_unused]] FILE* stream, const char* program) {
#ifdef _WIN32
  // A GUI program has no console to print to: the usage goes in a box.
  std::vector<char> text(sizeof kUsage + 3 * strlen(program));
  snprintf(text.data(), text.size(), kUsage, program, program, program);
  MessageBoxA(nullptr, text.data(), "Mivo", MB_OK);
#else
  fprintf(stream, kUsage, program, program, program);
#endif
}

// A --size: a whole number from 1 up.
bool ReadSize(const char* text) {
  char* end = nullptr;
  errno = 0;
  long size = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || size < 1 || size > INT_MAX) return false;
  ShotSize = static_cast<int>(size);
  return true;
}

}  // namespace

int ParseArguments(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "mivo";
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
      PrintUsage(stdout, program);
      return 0;
    }
    if (strcmp(argument, "--info") == 0 && i == 1 && argc == 3) return PrintInfo(argv[2]);
    // The options that take a value take the next argument.
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (value != nullptr && strcmp(argument, "--shot") == 0 && *value != '\0') {
      ShotPath = argv[++i];
      continue;
    }
    // Esc would quit before the first frame.
    if (value != nullptr && strcmp(argument, "--keys") == 0 && strchr(value, 27) == nullptr) {
      StartKeys = argv[++i];
      continue;
    }
    if (value != nullptr && strcmp(argument, "--size") == 0 && ReadSize(value)) {
      ++i;
      continue;
    }
    if (value != nullptr && strcmp(argument, "--view") == 0 && ParseViewName(value, &View) == 0) {
      ++i;
      continue;
    }
    // "--" ends the options, so a map whose name starts with "-" can open.
    if (strcmp(argument, "--") == 0 && i + 1 == argc - 1 && path == nullptr) {
      path = argv[++i];
      continue;
    }
    if (strcmp(argument, "--no-watch") == 0) {
      WatchMap = false;
      continue;
    }
    if (argument[0] == '-' || path != nullptr) {
      PrintUsage(stderr, program);
      return 2;
    }
    path = argument;
  }
  if (ShotSize != 0 && ShotPath == nullptr) {  // a size is for a picture
    PrintUsage(stderr, program);
    return 2;
  }
  if (path != nullptr) MapPath = path;
  return -1;
}
