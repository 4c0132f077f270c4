// The map's player start, found in its entities lump: plain text, a
// sequence of entities in braces, each a list of "key" "value" pairs.
#pragma once

#include <cstddef>

struct PlayerStart {
  bool found;       // false: the map has none, and the view starts where it always did
  float origin[3];  // x, y, z in map units
  float angle;      // yaw in degrees: 0 looks along +x, 90 along +y
};

// The first info_player_start entity of `text` (`length` bytes, with or
// without a terminating zero) whose origin is three numbers; failing that,
// the first such info_player_deathmatch. A missing angle, or one that is
// not a number, is 0. The text is untrusted: it is read once, never past
// `length`, and anything after damage in it is passed over.
PlayerStart FindPlayerStart(const char* text, size_t length);
