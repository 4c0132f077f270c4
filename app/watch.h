// The map on show: the path it was opened by, and the file it came from (the
// loose map, or the pak that holds it), watched by polling its size and
// times a few times a second; and beside it the compiler's point and
// portal files, watched the same way. No file is kept open, so a compiler
// may write, delete or replace them at will.
//
//   WatchFile(file, state)   after each load, with the file as it was read
//   WatchBesideFiles(files)  after each load, before they are read
//   PollWatchedFile(now)     at every tick of the timer: 1 means reload
//   PollBesideFiles(now)     then: which of the files beside to read again
#pragma once

#include <array>
#include <string>

#include "platform/win32.h"

constexpr UINT kWatchPeriod = 250;  // milliseconds between polls
// A compiler writes a map in several steps: a change counts once the file
// has stayed the same this long, in milliseconds.
constexpr DWORD kSettleTime = 500;

// What a poll sees of a file. The last access time is left out: reading the
// map changes it.
struct FileState {
  bool present;
  DWORD sizeHigh, sizeLow;
  FILETIME written;
  FILETIME created;  // a file moved over the old name brings its own
};

struct ShownMap {
  std::string path;  // as given: a reload looks it up again, as a start would
  std::string file;  // what is watched; empty until a map is loaded
  FileState loaded;  // the file as it was when last loaded or tried
  FileState seen;    // a change the polls saw, waiting to settle
  DWORD seenSince;   // GetTickCount() when `seen` was first seen
  bool settling;     // whether `seen` is waiting
};

extern ShownMap Shown;

FileState FileStateOf(const std::string& file);

// From now on `file` is watched; `state` is how it was when it was loaded.
void WatchFile(const std::string& file, const FileState& state);

// Looks at the watched file at time `now` (GetTickCount()). Returns 1 when
// it differs from what was loaded and has stayed as it is for kSettleTime;
// that state then counts as tried, so a file that fails to load is tried
// again only once it changes again. Returns 0 otherwise.
int PollWatchedFile(DWORD now);

// A file beside the map, watched as the map is.
struct WatchedFile {
  std::string file;  // empty: none watched
  FileState loaded;
  FileState seen;
  DWORD seenSince;
  bool settling;
};

extern std::array<WatchedFile, 3> Beside;

// From now on `files` are watched, as they are now.
void WatchBesideFiles(const std::array<std::string, 3>& files);

// Looks at the files beside the map at time `now`, each as PollWatchedFile
// looks at the map, but not while a change of the map's own file waits to
// settle: its reload reads them anyway. Returns one bit a file (bit i for
// Beside[i]) that changed and has settled; 0 when none did.
int PollBesideFiles(DWORD now);
