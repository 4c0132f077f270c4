// Loading a map file the way the viewer does (open it, load the level and,
// when that succeeds, draw a frame) and reporting what the user would be
// left with. Shared by the damaged-maps corpus and the replay of the
// fuzzer's regression inputs.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/bsp_writer.h"

// The entry point shows this when the file does not open, or opens with
// fewer bytes than a header.
inline constexpr char kOpenError[] = "Error opening bsp file (not found?)";
inline constexpr char kReadError[] = "Error reading bsp file (truncated or damaged?)";
inline constexpr char kReferenceError[] =
    "Error: bsp file is damaged (bad face, edge or vertex reference).";

struct Outcome {
  int status = 0;       // what the program would end with
  std::string message;  // every message shown, one per line; empty when it loads
  bool operator==(const Outcome&) const = default;
};

inline Outcome Loads() { return {0, ""}; }
inline Outcome FailsWith(const char* message) { return {1, message}; }

std::ostream& operator<<(std::ostream& out, const Outcome& outcome);

// A room with a pillar in it around the starting view, and every lump the
// viewer never reads filled with bytes of its own, so that no lump is empty
// and a cut anywhere lands inside something.
MapDraft RoomWithPillar();

// `bytes` with lump `lump` of the header moved to `offset` and `length`.
std::vector<uint8_t> WithLump(std::vector<uint8_t> bytes, int lump, int32_t offset,
                              uint32_t length);

// Makes the one GL context of the test program current, set up as the
// viewer sets up its own, opening it on first use. It stays open until the
// process ends: closing it unloads the GL driver, whose remaining
// allocations the leak checker then reports from an unknown module.
// Returns 0 when a context is current.
int UseGlContext();

// Opens `bytes` as a fresh map file, loads it and, when it loads, draws one
// frame with whatever GL context is current. The level stays loaded (or
// partly loaded) for the caller to inspect until the next call.
Outcome OpenLoadAndDraw(const std::vector<uint8_t>& bytes);

// The arrays a (partly) loaded level holds, in loading order, e.g.
// "faces colours edges".
std::string PresentArrays();
