// Writes BSP version 29 files from a few lines of C++. Shared by mapgen
// (the demo map), the tests and the benchmarks.
//
//   MapDraft map;
//   AddRoom(map, {0, 0, 0}, {256, 256, 128});   // six faces facing inward
//   AddFace(map, {{...}, {...}, {...}});         // corners clockwise from the front
//   std::vector<uint8_t> bytes = BspBytes(map);  // header + lumps
//   WriteBspFile("room.bsp", bytes);
//
// Damaged files: set a raw lump, or patch the header of the bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "bsp/bsp_file.h"

struct Vec3 {
  float x, y, z;
};

// Which way an axis-aligned face looks: the side it is drawn from.
enum class Facing { kPlusX, kMinusX, kPlusY, kMinusY, kPlusZ, kMinusZ };

// AddFace's memory of what can be shared: vertices by exact position, edges
// walked by one face and not yet walked back by another, and planes. It
// records the array sizes it has seen; when the arrays were changed behind
// AddFace's back it is rebuilt from them.
struct DraftLookup {
  struct KeyHash {
    size_t operator()(const std::array<uint32_t, 3>& key) const;
    size_t operator()(const std::array<int64_t, 4>& key) const;
  };
  std::unordered_map<std::array<uint32_t, 3>, uint16_t, KeyHash> vertexAt;
  std::unordered_map<uint32_t, int32_t> openEdge;  // start << 16 | end -> edge
  std::unordered_map<std::array<int64_t, 4>, int16_t, KeyHash> planeAt;
  size_t vertexCount = 0;
  size_t edgeCount = 0;
  size_t surfEdgeCount = 0;
  size_t planeCount = 0;
};

struct MapDraft {
  int32_t version = 29;
  std::string entities;  // the entities lump's text; written with a closing zero byte
  std::vector<BspVertex> vertices;
  std::vector<BspEdge> edges;
  std::vector<SurfEdge> surfEdges;
  std::vector<BspFace> faces;
  std::vector<BspPlane> planes;
  std::vector<BspTexInfo> texInfos;  // AddFace gives every face texture info 0
  std::vector<uint8_t> lighting;     // the light samples lump
  // Model 0 is the world. Left empty, BspBytes writes one world model that
  // owns every face.
  std::vector<BspModel> models;
  // Bytes that replace a lump's records as they stand, for broken files.
  std::array<std::optional<std::vector<uint8_t>>, kLumpCount> rawLumps;
  DraftLookup lookup;
};

// Adds one face whose corners run clockwise seen from its front (the side
// that is drawn), as compiled maps store them. Vertices and edges shared
// with earlier faces are reused, so walks run edges in both directions.
// Returns the new face's index, or -1 (and adds nothing) when the face does
// not fit the format: more than 32,767 corners, or a vertex or plane beyond
// what 16-bit indices can name.
int AddFace(MapDraft& map, const std::vector<Vec3>& corners);

// One axis-aligned rectangle facing `facing`. `min` and `max` are opposite
// corners and agree in the coordinate along the facing axis.
int AddRect(MapDraft& map, Vec3 min, Vec3 max, Facing facing);

// A box seen from inside: floor, ceiling and four walls, all facing in.
void AddRoom(MapDraft& map, Vec3 min, Vec3 max);

// A solid box seen from outside (a pillar, a step): six faces facing out.
void AddBlock(MapDraft& map, Vec3 min, Vec3 max);

// The file: the 124-byte header, then the fifteen lumps in index order,
// each starting on a 4-byte boundary. Lumps the draft does not fill are
// empty, with their offset at the end of what came before. Everything is
// written little-endian whatever the host.
std::vector<uint8_t> BspBytes(const MapDraft& map);

// The same map as BSP2 (or, with `version` k2psbVersion, 2PSB): `bytes` of a
// version 29 map with its faces and edges widened and the lumps laid out
// anew.
std::vector<uint8_t> Bsp2Bytes(const std::vector<uint8_t>& bytes, int32_t version = kBsp2Version);

// A BSP2 map whose world is these four-cornered faces, each with vertices
// and edges of its own, corners clockwise seen from the front: maps of any
// size, past every 16-bit limit.
std::vector<uint8_t> Bsp2QuadBytes(const std::vector<std::array<Vec3, 4>>& quads);

// GridMap's field as such quads, without its 16-bit limits.
std::vector<std::array<Vec3, 4>> GridQuads(int faceCount);

// A texture for the miptex lump: level 0 is `indices`, width x height
// palette indices row by row; levels 1 to 3 are made by taking every 2nd,
// 4th and 8th texel. With `palette` (256 x 3 bytes) the texture carries its
// own, after level 3, as version 30 maps store them. Without indices it is
// stored outside the map: its header alone, every level offset 0.
struct MiptexDraft {
  std::string name;
  uint32_t width, height;
  std::vector<uint8_t> indices;
  std::vector<uint8_t> palette;
};

// The miptex lump holding `textures` (an empty name: a -1 entry), for
// MapDraft::rawLumps[kTexturesLump].
std::vector<uint8_t> MiptexLump(const std::vector<MiptexDraft>& textures);

// A WAD3 (with `wad3`; its textures carry their palettes) or WAD2 file
// holding each of `textures` as an uncompressed texture entry (type 0x43
// or 0x44) of its name: the header, the textures, then the directory.
std::vector<uint8_t> WadBytes(const std::vector<MiptexDraft>& textures, bool wad3);

// `bytes` of a map with a BSPX directory after its lumps, on a 4-byte
// boundary, listing `lumps` (a name of up to 24 bytes, the bytes), each
// following the directory on a 4-byte boundary.
using BspxLump = std::pair<std::string, std::vector<uint8_t>>;
std::vector<uint8_t> WithBspx(std::vector<uint8_t> bytes, const std::vector<BspxLump>& lumps);

// A pak archive holding `files` (name such as "maps/e1m1.bsp", bytes) in
// order: the 12-byte header, the files, then the directory.
using PakFile = std::pair<std::string, std::vector<uint8_t>>;
std::vector<uint8_t> PakBytes(const std::vector<PakFile>& files);

// The header at the start of `bytes`, and a way to put a changed one back.
BspHeader HeaderOf(const std::vector<uint8_t>& bytes);
void SetHeader(std::vector<uint8_t>& bytes, const BspHeader& header);

// Returns 0 on success, 1 when the file cannot be written; then no partial
// file is left behind.
int WriteBspFile(const std::string& path, const std::vector<uint8_t>& bytes);

// The demo level around the starting view (the eye at map point
// (544, 288, 32) looking along +y).
MapDraft DemoMap();

// Panels 100 units ahead of the starting eye, textured and lit, that the
// map's clock moves and its look changes, a texel and a light sample
// covering a unit: from the left (x 464 to 640, z 16 up) an animated
// texture (+0anim, colour 1, and +1anim, colour 2), water (*water, 32 x
// 184 units, its column s of colour 16 + s mod 16, t 40 everywhere), a
// square of sky centred on the view (sky1: near layer colour 5 in columns
// 64 to 95, clear elsewhere; far layer colour 3 in rows 0 to 95, 4 below),
// a fence ({fence, columns 0 to 7 holes, 8 to 15 colour 6), and a wall lit
// by switchable style 32; behind them all, 132 units away, a wall (colour
// 7) lit by the pulsing style 2, alone in view below z 16. Lit faces have
// light 64. Worldspawn makes water half translucent and adds fog; the one
// light entity starts style 32 off. Needs a palette beside it to show its
// textures.
MapDraft AliveMap();

// A field of `faceCount` small faces filling the starting view at depths
// from 64 to 8,000 units, all facing the eye, for the benchmarks. Stops
// short only where the vertices would outgrow 16-bit indices (beyond about
// 64,000 faces).
MapDraft GridMap(int faceCount);
