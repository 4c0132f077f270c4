// A GL that draws nothing, for the fuzzer. Every call the renderer makes
// exists and folds its name and arguments, in order, into one frame hash,
// so the reads that produce the arguments cannot be optimised away and the
// fuzzer can compare the calls a frame made with the calls it should have
// made (folded with the same Fold functions).
#pragma once

#include <cstdint>

struct FakeGlFrame {
  uint64_t hash;
  uint64_t begins;
  uint64_t vertices;
  uint64_t openPolygons;  // glBegin without its glEnd yet
  uint64_t misnested;     // glBegin inside a polygon, or glEnd outside one
};

extern FakeGlFrame FakeGl;

void ResetFakeGl();

// The steps of the frame hash. Each call folds a tag of its own first.
enum : uint64_t { kTagClear = 1, kTagColor, kTagBegin, kTagVertex, kTagEnd, kTagOther };
uint64_t Fold(uint64_t hash, uint64_t value);
uint64_t Fold(uint64_t hash, float value);
