// Loading maps described in a test through the program's own loader. The
// loader keeps one open file and one level per process; tests start afresh
// by closing both first.
#pragma once

#include <string>
#include <vector>

#include "tools/bsp_writer.h"

// Closes the map file, empties the level and restarts the colour generator,
// as at program start.
void ResetMapState();

// A fresh file under the test's temporary directory holding `bytes`,
// removed when the process ends.
std::string TemporaryMap(const std::vector<uint8_t>& bytes, const char* name = "map.bsp");

// ResetMapState, then OpenBspFile and LoadLevel on a file holding `bytes`.
// Returns 0 when both succeed.
int LoadBytes(const std::vector<uint8_t>& bytes);
int LoadDraft(const MapDraft& map);

// The directory of the real maps, or empty when the tests run without them.
std::string RealMapsDir();
