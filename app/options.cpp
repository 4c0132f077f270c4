// The command line: `mivo [START OPTIONS] [MAP]`, `mivo --shot OUT [START
// OPTIONS] [MAP]`, `mivo --info PATH`, or `mivo --help`. The start options
// set the globals the start-up reads, for the window and the picture alike.
#include "app/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "app/clock.h"
#include "app/info.h"
#include "view/overlays.h"
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
StartPosition StartPos = {};

namespace {

const char kUsage[] =
    "Usage: %s [--view VIEW] [--pos POSITION] [--time SECONDS] [--keys KEYS] [--portals] [--no-watch] [MAP]\n"
    "       %s --shot OUT.png [--view VIEW] [--pos POSITION] [--time SECONDS] [--keys KEYS] [--portals] [--size N] [MAP]\n"
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
    "The compiler's files beside a loose MAP.bsp show over the map, and are read again\n"
    "as they change: a leak's trail from MAP.pts (else MAP.lin), drawn over everything,\n"
    "bright yellow at the file's first point turning dark red at its last; and the\n"
    "portals of MAP.prt (PRT1, PRT2 or PRT1-AM), in cyan where the map does not hide\n"
    "them. A file that does not read, or a portal file of another map, is ignored\n"
    "with a line on stderr.\n"
    "Textures a map keeps outside itself come from the WAD files its worldspawn's\n"
    "\"wad\" key names, by file name in any case: in the map's game folder (GAME\n"
    "of GAME/maps/NAME.bsp, or the folder of its pak), then in valve beside GAME,\n"
    "then in the map's own folder. Light comes from the map's light lump, coloured\n"
    "by a BSPX RGBLIGHTING lump or a .lit file beside the map (MAP.lit), or with a\n"
    "range past 255 by a BSPX LIGHTING_E5BGR9 lump or an HDR .lit file; the BSPX\n"
    "lumps LMSHIFT, LMOFFSET, LMSTYLE, LMSTYLE16 and DECOUPLED_LM lay it out.\n"
    "\n"
    "  --view VIEW   start in VIEW: flat (flat colours, the default), lit (the map's\n"
    "                light on them), light (the light alone), texels (textures,\n"
    "                unlit) or game (textures and light)\n"
    "  --portals     start with the portals shown\n"
    "  --pos POSITION\n"
    "                X Y Z [YAW [PITCH]]: start with the eye at map point X Y Z,\n"
    "                turned YAW degrees from +x towards +y (as an entity's angle)\n"
    "                and looking PITCH degrees up (at most 89), both 0 unless given,\n"
    "                before --keys. The I line and Ctrl+C give these numbers.\n"
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
    "  K        leak trail on / off  P        portals on / off\n"
    "  N / B    to the leak trail's next / previous point, facing along it\n"
    "  R        reload the map       Esc      quit\n"
    "  I        the numbers line     E        entity markers\n"
    "  Ctrl+C   copy the camera's X Y Z YAW PITCH, as --pos takes them\n"
    "  Space    start / stop the map's clock\n"
    "  F12      save the picture as mivo0000.png, mivo0001.png, ...\n"
    "The arrow keys move as 8, 2, 4 and 6; Page Up and Page Down as + and -.\n"
    "Drag with the left button to turn and look up or down; the wheel moves.\n"
    "A click picks the face or marker under the pointer and lists what it is;\n"
    "a click on nothing clears it.\n";

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

// A finite number, nothing else.
bool ReadNumber(const char* text, float* number) {
  char* end = nullptr;
  *number = strtof(text, &end);
  return end != text && *end == '\0' && std::isfinite(*number);
}

// A --pos: three to five numbers.
bool ReadPosition(char** values) {
  float numbers[5] = {};
  int count = 0;
  for (; values[count] != nullptr; ++count) {
    if (!ReadNumber(values[count], &numbers[count])) return false;
  }
  StartPos = {true, {numbers[0], numbers[1], numbers[2]}, numbers[3], numbers[4]};
  return count >= 3;
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
// name (`--shot --no-watch` is a mistake, not a picture named --no-watch),
// and then, up to `most` in all, those that follow while they are numbers;
// `take` checks and keeps them, given them in a list that ends with null.
struct Option {
  const char* name;
  int values;
  bool (*take)(char** values);
  int most = 0;
};
const Option kOptions[] = {
    {"--shot", 1, [](char** v) { return *(ShotPath = v[0]) != '\0'; }},
    // Esc would quit before the first frame.
    {"--keys", 1, [](char** v) { return strchr(StartKeys = v[0], 27) == nullptr; }},
    {"--size", 1, ReadSize},
    {"--view", 1, [](char** v) { return ParseViewName(v[0], &View) == 0; }},
    {"--pos", 3, ReadPosition, 5},
    {"--time", 1, ReadTime},
    {"--no-watch", 0, [](char**) {
       WatchMap = false;
       return true;
     }},
    {"--portals", 0, [](char**) {
       Overlays.portals = true;
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
    int count = option->values;
    float number;
    while (count < option->most && i + count + 1 < argc && ReadNumber(argv[i + count + 1], &number)) {
      ++count;
    }
    char* values[8] = {};
    std::copy(argv + i + 1, argv + i + 1 + count, values);
    if (!option->take(values)) return usage();
    seen = true;
    i += count;
  }
  if (ShotSize != 0 && ShotPath == nullptr) return usage();  // a size is for a picture
  if (path != nullptr) MapPath = path;
  return -1;
}
