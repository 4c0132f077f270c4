// Textures a map keeps outside itself, in the WAD files its worldspawn's
// "wad" key names ("\half-life\valve\halflife.wad;\half-life\valve\x.wad").
// Each entry's file name alone, matched in any case, is looked for in the
// map's game folder, in `valve` beside it, then in the map's own folder.
//
// A WAD: "WAD2" or "WAD3", an entry count and the directory's offset; the
// directory is 32-byte entries. A texture is an uncompressed entry of type
// 0x43 in a WAD3 (a miptex followed by its own palette, as version 30 maps
// store them) or 0x44 in a WAD2 (a miptex for the game's palette).
//
//   std::vector<Wad> wads = OpenWads();      when a texture is stored outside
//   FindWadTexture(wads, name, &w, &e);      the first WAD that holds it
//   ReadFileBytes(wads[w].path, ...)         its bytes, entries[e] says where
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct WadEntry {
  int32_t offset;
  int32_t diskSize;     // bytes it takes in the file
  int32_t size;         // bytes once uncompressed: the same, for what is read
  uint8_t type;
  uint8_t compression;  // 0: none
  uint16_t padding;
  char name[16];        // zero-padded, unless all 16 are used
};
static_assert(sizeof(WadEntry) == 32);

struct Wad {
  std::string path;  // empty when missing or damaged: it holds nothing
  bool ownPalettes;  // WAD3: each texture carries its palette
  std::vector<WadEntry> entries;
  std::unordered_map<std::string, uint32_t> textures;  // lower-case name: its first texture entry
};

// Opens every WAD the map's worldspawn names, in the key's order, each file
// name once, and records each in Level.wads. One that is missing, cannot
// be read or is damaged (its directory or an entry outside the file) is
// passed over, with one line on stderr naming it.
std::vector<Wad> OpenWads();

// The first of `wads` holding a texture named `name` (its first 16 bytes,
// up to a zero byte, any case): sets `wad` and `entry` and returns true.
bool FindWadTexture(const std::vector<Wad>& wads, const char* name, size_t* wad, uint32_t* entry);
