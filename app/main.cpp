// The start-up: reads the command line, then hands over to WinMain as the
// Windows start-up does and ends the process with its result.
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/options.h"

#ifndef _WIN32
int main(int argc, char** argv) {
  int status = ParseArguments(argc, argv);
  if (status >= 0) return status;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  exit(WinMain(nullptr, nullptr, commandLine.data(), SW_SHOWDEFAULT));
}
#endif
