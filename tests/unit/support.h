// What the unit tests share: maps loaded through the program's own loader
// from bytes the writer makes, and GL drawn through the window layer.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/bsp_writer.h"

using Bytes = std::vector<uint8_t>;

// Closes the map file, empties the level and restarts the colour
// generator, as at program start.
void ResetMapState();

// ResetMapState, then OpenBspFile and LoadLevel on a file holding `bytes`:
// 2 when the open fails, else LoadLevel's status.
int LoadBytes(const Bytes& bytes);

// What the user is left with: "loads", "open fails" (its message is the
// caller's), or the message LoadLevel showed.
std::string Outcome(const Bytes& bytes);

// `bytes` with the header's entry for `lump` changed.
Bytes WithLump(Bytes bytes, int lump, int64_t offset, int64_t length);

// The tree of a map: one node cutting it at y = `cut` (the front, y >= cut,
// is leaf 2; behind it leaf 1), each leaf holding the faces listed and
// seeing the leaves its row's bits say (bit 0: leaf 1, bit 1: leaf 2).
// Leaf 0 is the solid leaf, which nothing reaches.
struct TreeDraft {
  std::vector<BspNode> nodes;
  std::vector<BspLeaf> leaves;
  std::vector<uint16_t> marks;
  std::vector<uint8_t> visibility;
};
TreeDraft OneCut(MapDraft& map, float cut, const std::vector<uint16_t>& behind,
                 const std::vector<uint16_t>& ahead, uint8_t rowBehind, uint8_t rowAhead);

// Writes the tree's lumps, and the world model that heads it, into `map`.
void SetTree(MapDraft& map, const TreeDraft& tree);

// A hidden 640 x 480 window of the layer whose messages go to `procedure`.
// DestroyWindow ends it.
HWND OpenWindow(WNDPROC procedure);

// Such a window with a current GL context, made with the program's own
// pixel format request.
HWND OpenGlWindow();

// 0xRRGGBB at (x, y) from the lower-left corner of what was just drawn.
uint32_t PixelAt(int x, int y);
