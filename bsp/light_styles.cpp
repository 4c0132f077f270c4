// The patterns are the game's own, each a letter a tenth of a second.
#include "bsp/light_styles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const char* const kPatterns[12] = {
    "m",
    "mmnmmommommnonmmonqnmmo",
    "abcdefghijklmnopqrstuvwxyzyxwvutsrqponmlkjihgfedcba",
    "mmmmmaaaaammmmmaaaaaabcdefgabcdefg",
    "mamamamamama",
    "jklmnopqrstuvwxyzyxwvutsrqponmlkj",
    "nmonqnmomnmomomno",
    "mmmaaaabcdefgmmmmaaaammmaamm",
    "mmmaaammmaaammmabcdefaaaammmmabcdefmmmaaaa",
    "aaaaaaaazzzzzzzz",
    "mmamammmmammamamaaamammma",
    "abcdefghijklmnopqrrqponmlkjihgfedcba",
};

const char* PatternOf(int style) {
  if (style >= 0 && style < 12) return kPatterns[style];
  return style == kPatternedStyles - 1 ? "a" : "m";
}

}  // namespace

int StepAt(double seconds, double rate, int count) {
  const double steps = std::floor(seconds * rate);
  // Past 2^53 steps every double is a whole number, and fmod stays exact.
  const double step = std::isfinite(steps) ? std::fmod(steps, count)
                                           : std::floor(std::fmod(seconds, count / rate) * rate);
  return std::clamp(int(step), 0, count - 1);
}

void StyleValuesAt(double seconds, uint64_t lightsOff, std::vector<float>* values) {
  values->resize(kPatternedStyles);
  for (int style = 0; style < kPatternedStyles; ++style) {
    const char* pattern = PatternOf(style);
    char letter = pattern[StepAt(seconds, 10, int(strlen(pattern)))];
    if (style >= 32 && style < kPatternedStyles - 1 && ((lightsOff >> style) & 1) != 0)
      letter = 'a';
    (*values)[size_t(style)] = float(letter - 'a') / 12.0f;
  }
}

bool StyleVaries(int style) { return strlen(PatternOf(style)) > 1; }
