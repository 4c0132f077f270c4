// Reading the entities text, in one bounded pass.
#include "bsp/entities.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
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

struct Entity {
  std::string_view classname, origin, angle, model;
};

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
