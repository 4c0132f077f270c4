// Finding the map a path names: a loose file, or an entry of a pak archive
// (the game's pak0.pak, pak1.pak ...: a 12-byte header "PACK", directory
// offset and length, then 64-byte entries of a zero-padded 56-byte name, an
// offset and a length; files stored whole).
//
//   mivo e1m1.bsp                      a loose map
//   mivo DIR/pak0.pak/maps/e1m1.bsp    an entry of DIR/pak0.pak
//   mivo DIR/pak0.pak                  its maps/start.bsp
//   mivo GAME/maps/e1m1.bsp            that file, or else maps/e1m1.bsp in
//                                      GAME's paks, the highest number first
//
// Names inside a pak, and the pak files' own names, match whatever their
// case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PakEntry {
  char name[56];  // "maps/e1m1.bsp", padded with zero bytes
  int32_t offset;
  int32_t length;
};
static_assert(sizeof(PakEntry) == 64);

// The directory of the pak at `path`. Returns 0, or 1 when it cannot be read
// or is damaged (then `message` says which, in the user's words).
int ReadPakDirectory(const std::string& path, std::vector<PakEntry>* entries,
                     const char** message);

// Whether `path` names a pak: its last name ends in ".pak".
bool IsPakPath(const std::string& path);

// Whether `path` is an existing file (not a folder).
bool IsFile(const std::string& path);

// Opens the map `path` names (see above) as the map file. Returns 0; or
// shows why not, in a message box, and returns 1.
int OpenMap(const char* path);

// Where OpenMap found the map: the file and, inside a pak, the entry.
struct MapSource {
  std::string file;
  std::string entry;  // empty for a loose map
};
extern MapSource OpenedMap;

// The file beside the map on show whose name is the map's with ".bsp"
// replaced by `extension` (".lit"): next to a loose map, or that entry of
// the map's pak. Returns 0 with its bytes, or 1 when there is none or it
// cannot be read whole; shows nothing either way.
int ReadBesideMap(const char* extension, std::vector<uint8_t>* bytes);

// The path of the file beside the loose map `source` names, as given (a
// link's name, not its target's), whose name is the map's with ".bsp"
// replaced by `extension` (".pts"); empty for a map inside a pak, which
// has none, or a map whose name does not end in ".bsp".
std::string LooseFileBeside(const MapSource& source, const char* extension);

// The game's palette (gfx/palette.lmp, 768 bytes) for the map on show, as
// the game finds it: in the map's own pak; then in its game folder (GAME
// for GAME/maps/X.bsp, or the folder of the pak that holds it), loose and
// then in GAME's paks, the highest number first; then the same in the
// folder id1 beside GAME. Returns 0 with the palette and where it was
// found (for --info), or 1 when there is none.
int FindPalette(std::vector<uint8_t>* palette, std::string* source);

// The folders where a map's files that lie outside it (its WADs) are looked
// for, in order and each once: its game folder (GAME for GAME/maps/X.bsp,
// or the folder of the pak that holds it), the folder `base` beside GAME
// (any case), and the map's own folder (the pak's, for a map in a pak).
std::vector<std::string> FoldersBesideMap(const char* base);

// The entry of `folder` named `name` whatever its case, as a path.
bool FindInFolder(const std::string& folder, const char* name, std::string* path);

// `length` bytes at `offset` of the file at `path`. Returns 0, or 1 when
// they cannot all be read (then `bytes` is empty).
int ReadFileBytes(const std::string& path, int64_t offset, int64_t length,
                  std::vector<uint8_t>* bytes);
