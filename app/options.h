// The command line: which map to open, and how to start with it.
#pragma once

// The map the program opens: "/QUAKE/ID1/MAPS/start.bsp" unless the command
// line names another.
extern const char* MapPath;

// --keys: characters typed before the first frame, each the key command it
// would be in the window; never Esc. Empty unless given.
extern const char* StartKeys;

// --shot: where the first frame goes as a PNG, drawn in a window nobody
// sees; null for the window.
extern const char* ShotPath;

// --size: the picture shrunk to fit ShotSize x ShotSize; 0 keeps 640 x 480.
extern int ShotSize;

// --pos X Y Z [YAW [PITCH]]: where the camera starts, in map units and
// degrees (yaw as an entity's angle, pitch up), in place of the player start.
struct StartPosition {
  bool given;
  float origin[3];
  float yaw;    // 0 unless given
  float pitch;  // 0 unless given
};
extern StartPosition StartPos;

// --time SECONDS sets the map's clock (app/clock.h), stopped there.

// Whether the map on show is reloaded when its file changes: unless
// --no-watch is given.
extern bool WatchMap;

// Reads the arguments after the program's name. Returns -1 when the program
// should go on, or the exit status when it should end at once: 0 after
// --help (usage on stdout), 2 for anything it does not understand (usage on
// stderr).
int ParseArguments(int argc, char** argv);
