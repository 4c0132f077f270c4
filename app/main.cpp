// The start-up: reads the command line, then hands over to WinMain as the
// Windows start-up does and ends the process with its result. On Windows,
// too, the program starts here (the build makes it a GUI program entered
// through main), so a quoted path with spaces arrives as one argument.
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/options.h"

int main(int argc, char** argv) {
  int status = ParseArguments(argc, argv);
  if (status >= 0) return status;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
#ifdef _WIN32
  HINSTANCE instance = GetModuleHandleA(nullptr);
#else
  HINSTANCE instance = nullptr;  // the window layer has no modules
  // A picture needs no display: SDL's offscreen driver gives the window
  // nobody sees its OpenGL context.
  if (ShotPath != nullptr && setenv("SDL_VIDEODRIVER", "offscreen", 1) != 0) {
    perror("Cannot ask for SDL's offscreen driver");
  }
#endif
  exit(WinMain(instance, nullptr, commandLine.data(), SW_SHOWDEFAULT));
}
