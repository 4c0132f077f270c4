// Reading the entities text, in one bounded pass.
#include "bsp/entities.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

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
  for (auto pair = entity.pairs.rbegin(); pair != entity.pairs.rend(); ++pair) {
    if (pair->key == key) return pair->value.c_str();
  }
  return nullptr;
}

MapEntities ReadMapEntities(const char* text, size_t length, uint32_t modelCount) {
  MapEntities found{};
  Entity entity;
  bool inEntity = false, haveKey = false;
  for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
    const char c = text[i];
    if (c == '{' && !inEntity) {
      inEntity = true;
      entity.pairs.clear();
      haveKey = false;
    } else if (c == '}' && inEntity) {
      found.entities.push_back(std::move(entity));
      entity = {};
      inEntity = false;
    } else if (c == '"' && inEntity) {
      const char* close = static_cast<const char*>(memchr(text + i + 1, '"', length - i - 1));
      if (close == nullptr) break;  // unterminated: nothing more to trust
      std::string word(text + i + 1, static_cast<size_t>(close - text - i - 1));
      i = static_cast<size_t>(close - text);
      if (!haveKey) {
        entity.pairs.push_back({std::move(word), {}});
      } else {
        entity.pairs.back().value = std::move(word);
      }
      haveKey = !haveKey;
    } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      break;  // nonsense: stop here
    }
  }
  PlayerStart deathmatch{};
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
  }
  if (!found.start.found) found.start = deathmatch;
  return found;
}

PlayerStart FindPlayerStart(const char* text, size_t length) {
  return ReadMapEntities(text, length, 0).start;
}
