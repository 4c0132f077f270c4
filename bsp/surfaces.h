// Building the surfaces every view but the flat view of version 29/30 maps
// draws from: for the world's faces and those of the brush models the
// entities place, their corners in GL's axes with their flat colour, their
// texture and light-map coordinates, and their fans of triangles.
#pragma once

#include <cstdint>

// Needs the level's records checked, its models, brush entities, light
// samples and textures. Brush entities whose model's faces are not sound
// are dropped from Level.brushes. Returns 0, or 1 when the faces walk more
// corners than can be held (then nothing is built).
int BuildSurfaces();

// Whether faces [start, start + total) lie inside the faces lump and
// everything they walk lies inside its array. Sums are taken in 64 bits.
bool FacesAreSound(int64_t start, int64_t total);

// How many corners faces [start, start + total) walk in all (faces of one
// corner or none count nothing); 0 when the range is outside the lump.
uint64_t CornersOf(int64_t start, int64_t total);

// How many corners the faces drawn may walk in all: compilers give every
// face surface edges of its own, so a map's faces walk exactly as many
// corners as its surface-edge lump holds. Faces that walk far more share
// them over and over, which only a damaged or hostile file does; the slack
// leaves room for hand-made maps that share a few.
uint64_t CornerBudget();
