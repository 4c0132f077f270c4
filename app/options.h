// The command line: which map to open, and whether to watch it.
#pragma once

// The map the program opens: "/QUAKE/ID1/MAPS/start.bsp" unless the command
// line names another.
extern const char* MapPath;

// Whether the map on show is reloaded when its file changes: unless
// --no-watch is given.
extern bool WatchMap;

// Reads the arguments after the program's name. Returns -1 when the program
// should go on, or the exit status when it should end at once: 0 after
// --help (usage on stdout), 2 for anything it does not understand (usage on
// stderr).
int ParseArguments(int argc, char** argv);
