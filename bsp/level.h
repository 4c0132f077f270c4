// The loaded world: the world model's record, the four record arrays read
// whole from their lumps, and one flat colour per face record. LoadLevel
// builds it once and checks every reference drawing will follow, so the
// renderer can walk it without bounds checks; FreeLevel gives it back.
#pragma once

#include <cstdint>

#include "bsp/bsp_file.h"
#include "bsp/entities.h"

struct FaceColor {
  float red;  // each k / 32768 for a whole k below 32768: exact, in [0, 1)
  float green;
  float blue;
};
static_assert(sizeof(FaceColor) == 12);

// A BSP2 map's world faces as triangles, drawn with one call: three
// corners each, in GL's axes (x, z, -y of the map), with the face's colour
// at every corner and an edge flag saying whether the side from that corner
// is one of the face's own (drawn in wireframe) or a diagonal inside it.
struct Triangles {
  float* corners;
  FaceColor* colors;
  uint8_t* edgeFlags;
  uint32_t cornerCount;
};

struct Level {
  BspFormat format;
  BspModel worldModel;  // record 0 of the models lump
  BspFace* faces;       // version 29 maps
  uint32_t faceCount;   // counted in 16 bits for version 29 maps
  BspEdge* edges;       // version 29 maps
  uint32_t edgeCount;
  SurfEdge* surfEdges;
  uint32_t surfEdgeCount;
  BspVertex* vertices;
  uint32_t vertexCount;   // counted in 16 bits for version 29 maps
  FaceColor* faceColors;  // entry i belongs to face record i; faceCount of them
  PlayerStart start;      // where the view starts; drawing does not need it
  Bsp2Face* wideFaces;    // BSP2 and 2PSB maps, in place of faces and edges
  Bsp2Edge* wideEdges;
  Triangles triangles;    // BSP2 and 2PSB maps
};

// The type and its one instance share the name; write `struct Level` for
// the type.
extern struct Level Level;

// Shows a message the user must see: in a box with one OK button, or on
// stderr (and to a debugger) while MessagesOnStderr is set (for `mivo
// --info`, which opens no window, and for reloads as the file changes).
extern bool MessagesOnStderr;
void ShowMessage(const char* message);

// Needs an open map file and an empty level. Returns 0 when the level is
// loaded and every reference checked; otherwise shows what went wrong (a
// version it cannot show is refused before any lump is read) and returns
// 1, leaving whatever it had allocated for FreeLevel.
int LoadLevel();

// Releases every array that is present and leaves it absent, so a second
// call releases nothing.
void FreeLevel();

// The colour generator: a linear congruential generator started at 1 when
// the program starts and never reseeded, so a map shows the same colours on
// every run. Only NextRandom moves the state.
extern uint32_t RandomState;
int NextRandom();
float RandomUnit();
