// Finding the player start in the entities text, in one bounded pass.
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
  std::string_view classname, origin, angle;
};

// The entity's start when it is one of `classname` with an origin.
bool StartOf(const Entity& entity, std::string_view classname, PlayerStart* start) {
  PlayerStart found{true, {}, 0.0f};
  if (entity.classname != classname || !ParseNumbers(entity.origin, found.origin, 3)) return false;
  if (!ParseNumbers(entity.angle, &found.angle, 1)) found.angle = 0.0f;
  *start = found;
  return true;
}

}  // namespace

PlayerStart FindPlayerStart(const char* text, size_t length) {
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
      PlayerStart start;
      if (StartOf(entity, "info_player_start", &start)) return start;
      if (!deathmatch.found) StartOf(entity, "info_player_deathmatch", &deathmatch);
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
      }
      haveKey = !haveKey;
    } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      break;  // nonsense: stop here
    }
  }
  return deathmatch;
}
