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
#include <vector>

#include "bsp/bsp_file.h"

struct Vec3 {
  float x, y, z;
};

struct MapDraft {
  int32_t version = 29;
  std::vector<BspVertex> vertices;
  std::vector<BspEdge> edges;
  std::vector<SurfEdge> surfEdges;
  std::vector<BspFace> faces;
  // Model 0 is the world. Left empty, BspBytes writes one world model that
  // owns every face.
  std::vector<BspModel> models;
  // Bytes that replace a lump's records as they stand, for broken files.
  std::array<std::optional<std::vector<uint8_t>>, kLumpCount> rawLumps;
};

// Adds one face whose corners run clockwise seen from its front (the side
// that is drawn), as compiled maps store them. Vertices and edges shared
// with earlier faces are reused, so walks run edges in both directions.
// Returns the new face's index.
int AddFace(MapDraft& map, const std::vector<Vec3>& corners);

// A box seen from inside: floor, ceiling and four walls, all facing in.
void AddRoom(MapDraft& map, Vec3 min, Vec3 max);

// A solid box seen from outside (a pillar, a step): six faces facing out.
void AddBlock(MapDraft& map, Vec3 min, Vec3 max);

// The file: the 124-byte header, then the fifteen lumps in index order,
// each starting on a 4-byte boundary.
std::vector<uint8_t> BspBytes(const MapDraft& map);

// The header at the start of `bytes`, and a way to put a changed one back.
BspHeader HeaderOf(const std::vector<uint8_t>& bytes);
void SetHeader(std::vector<uint8_t>& bytes, const BspHeader& header);

// Returns 0 on success, 1 when the file cannot be written.
int WriteBspFile(const std::string& path, const std::vector<uint8_t>& bytes);

// The demo level around the starting view (the eye at map point
// (544, 288, 32) looking along +y).
MapDraft DemoMap();

// A field of about `faceCount` small faces in front of the starting view,
// for the benchmarks.
MapDraft GridMap(int faceCount);
