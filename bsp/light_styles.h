// How strong each light style is at a time on the map's clock: the game's
// patterns of styles 0 to 11 and 63, the switchable lights of styles 32 to
// 62 on or off as the map's light entities start them, every other style at
// full strength.
#pragma once

#include <cstdint>
#include <vector>

// The number of styles the patterns and switches cover; every style from
// here on is at full strength.
constexpr int kPatternedStyles = 64;

// Each style's strength at `seconds` (0 or more) into `values`, by style
// number, kPatternedStyles of them: a pattern's letter at step
// floor(10 seconds) modulo its length, `a` 0, `m` 1 and `z` 25/12; a
// switchable style 1, or 0 where its bit in `lightsOff` is set.
void StyleValuesAt(double seconds, uint64_t lightsOff, std::vector<float>* values);

// Whether the style's strength changes with time.
bool StyleVaries(int style);

// The step of something that takes `rate` steps a second and repeats after
// `count` of them (1 or more), at `seconds` (0 or more).
int StepAt(double seconds, double rate, int count);
