// The one map file of the program: its open stream, the position the last
// read started from, and its header with the lump directory. The record
// types below are the file's own bytes: a reader copies whole lumps straight
// into arrays of them, so their layouts must never gain padding.
//
//   OpenBspFile(path)          once
//   CountFaces() ... Read...() any number of times, in any order
//   CloseBspFile()             before another file can be opened
//
// Every operation that can fail returns 0 for success and 1 for failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct BspLump {
  int32_t offset;   // from the start of the file; negative means unreadable
  uint32_t length;  // in bytes; trailing bytes short of a record are ignored
};
static_assert(sizeof(BspLump) == 8);
static_assert(offsetof(BspLump, length) == 4);

constexpr int kLumpCount = 15;
constexpr int kEntitiesLump = 0;
constexpr int kVerticesLump = 3;
constexpr int kFacesLump = 7;
constexpr int kEdgesLump = 12;
constexpr int kSurfEdgesLump = 13;
constexpr int kModelsLump = 14;

struct BspHeader {
  int32_t version;  // which records the lumps hold: see FormatOf
  BspLump lumps[kLumpCount];
};
static_assert(sizeof(BspHeader) == 124);
static_assert(offsetof(BspHeader, lumps) == 4);

struct BspModel {
  uint8_t unused[56];  // bounds, origin, hulls, leaf count: not drawn
  int32_t faceStart;
  int32_t faceTotal;
};
static_assert(sizeof(BspModel) == 64);
static_assert(offsetof(BspModel, faceStart) == 56);
static_assert(offsetof(BspModel, faceTotal) == 60);

struct BspFace {
  uint8_t unused0[4];  // plane and side
  int32_t surfEdgeStart;
  int16_t surfEdgeTotal;  // one surface edge per corner
  uint8_t unused1[10];    // texture info, light styles, light map
};
static_assert(sizeof(BspFace) == 20);
static_assert(offsetof(BspFace, surfEdgeStart) == 4);
static_assert(offsetof(BspFace, surfEdgeTotal) == 8);

struct BspEdge {
  uint16_t startVertex;
  uint16_t endVertex;
};
static_assert(sizeof(BspEdge) == 4);
static_assert(offsetof(BspEdge, endVertex) == 2);

// Its magnitude names an edge; a positive value walks it from startVertex,
// a negative one from endVertex.
using SurfEdge = int32_t;
static_assert(sizeof(SurfEdge) == 4);

struct BspVertex {
  float x;
  float y;
  float z;  // up
};
static_assert(sizeof(BspVertex) == 12);
static_assert(offsetof(BspVertex, y) == 4);
static_assert(offsetof(BspVertex, z) == 8);

// BSP2 and its older variant 2PSB: the same lumps, models, surface edges
// and vertices, but faces and edges wide enough for maps beyond 16-bit
// indices, and every count in 32 bits.
struct Bsp2Face {
  uint8_t unused0[8];  // plane and side
  int32_t surfEdgeStart;
  int32_t surfEdgeTotal;
  uint8_t unused1[12];  // texture info, light styles, light map
};
static_assert(sizeof(Bsp2Face) == 28);
static_assert(offsetof(Bsp2Face, surfEdgeStart) == 8);
static_assert(offsetof(Bsp2Face, surfEdgeTotal) == 12);

struct Bsp2Edge {
  uint32_t startVertex;
  uint32_t endVertex;
};
static_assert(sizeof(Bsp2Edge) == 8);

// The version field of each format: 29 for Quake, 30 for Half-Life (the
// same records), and the four bytes "BSP2" or "2PSB" as read little-endian.
enum BspFormat { kUnsupportedFormat, kBsp29Format, kBsp2Format };
constexpr int32_t kBsp2Version = 0x32505342;  // "BSP2"
constexpr int32_t k2psbVersion = 0x42535032;  // "2PSB"
BspFormat FormatOf(int32_t version);

struct BspFile {
  FILE* stream;           // null until OpenBspFile has opened a file
  int32_t savedPosition;  // where the latest read started; success seeks back
  BspHeader header;       // all zero until read
  // Where the map lies in the stream: a whole file, or one entry of a pak.
  // Offsets in the map count from `start`, and nothing at or past `start`
  // + `size` belongs to it, even where the stream goes on.
  int64_t start;
  int64_t size;
};

// The type and its one instance share the name; write `struct BspFile` for
// the type.
extern struct BspFile BspFile;

int OpenBspFile(const char* path);

// The same for the `size` bytes at `start` of `path`: a map inside a pak.
int OpenBspEntry(const char* path, int64_t start, int64_t size);

// Closes the file, if one is open, even one whose header came up short, and
// forgets it. Closing nothing does nothing.
void CloseBspFile();
int ReadBspHeader(BspHeader* header);
int ReadModel(BspModel* model, int16_t index);

// Faces and vertices are counted in 16 bits because the file's own indices
// of them are 16-bit: a larger lump gives its true count modulo 65,536.
uint16_t CountFaces();
uint32_t CountEdges();
uint32_t CountSurfEdges();
uint16_t CountVertices();

int ReadFaces(BspFace* faces);
int ReadEdges(BspEdge* edges);
int ReadSurfEdges(SurfEdge* surfEdges);
int ReadVertices(BspVertex* vertices);

// The same for BSP2 and 2PSB maps, where nothing is counted in 16 bits.
uint32_t CountBsp2Faces();
uint32_t CountBsp2Edges();
uint32_t CountBsp2Vertices();
int ReadBsp2Faces(Bsp2Face* faces);
int ReadBsp2Edges(Bsp2Edge* edges);
int ReadBsp2Vertices(BspVertex* vertices);

// The entities lump's text, `lumps[0].length` bytes of it.
int ReadEntities(char* text);
