// What the view takes from the map's entities lump: plain text, a sequence
// of entities in braces, each a list of "key" "value" pairs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PlayerStart {
  bool found;       // false: the map has none, and the view starts where it always did
  float origin[3];  // x, y, z in map units
  float angle;      // yaw in degrees: 0 looks along +x, 90 along +y
};

// An entity that places a brush model of the map: a door, a lift, a button.
struct BrushEntity {
  uint32_t model;   // 1 or more: "*N"
  float origin[3];  // where the model's faces are moved to; 0 0 0 when not given
};

// What worldspawn and the light entities say about how the map looks.
enum LiquidKind { kWater, kLava, kSlime, kTeleporter, kLiquidKinds };
struct MapLook {
  float liquidAlpha[kLiquidKinds];  // opacity by kind, 0 to 1; 1: opaque
  float fogDensity;                 // 0: no fog
  float fogColor[3];                // red, green, blue, 0 to 1
  uint64_t lightsOff;               // bit s: switchable light style s starts off
};

struct MapEntities {
  PlayerStart start;
  std::vector<BrushEntity> brushes;
  MapLook look;
};

// Reads `text` (`length` bytes, with or without a terminating zero) once,
// never past `length`; anything after damage in it is passed over.
// - start: the first info_player_start entity whose origin is three
//   numbers; failing that, the first such info_player_deathmatch. A missing
//   angle, or one that is not a number, is 0.
// - brushes: every entity whose "model" is "*N" for a whole N from 1 to
//   `modelCount` - 1, in order, except triggers (a classname starting with
//   "trigger_"), which the game never shows. A malformed origin is 0 0 0.
// - look: from the first worldspawn, "wateralpha", "lavaalpha",
//   "slimealpha" and "telealpha" (each also with a leading underscore, the
//   later one winning), a number clamped to [0, 1], default 1; "fog"
//   ("DENSITY" or "DENSITY R G B", the colour clamped to [0, 1], default
//   grey 0.3), no fog when missing or malformed. From every entity whose
//   classname starts with "light" and whose "style" is a whole number from
//   32 to 62, whether that style starts off (spawnflags bit 1), the last
//   such entity deciding.
MapEntities ReadMapEntities(const char* text, size_t length, uint32_t modelCount);

// ReadMapEntities' start alone.
PlayerStart FindPlayerStart(const char* text, size_t length);
