// The world model's tree, its leaves' faces and which leaves see which,
// decoded from any of the three formats into Level.tree. Data that fails
// the check (a child, plane or face out of range, a loop in the tree)
// leaves the tree unsound; that, or a map without visibility data, leaves
// it untrusted: the views then draw everything. A sound tree still serves
// to find the leaf at a point and what a ray meets.
#pragma once

#include <cstdint>
#include <vector>

void ReadTree();

// The visibility row of `leaf`, one bit a visible leaf (bit j: leaf j + 1),
// into `row` (visLeafCount bits, rounded up to bytes). Returns 0, or 1 when
// the leaf has no row or its run-length code runs past the lump.
int DecodeVisibility(const struct TreeLeaf& leaf, std::vector<uint8_t>* row);
