// The command line: `mivo [--no-watch] [MAP]`, `mivo --info PATH`, or
// `mivo --help`.
#include "app/options.h"

#include <cstdio>
#include <cstring>

#include "app/info.h"

#ifdef _WIN32
#include <vector>

#include "platform/win32.h"
#endif

const char* MapPath = "/QUAKE/ID1/MAPS/start.bsp";
bool WatchMap = true;

namespace {

const char kUsage[] =
    "Usage: %s [--no-watch] [MAP]\n"
    "       %s --info MAP|PAK\n"
    "Shows a Quake map (BSP version 29 or 30, BSP2 or 2PSB) in a window; MAP\n"
    "defaults to /QUAKE/ID1/MAPS/start.bsp. MAP may also be DIR/pak0.pak/maps/NAME.bsp\n"
    "(an entry of a pak), DIR/pak0.pak (its maps/start.bsp), or GAME/maps/NAME.bsp\n"
    "found in GAME's pak files. The map is reloaded, from the same view, whenever its\n"
    "file changes, unless --no-watch is given. --info prints what a map or pak holds,\n"
    "without a window.\n"
    "\n"
    "Keys (key pad with Num Lock on, or the same characters typed):\n"
    "  8 / 2    forward / back       4 / 6    turn left / right\n"
    "  1 / 3    right / left         + / -    up / down (also . and 0)\n"
    "  7 or W   wireframe            9 or F   filled\n"
    "  R        reload the map       Esc      quit\n"
    "The arrow keys move as 8, 2, 4 and 6; Page Up and Page Down as + and -.\n"
    "Drag with the left button to turn and look up or down; the wheel moves.\n";

void PrintUsage([[maybe_unused]] FILE* stream, const char* program) {
#ifdef _WIN32
  // A GUI program has no console to print to: the usage goes in a box.
  std::vector<char> text(sizeof kUsage + 2 * strlen(program));
  snprintf(text.data(), text.size(), kUsage, program, program);
  MessageBoxA(nullptr, text.data(), "Mivo", MB_OK);
#else
  fprintf(stream, kUsage, program, program);
#endif
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
  if (path != nullptr) MapPath = path;
  return -1;
}
