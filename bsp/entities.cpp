// Reading the entities text, in one bounded pass.
#include "bsp/entities.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Parses exactly `count` finite numbers separated by white space.
bool ParseNumbers(const char* text, float* numbers, int count) {
  char copy[128];
  const size_t size = text != nullptr ? strlen(text) : 0;
  if (size == 0 || size >= sizeof copy) return false;
  memcpy(copy, text, size + 1);
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

std::string_view ClassOf(const Entity& entity) {
  const char* classname = ValueOf(entity, "classname");
  return classname != nullptr ? classname : "";
}

MapLook DefaultLook() {
  MapLook look{};
  for (float& alpha : look.liquidAlpha) alpha = 1.0f;
  look.fogColor[0] = look.fogColor[1] = look.fogColor[2] = 0.3f;
  return look;
}

// The value of `key`, or of `key` with a leading underscore, whichever
// comes later in the entity.
const char* LookValue(const Entity& entity, std::string_view key) {
  for (uint32_t i = entity.pairCount; i-- > 0;) {
    std::string_view name = entity.pairs[i].key;
    if (name.starts_with('_')) name.remove_prefix(1);
    if (name == key) return entity.pairs[i].value;
  }
  return nullptr;
}

void ReadWorldLook(const Entity& world, MapLook* look) {
  static const char* const kAlphas[kLiquidKinds] = {"wateralpha", "lavaalpha", "slimealpha",
                                                    "telealpha"};
  for (int k = 0; k < kLiquidKinds; ++k) {
    float alpha;
    if (ParseNumbers(LookValue(world, kAlphas[k]), &alpha, 1)) {
      look->liquidAlpha[k] = std::clamp(alpha, 0.0f, 1.0f);
    }
  }
  float fog[4];
  const char* value = LookValue(world, "fog");
  if (ParseNumbers(value, fog, 4)) {
    for (int c = 0; c < 3; ++c) look->fogColor[c] = std::clamp(fog[c + 1], 0.0f, 1.0f);
  } else if (!ParseNumbers(value, fog, 1)) {
    return;
  }
  look->fogDensity = std::max(fog[0], 0.0f);
}

// A switchable light: style 32 to 62, off when spawnflags has bit 1.
void ReadSwitchedLight(const Entity& entity, uint64_t* lightsOff) {
  float style, flags = 0;
  if (!ClassOf(entity).starts_with("light") || !ParseNumbers(ValueOf(entity, "style"), &style, 1) ||
      style != std::floor(style) || style < 32 || style > 62) {
    return;
  }
  const char* spawnflags = ValueOf(entity, "spawnflags");
  if (spawnflags != nullptr && *spawnflags != '\0' &&
      (!ParseNumbers(spawnflags, &flags, 1) || std::fabs(flags) > 1e9f)) {
    flags = 0;
  }
  const uint64_t bit = uint64_t{1} << int(style);
  *lightsOff = (int64_t(flags) & 1) != 0 ? *lightsOff | bit : *lightsOff & ~bit;
}

// The entity's start when it is one of `classname` with an origin.
bool StartOf(const Entity& entity, std::string_view classname, PlayerStart* start) {
  PlayerStart found{true, {}, 0.0f};
  if (ClassOf(entity) != classname || !ParseNumbers(ValueOf(entity, "origin"), found.origin, 3)) {
    return false;
  }
  if (!ParseNumbers(ValueOf(entity, "angle"), &found.angle, 1)) found.angle = 0.0f;
  *start = found;
  return true;
}

// "*N" with N a plain decimal number from 1 to `modelCount` - 1.
bool BrushOf(const Entity& entity, uint32_t index, uint32_t modelCount, BrushEntity* brush) {
  const char* value = ValueOf(entity, "model");
  const std::string_view model = value != nullptr ? value : "";
  if (model.size() < 2 || model.size() > 10 || model[0] != '*') return false;
  uint64_t number = 0;
  for (char c : model.substr(1)) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number < 1 || number >= modelCount) return false;
  *brush = BrushEntity{static_cast<uint32_t>(number), {}, index};
  if (!ParseNumbers(ValueOf(entity, "origin"), brush->origin, 3)) {
    brush->origin[0] = brush->origin[1] = brush->origin[2] = 0.0f;
  }
  return true;
}

// The family and marker box of an entity placed at a point: monsters and
// where players appear stand in the game's player-sized box, items and
// weapons in the 32-unit box the game puts them in from their origin, the
// rest in a 16-unit cube about it.
bool PointOf(const Entity& entity, uint32_t index, PointEntity* point) {
  const std::string_view classname = ClassOf(entity);
  PointEntity found{index, kOtherFamily, {}, {-8, -8, -8}, {8, 8, 8}};
  if (ValueOf(entity, "model") != nullptr || classname == "worldspawn" ||
      !ParseNumbers(ValueOf(entity, "origin"), found.origin, 3)) {
    return false;
  }
  const bool standing = classname.starts_with("monster_") ||
                        classname.starts_with("info_player_") ||
                        classname == "info_teleport_destination";
  if (standing) {
    found.family = classname.starts_with("monster_") ? kMonsterFamily : kStartFamily;
    const float mins[3] = {-16, -16, -24}, maxs[3] = {16, 16, 32};
    memcpy(found.mins, mins, sizeof mins);
    memcpy(found.maxs, maxs, sizeof maxs);
  } else if (classname.starts_with("item_") || classname.starts_with("weapon_")) {
    found.family = kItemFamily;
    const float mins[3] = {0, 0, 0}, maxs[3] = {32, 32, 32};
    memcpy(found.mins, mins, sizeof mins);
    memcpy(found.maxs, maxs, sizeof maxs);
  } else if (classname.starts_with("light")) {
    found.family = kLightFamily;
  }
  *point = found;
  return true;
}

}  // namespace

const char* ValueOf(const Entity& entity, std::string_view key) {
  for (uint32_t i = entity.pairCount; i-- > 0;) {
    if (entity.pairs[i].key == key) return entity.pairs[i].value;
  }
  return nullptr;
}

MapEntities ReadMapEntities(const char* text, size_t length, uint32_t modelCount) {
  MapEntities found{};
  found.look = DefaultLook();
  // A copy of the text, cut at its first zero byte, whose closing quotes
  // become zero bytes: the pairs' strings.
  if (length == 0) return found;  // (and `text` may be null)
  const char* end = static_cast<const char*>(memchr(text, '\0', length));
  found.text.assign(text, end != nullptr ? end : text + length);
  char* t = found.text.data();
  const size_t size = found.text.size();
  std::vector<std::pair<uint32_t, uint32_t>> runs;  // each entity's pairs
  uint32_t first = 0;
  bool inEntity = false, haveKey = false;
  for (size_t i = 0; i < size; ++i) {
    const char c = t[i];
    if (c == '{' && !inEntity) {
      inEntity = true;
      first = uint32_t(found.pairs.size());
      haveKey = false;
    } else if (c == '}' && inEntity) {
      runs.emplace_back(first, uint32_t(found.pairs.size()) - first);
      inEntity = false;
    } else if (c == '"' && inEntity) {
      char* close = static_cast<char*>(memchr(t + i + 1, '"', size - i - 1));
      if (close == nullptr) break;  // unterminated: nothing more to trust
      *close = '\0';
      const char* word = t + i + 1;
      i = static_cast<size_t>(close - t);
      if (!haveKey) {
        found.pairs.push_back({word, ""});
      } else {
        found.pairs.back().value = word;
      }
      haveKey = !haveKey;
    } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      break;  // nonsense: stop here
    }
  }
  for (const auto& [at, count] : runs) found.entities.push_back({found.pairs.data() + at, count});
  PlayerStart deathmatch{};
  bool worldSeen = false;
  for (uint32_t e = 0; e < found.entities.size(); ++e) {
    const Entity& each = found.entities[e];
    if (!found.start.found) {
      StartOf(each, "info_player_start", &found.start);
      if (!deathmatch.found) StartOf(each, "info_player_deathmatch", &deathmatch);
    }
    BrushEntity brush;
    PointEntity point;
    if (BrushOf(each, e, modelCount, &brush)) {
      (ClassOf(each).starts_with("trigger_") ? found.triggers : found.brushes).push_back(brush);
    } else if (PointOf(each, e, &point)) {
      found.points.push_back(point);
    }
    if (!worldSeen && ClassOf(each) == "worldspawn") {
      worldSeen = true;
      ReadWorldLook(each, &found.look);
    }
    ReadSwitchedLight(each, &found.look.lightsOff);
  }
  if (!found.start.found) found.start = deathmatch;
  return found;
}

PlayerStart FindPlayerStart(const char* text, size_t length) {
  return ReadMapEntities(text, length, 0).start;
}
