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
#include <vector>

struct BspLump {
  int32_t offset;   // from the start of the file; negative means unreadable
  uint32_t length;  // in bytes; trailing bytes short of a record are ignored
};
static_assert(sizeof(BspLump) == 8);
static_assert(offsetof(BspLump, length) == 4);

constexpr int kLumpCount = 15;
constexpr int kEntitiesLump = 0;
constexpr int kPlanesLump = 1;
constexpr int kTexturesLump = 2;
constexpr int kVerticesLump = 3;
constexpr int kVisibilityLump = 4;
constexpr int kNodesLump = 5;
constexpr int kTexInfoLump = 6;
constexpr int kFacesLump = 7;
constexpr int kLightingLump = 8;
constexpr int kLeavesLump = 10;
constexpr int kMarkSurfacesLump = 11;
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
  float mins[3];  // bounds, in map units; compilers keep a brush model's 1 unit short of its faces
  float maxs[3];
  float origin[3];
  int32_t headNodes[4];  // [0]: the tree that draws; the others are for collision
  int32_t visLeafCount;  // leaves 1 to this have a bit in each visibility row
  int32_t faceStart;
  int32_t faceTotal;
};
static_assert(sizeof(BspModel) == 64);
static_assert(offsetof(BspModel, headNodes) == 36);
static_assert(offsetof(BspModel, visLeafCount) == 52);
static_assert(offsetof(BspModel, faceStart) == 56);
static_assert(offsetof(BspModel, faceTotal) == 60);

struct BspFace {
  uint16_t plane;
  int16_t side;
  int32_t surfEdgeStart;
  int16_t surfEdgeTotal;  // one surface edge per corner
  int16_t texInfo;
  uint8_t styles[4];    // light styles; 255 ends the list
  int32_t lightOffset;  // into the light samples; -1: none
};
static_assert(sizeof(BspFace) == 20);
static_assert(offsetof(BspFace, surfEdgeStart) == 4);
static_assert(offsetof(BspFace, surfEdgeTotal) == 8);
static_assert(offsetof(BspFace, texInfo) == 10);
static_assert(offsetof(BspFace, styles) == 12);
static_assert(offsetof(BspFace, lightOffset) == 16);

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
  int32_t plane;
  int32_t side;
  int32_t surfEdgeStart;
  int32_t surfEdgeTotal;
  int32_t texInfo;
  uint8_t styles[4];
  int32_t lightOffset;
};
static_assert(sizeof(Bsp2Face) == 28);
static_assert(offsetof(Bsp2Face, surfEdgeStart) == 8);
static_assert(offsetof(Bsp2Face, surfEdgeTotal) == 12);
static_assert(offsetof(Bsp2Face, texInfo) == 16);
static_assert(offsetof(Bsp2Face, styles) == 20);
static_assert(offsetof(Bsp2Face, lightOffset) == 24);

struct Bsp2Edge {
  uint32_t startVertex;
  uint32_t endVertex;
};
static_assert(sizeof(Bsp2Edge) == 8);

// How a face's texture lies on it: s = x s[0] + y s[1] + z s[2] + s[3] in
// texels, and the same for t.
struct BspTexInfo {
  float s[4];
  float t[4];
  int32_t texture;  // index into the textures lump's directory
  int32_t flags;    // kSpecialSurface: sky or liquid
};
static_assert(sizeof(BspTexInfo) == 40);
static_assert(offsetof(BspTexInfo, texture) == 32);
constexpr int32_t kSpecialSurface = 1;

// A face's light laid out by a matrix of its own rather than by its
// texture (the BSPX lump DECOUPLED_LM, one record a face): row k dotted with
// (x, y, z, 1) is a point's light-map coordinate k, sample (i, j) lying at
// (i, j); the samples, width x height a style, start at `offset`.
struct BspxDecoupledLight {
  uint16_t width;
  uint16_t height;
  int32_t offset;  // as a face's light offset; -1: none
  float worldToLight[2][4];
};
static_assert(sizeof(BspxDecoupledLight) == 40);
static_assert(offsetof(BspxDecoupledLight, offset) == 4);
static_assert(offsetof(BspxDecoupledLight, worldToLight) == 8);

struct BspPlane {
  float normal[3];
  float dist;    // normal . point for every point on the plane
  int32_t type;  // 0, 1, 2: along x, y, z; 3, 4, 5: mostly along x, y, z
};
static_assert(sizeof(BspPlane) == 20);

// The tree, in the three formats' widths. A negative child c is leaf
// -(c + 1); leaf 0 is the shared solid leaf.
template <typename Index, typename Bound, typename Count>
struct TreeNodeRecord {
  int32_t plane;
  Index children[2];
  Bound mins[3];
  Bound maxs[3];
  Count firstFace;
  Count faceCount;
};
template <typename Bound, typename Count>
struct TreeLeafRecord {
  int32_t contents;  // -1 empty, -2 solid, ...
  int32_t visOffset;  // into the visibility lump; -1: none
  Bound mins[3];
  Bound maxs[3];
  Count firstMarkSurface;
  Count markSurfaceCount;
  uint8_t ambient[4];
};
using BspNode = TreeNodeRecord<int16_t, int16_t, uint16_t>;
using Bsp2Node = TreeNodeRecord<int32_t, float, uint32_t>;
using PsbNode = TreeNodeRecord<int32_t, int16_t, uint32_t>;  // 2PSB
using BspLeaf = TreeLeafRecord<int16_t, uint16_t>;
using Bsp2Leaf = TreeLeafRecord<float, uint32_t>;
using PsbLeaf = TreeLeafRecord<int16_t, uint32_t>;
static_assert(sizeof(BspNode) == 24 && sizeof(Bsp2Node) == 44 && sizeof(PsbNode) == 32);
static_assert(sizeof(BspLeaf) == 28 && sizeof(Bsp2Leaf) == 44 && sizeof(PsbLeaf) == 32);
static_assert(offsetof(Bsp2Leaf, firstMarkSurface) == 32 && offsetof(PsbLeaf, ambient) == 28);

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
  int64_t length;  // bytes of the map really there: `size`, or less where the file ends first
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


// Every record of the models lump.
int ReadModels(std::vector<BspModel>* models);

// The whole of `lump`, as bytes or as records (trailing bytes short of a
// record ignored). A lump that does not lie wholly inside the map gives 1
// and an empty array, before anything is allocated: what these lumps hold
// is never worth refusing a map for, nor more memory than the map's size.
int ReadLumpBytes(int lump, std::vector<uint8_t>* bytes);
int ReadLumpArray(int lump, std::vector<BspTexInfo>* records);
int ReadLumpArray(int lump, std::vector<BspPlane>* records);
int ReadLumpArray(int lump, std::vector<BspNode>* records);
int ReadLumpArray(int lump, std::vector<Bsp2Node>* records);
int ReadLumpArray(int lump, std::vector<PsbNode>* records);
int ReadLumpArray(int lump, std::vector<BspLeaf>* records);
int ReadLumpArray(int lump, std::vector<Bsp2Leaf>* records);
int ReadLumpArray(int lump, std::vector<PsbLeaf>* records);
int ReadLumpArray(int lump, std::vector<uint16_t>* records);
int ReadLumpArray(int lump, std::vector<uint32_t>* records);

// `count` bytes at `offset` of the map (not of a lump), with the same
// limits: for data found past the lumps.
int ReadMapBytes(int64_t offset, int64_t count, std::vector<uint8_t>* bytes);
