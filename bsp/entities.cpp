// Reading the entities text, in one bounded pass.
#include "bsp/entities.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

// Parses exactly `count` finite numbers separated by white space.
bool ParseNumbers(std::string_view text, float* numbers, int count) {
  char copy[128];
  if (text.empty() || text.size() >= sizeof copy) return false;
  memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  const char* at = copy;
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    numbers[i] = strtof(at, &end);
    if (end == at || !std::isfinite(numbers[i])) return false;
    at = end;
  }
  while (*at == ' ' || *at == '\t') ++at;
  return *at == '\0';
}

// The keys of the map's look, with or without a leading underscore.
constexpr std::string_view kLookKeys[] = {"wateralpha", "lavaalpha", "slimealpha", "telealpha",
                                          "fog"};
constexpr size_t kFogKey = 4;

struct Entity {
  std::string_view classname, origin, angle, model, style, spawnflags;
  std::string_view look[std::size(kLookKeys)];
};

MapLook DefaultLook() {
  MapLook look{};
  for (float& alpha : look.liquidAlpha) alpha = 1.0f;
  look.fogColor[0] = look.fogColor[1] = look.fogColor[2] = 0.3f;
  return look;
}

void ReadWorldLook(const Entity& world, MapLook* look) {
  for (size_t k = 0; k < kFogKey; ++k) {
    float alpha;
    if (ParseNumbers(world.look[k], &alpha, 1))
      look->liquidAlpha[k] = std::clamp(alpha, 0.0f, 1.0f);
  }
  float fog[4];
  if (ParseNumbers(world.look[kFogKey], fog, 4)) {
    for (int c = 0; c < 3; ++c) look->fogColor[c] = std::clamp(fog[c + 1], 0.0f, 1.0f);
  } else if (!ParseNumbers(world.look[kFogKey], fog, 1)) {
    return;
  }
  look->fogDensity = std::max(fog[0], 0.0f);
}

// A switchable light: style 32 to 62, off when spawnflags has bit 1.
void ReadSwitchedLight(const Entity& entity, uint64_t* lightsOff) {
  float style, flags = 0;
  if (!entity.classname.starts_with("light") || !ParseNumbers(entity.style, &style, 1) ||
      style != std::floor(style) || style < 32 || style > 62) {
    return;
  }
  if (!entity.spawnflags.empty() &&
      (!ParseNumbers(entity.spawnflags, &flags, 1) || std::fabs(flags) > 1e9f)) {
    flags = 0;
  }
  const uint64_t bit = uint64_t{1} << int(style);
  *lightsOff = (int64_t(flags) & 1) != 0 ? *lightsOff | bit : *lightsOff & ~bit;
}

// The entity's start when it is one of `classname` with an origin.
bool StartOf(const Entity& entity, std::string_view classname, PlayerStart* start) {
  PlayerStart found{true, {}, 0.0f};
  if (entity.classname != classname || !ParseNumbers(entity.origin, found.origin, 3)) return false;
  if (!ParseNumbers(entity.angle, &found.angle, 1)) found.angle = 0.0f;
  *start = found;
  return true;
}

// "*N" with N a plain decimal number from 1 to `modelCount` - 1.
bool BrushOf(const Entity& entity, uint32_t modelCount, BrushEntity* brush) {
  const std::string_view model = entity.model;
  if (model.size() < 2 || model.size() > 10 || model[0] != '*' ||
      entity.classname.starts_with("trigger_")) {
    return false;
  }
  uint64_t number = 0;
  for (char c : model.substr(1)) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number < 1 || number >= modelCount) return false;
  *brush = BrushEntity{static_cast<uint32_t>(number), {}};
  if (!ParseNumbers(entity.origin, brush->origin, 3)) {
    brush->origin[0] = brush->origin[1] = brush->origin[2] = 0.0f;
  }
  return true;
}

}  // namespace

MapEntities ReadMapEntities(const char* text, size_t length, uint32_t modelCount) {
  MapEntities found{};
  found.look = DefaultLook();
  bool worldSeen = false;
  PlayerStart deathmatch{};
  Entity entity{};
  std::string_view pending;  // a key waiting for its value
  bool inEntity = false, haveKey = false;
  for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
    const char c = text[i];
    if (c == '{' && !inEntity) {
      inEntity = true;
      entity = {};
      haveKey = false;
    } else if (c == '}' && inEntity) {
      if (!found.start.found) {
        StartOf(entity, "info_player_start", &found.start);
        if (!deathmatch.found) StartOf(entity, "info_player_deathmatch", &deathmatch);
      }
      BrushEntity brush;
      if (BrushOf(entity, modelCount, &brush)) found.brushes.push_back(brush);
      if (!worldSeen && entity.classname == "worldspawn") {
        worldSeen = true;
        ReadWorldLook(entity, &found.look);
      }
      ReadSwitchedLight(entity, &found.look.lightsOff);
      inEntity = false;
    } else if (c == '"' && inEntity) {
      const char* close = static_cast<const char*>(memchr(text + i + 1, '"', length - i - 1));
      if (close == nullptr) break;  // unterminated: nothing more to trust
      const std::string_view word(text + i + 1, static_cast<size_t>(close - text - i - 1));
      i = static_cast<size_t>(close - text);
      if (!haveKey) {
        pending = word;
      } else if (pending == "classname") {
        entity.classname = word;
      } else if (pending == "origin") {
        entity.origin = word;
      } else if (pending == "angle") {
        entity.angle = word;
      } else if (pending == "model") {
        entity.model = word;
      } else if (pending == "style") {
        entity.style = word;
      } else if (pending == "spawnflags") {
        entity.spawnflags = word;
      } else {
        const std::string_view key = pending.starts_with('_') ? pending.substr(1) : pending;
        for (size_t k = 0; k < std::size(kLookKeys); ++k) {
          if (key == kLookKeys[k]) entity.look[k] = word;
        }
      }
      haveKey = !haveKey;
    } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      break;  // nonsense: stop here
    }
  }
  if (!found.start.found) found.start = deathmatch;
  return found;
}

PlayerStart FindPlayerStart(const char* text, size_t length) {
  return ReadMapEntities(text, length, 0).start;
}
