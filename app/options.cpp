// The command line: `mivo [START OPTIONS] [MAP]`, `mivo --shot OUT [START
// OPTIONS] [MAP]`, `mivo --info PATH`, or `mivo --help`. The start options
// set the globals the start-up reads, for the window and the picture alike.
#include "app/options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "app/clock.h"
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
    "Usage: %s [--view VIEW] [--time SECONDS] [--keys KEYS] [--no-watch] [MAP]\n"
    "       %s --shot OUT.png [--view VIEW] [--time SECONDS] [--keys KEYS] [--size N] [MAP]\n"
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
    "  --time SECONDS\n"
    "                show the map at that time on its clock (0 or more), the\n"
    "                clock stopped there; Space runs it on\n"
    "\n"
    "A map opens still. Space starts the map's clock: light styles flicker and\n"
    "pulse in the views with light; animated textures, liquids and the sky move in\n"
    "the textured views. Fences, translucent liquids and fog (the game view) show\n"
    "still or not.\n"
    "\n"
    "Keys (key pad with Num Lock on, or the same characters typed):\n"
    "  8 / 2    forward / back       4 / 6    turn left / right\n"
    "  1 / 3    right / left         + / -    up / down (also . and 0)\n"
    "  7 or W   wireframe            9 or F   filled\n"
    "  L        flat, lit, light     T        textures on / off\n"
    "  R        reload the map       Esc      quit\n"
    "  Space    start / stop the map's clock\n"
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
bool ReadSize(char** values) {
  char* end = nullptr;
  errno = 0;
  long size = strtol(values[0], &end, 10);
  if (errno != 0 || end == values[0] || *end != '\0' || size < 1 || size > INT_MAX) return false;
  ShotSize = static_cast<int>(size);
  return true;
}

// A --time: a number of seconds, 0 or more.
bool ReadTime(char** values) {
  char* end = nullptr;
  const double seconds = strtod(values[0], &end);
  if (end == values[0] || *end != '\0' || !std::isfinite(seconds) || seconds < 0) return false;
  MapClock = Clock{true, false, seconds + 0.0, 0};  // -0 is 0
  return true;
}

// The options of the window and the picture, each given at most once. Each
// takes `values` arguments after its name, none of which may be an option's
// name (`--shot --no-watch` is a mistake, not a picture named --no-watch);
// `take` checks and keeps them.
struct Option {
  const char* name;
  int values;
  bool (*take)(char** values);
};
const Option kOptions[] = {
    {"--shot", 1, [](char** v) { return *(ShotPath = v[0]) != '\0'; }},
    // Esc would quit before the first frame.
    {"--keys", 1, [](char** v) { return strchr(StartKeys = v[0], 27) == nullptr; }},
    {"--size", 1, ReadSize},
    {"--view", 1, [](char** v) { return ParseViewName(v[0], &View) == 0; }},
    {"--time", 1, ReadTime},
    {"--no-watch", 0, [](char**) {
       WatchMap = false;
       return true;
     }},
};

bool IsOptionName(const char* text) {
  if (strcmp(text, "--help") == 0 || strcmp(text, "-h") == 0 || strcmp(text, "--info") == 0) {
    return true;
  }
  for (const Option& option : kOptions) {
    if (strcmp(text, option.name) == 0) return true;
  }
  return false;
}

}  // namespace

int ParseArguments(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "mivo";
  const char* path = nullptr;
  bool given[std::size(kOptions)] = {};
  auto usage = [program] {
    PrintUsage(stderr, program);
    return 2;
  };
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
    const Option* option = nullptr;
    for (const Option& known : kOptions) {
      if (strcmp(argument, known.name) == 0) option = &known;
    }
    if (option == nullptr) {
      if (argument[0] == '-' || path != nullptr) return usage();
      path = argument;
      continue;
    }
    bool& seen = given[option - kOptions];
    if (seen || i + option->values >= argc) return usage();
    for (int v = 1; v <= option->values; ++v) {
      if (IsOptionName(argv[i + v])) return usage();
    }
    if (!option->take(argv + i + 1)) return usage();
    seen = true;
    i += option->values;
  }
  if (ShotSize != 0 && ShotPath == nullptr) return usage();  // a size is for a picture
  if (path != nullptr) MapPath = path;
  return -1;
}
