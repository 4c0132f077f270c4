// What the view takes from the map's entities lump: plain text, a sequence
// of entities in braces, each a list of "key" "value" pairs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct PlayerStart {
  bool found;       // false: the map has none, and the view starts where it always did
  float origin[3];  // x, y, z in map units
  float angle;      // yaw in degrees: 0 looks along +x, 90 along +y
};

// One entity's pairs, in the order the lump gives them: zero-ended strings
// in the text its MapEntities keeps, so that what an entity costs follows
// what the lump holds.
struct EntityPair {
  const char* key;
  const char* value;
};
struct Entity {
  const EntityPair* pairs;  // in its MapEntities' pairs
  uint32_t pairCount;
};

// The value of `key` in `entity`, or null when it has none. A key given
// twice counts with its last value, as the game reads it.
const char* ValueOf(const Entity& entity, std::string_view key);

// An entity that places a brush model of the map: a door, a lift, a button.
struct BrushEntity {
  uint32_t model;   // 1 or more: "*N"
  float origin[3];  // where the model's faces are moved to; 0 0 0 when not given
  uint32_t entity;  // into MapEntities::entities
};

// What an entity placed at a point is, for its marker's colour and box.
enum EntityFamily : uint8_t {
  kLightFamily,    // light*
  kMonsterFamily,  // monster_*
  kItemFamily,     // item_*, weapon_*
  kStartFamily,    // info_player_*, info_teleport_destination
  kOtherFamily,    // triggers and everything else
};

// An entity with an origin and no model (worldspawn aside): a monster, an
// item, a light. Its marker is the box [origin + mins, origin + maxs].
struct PointEntity {
  uint32_t entity;  // into MapEntities::entities
  EntityFamily family;
  float origin[3];
  float mins[3];
  float maxs[3];
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
  std::vector<Entity> entities;  // every entity the lump holds whole, in order
  std::vector<EntityPair> pairs;  // theirs, entity by entity
  std::vector<char> text;         // the strings they point to
  std::vector<BrushEntity> brushes;
  std::vector<BrushEntity> triggers;  // brush entities the game never shows
  std::vector<PointEntity> points;
  MapLook look;
};

// Reads `text` (`length` bytes, with or without a terminating zero) once,
// never past `length`; anything after damage in it is passed over.
// - start: the first info_player_start entity whose origin is three
//   numbers; failing that, the first such info_player_deathmatch. A missing
//   angle, or one that is not a number, is 0.
// - brushes: every entity whose "model" is "*N" for a whole N from 1 to
//   `modelCount` - 1, in order, except triggers (a classname starting with
//   "trigger_"), which the game never shows and which go to `triggers`. A
//   malformed origin is 0 0 0.
// - points: every entity with no "model" whose origin is three numbers,
//   but worldspawn.
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
