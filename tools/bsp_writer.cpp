// Building a map in memory and laying it out as a file: corners become
// shared vertices and edges the way map compilers share them, each face gets
// its plane and side, and BspBytes writes the header and the lumps in index
// order, little-endian, each on a 4-byte boundary.
#include "tools/bsp_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_set>

namespace {

// Vertices are named by 16-bit indices, and the loader also counts them in
// 16 bits: a 65,536th vertex could be named but would make the count wrap
// to 0, so a loadable map stops one short.
constexpr size_t kMaxVertices = 65535;
constexpr size_t kMaxPlanes = 32767;   // a face names its plane in 16 signed bits
constexpr size_t kMaxCorners = 32767;  // surfEdgeTotal is 16 signed bits

// Plane lookup tolerances, as compilers use them: corners computed in
// floats put faces of one plane a hair apart, and each face's own plane
// would soon overrun the 16-bit plane index.
constexpr double kNormalStep = 1e-5;
constexpr double kDistStep = 1e-2;

struct Dvec {
  double x, y, z;
};

float& At(Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
double At(const Dvec& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// -0 and +0 are the same position; the bit patterns must agree too.
uint32_t PositionBits(float f) {
  if (f == 0.0f) f = 0.0f;
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

std::array<uint32_t, 3> VertexKey(const BspVertex& v) {
  return {PositionBits(v.x), PositionBits(v.y), PositionBits(v.z)};
}

uint32_t EdgeKey(uint32_t start, uint32_t end) { return start << 16 | end; }

std::array<int64_t, 4> PlaneKey(const BspPlane& plane) {
  return {std::llround(plane.normal[0] / kNormalStep), std::llround(plane.normal[1] / kNormalStep),
          std::llround(plane.normal[2] / kNormalStep), std::llround(plane.dist / kDistStep)};
}

// Newell's normal, in doubles: it points to the side from which the corners
// run counter-clockwise, and its length is twice the polygon's area.
Dvec NewellNormal(const std::vector<Vec3>& corners) {
  Dvec n{0, 0, 0};
  for (size_t i = 0; i < corners.size(); ++i) {
    const Vec3& a = corners[i];
    const Vec3& b = corners[(i + 1) % corners.size()];
    n.x += (double{a.y} - b.y) * (double{a.z} + b.z);
    n.y += (double{a.z} - b.z) * (double{a.x} + b.x);
    n.z += (double{a.x} - b.x) * (double{a.y} + b.y);
  }
  return n;
}

// The plane a face lies on, stored the way compilers store it: an axial
// normal points along its positive axis, any other normal's largest
// component is positive, and the face's side says whether it looks the
// other way (1) or along the normal (0).
struct FacePlane {
  BspPlane plane;
  int16_t side;
};

FacePlane PlaneOf(const std::vector<Vec3>& corners) {
  Dvec newell = NewellNormal(corners);
  double length = std::sqrt(newell.x * newell.x + newell.y * newell.y + newell.z * newell.z);
  if (length == 0 || !std::isfinite(length)) {
    // No area (fewer than three corners, or all in a line): any plane does.
    return {{{0, 0, 1}, 0, 2}, 0};
  }
  // Corners run clockwise seen from the front, so the front looks against
  // Newell's normal.
  Dvec front{-newell.x / length, -newell.y / length, -newell.z / length};
  int dominant = 0;
  int zeros = 0;
  for (int axis = 0; axis < 3; ++axis) {
    if (std::fabs(At(front, axis)) > std::fabs(At(front, dominant))) dominant = axis;
    if (At(front, axis) == 0) ++zeros;
  }
  bool axial = zeros == 2;
  int16_t side = At(front, dominant) < 0 ? 1 : 0;
  double sign = side ? -1 : 1;
  Dvec normal{front.x * sign, front.y * sign, front.z * sign};
  double dist = normal.x * corners[0].x + normal.y * corners[0].y + normal.z * corners[0].z;
  BspPlane plane{{static_cast<float>(normal.x), static_cast<float>(normal.y),
                  static_cast<float>(normal.z)},
                 static_cast<float>(dist),
                 axial ? dominant : 3 + dominant};
  return {plane, side};
}

// Brings the lookup up to date with the arrays. AddFace keeps it current;
// anything else that changed the arrays makes it start over from them.
void SyncLookup(MapDraft& map) {
  DraftLookup& lookup = map.lookup;
  if (lookup.vertexCount == map.vertices.size() && lookup.edgeCount == map.edges.size() &&
      lookup.surfEdgeCount == map.surfEdges.size() && lookup.planeCount == map.planes.size())
    return;
  lookup = DraftLookup{};
  for (size_t i = 0; i < map.vertices.size() && i < 65536; ++i)
    lookup.vertexAt.emplace(VertexKey(map.vertices[i]), static_cast<uint16_t>(i));
  // Edge 0 is the compilers' dummy; an edge already walked backwards by a
  // second face is closed.
  std::unordered_set<int64_t> walkedBack;
  for (SurfEdge s : map.surfEdges)
    if (s < 0) walkedBack.insert(-int64_t{s});
  for (size_t e = 1; e < map.edges.size(); ++e) {
    if (walkedBack.count(static_cast<int64_t>(e)) != 0) continue;
    const BspEdge& edge = map.edges[e];
    lookup.openEdge.emplace(EdgeKey(edge.startVertex, edge.endVertex), static_cast<int32_t>(e));
  }
  for (size_t p = 0; p < map.planes.size() && p < kMaxPlanes; ++p)
    lookup.planeAt.emplace(PlaneKey(map.planes[p]), static_cast<int16_t>(p));
  lookup.vertexCount = map.vertices.size();
  lookup.edgeCount = map.edges.size();
  lookup.surfEdgeCount = map.surfEdges.size();
  lookup.planeCount = map.planes.size();
}

// Little-endian output, whatever the host's byte order.
void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutFloat(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  PutU32(out, bits);
}
void PutBytes(std::vector<uint8_t>& out, const uint8_t* bytes, size_t count) {
  out.insert(out.end(), bytes, bytes + count);
}
void StoreU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t LoadU32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

// The world model when the draft names none: it owns every face, and its
// bounds (the first 24 of the bytes the viewer skips) enclose every vertex.
BspModel WorldModel(const MapDraft& map) {
  BspModel model{};
  model.faceStart = 0;
  model.faceTotal = static_cast<int32_t>(map.faces.size());
  if (!map.vertices.empty()) {
    Vec3 lo{map.vertices[0].x, map.vertices[0].y, map.vertices[0].z};
    Vec3 hi = lo;
    for (const BspVertex& v : map.vertices) {
      Vec3 p{v.x, v.y, v.z};
      for (int axis = 0; axis < 3; ++axis) {
        At(lo, axis) = std::fmin(At(lo, axis), At(p, axis));
        At(hi, axis) = std::fmax(At(hi, axis), At(p, axis));
      }
    }
    for (int axis = 0; axis < 3; ++axis) {
      model.mins[axis] = At(lo, axis);
      model.maxs[axis] = At(hi, axis);
    }
  }
  return model;
}

void PutLump(std::vector<uint8_t>& out, const MapDraft& map, int lump) {
  switch (lump) {
    case kPlanesLump:
      for (const BspPlane& p : map.planes) {
        for (float n : p.normal) PutFloat(out, n);
        PutFloat(out, p.dist);
        PutU32(out, static_cast<uint32_t>(p.type));
      }
      break;
    case kVerticesLump:
      for (const BspVertex& v : map.vertices) {
        PutFloat(out, v.x);
        PutFloat(out, v.y);
        PutFloat(out, v.z);
      }
      break;
    case kFacesLump:
      for (const BspFace& f : map.faces) {
        PutU16(out, f.plane);
        PutU16(out, static_cast<uint16_t>(f.side));
        PutU32(out, static_cast<uint32_t>(f.surfEdgeStart));
        PutU16(out, static_cast<uint16_t>(f.surfEdgeTotal));
        PutU16(out, static_cast<uint16_t>(f.texInfo));
        PutBytes(out, f.styles, sizeof f.styles);
        PutU32(out, static_cast<uint32_t>(f.lightOffset));
      }
      break;
    case kEdgesLump:
      for (const BspEdge& e : map.edges) {
        PutU16(out, e.startVertex);
        PutU16(out, e.endVertex);
      }
      break;
    case kSurfEdgesLump:
      for (SurfEdge s : map.surfEdges) PutU32(out, static_cast<uint32_t>(s));
      break;
    case kModelsLump: {
      std::vector<BspModel> models = map.models;
      if (models.empty()) models.push_back(WorldModel(map));
      for (const BspModel& m : models) {
        for (const float* v : {m.mins, m.maxs, m.origin}) {
          for (int axis = 0; axis < 3; ++axis) PutFloat(out, v[axis]);
        }
        for (int32_t node : m.headNodes) PutU32(out, static_cast<uint32_t>(node));
        PutU32(out, static_cast<uint32_t>(m.visLeafCount));
        PutU32(out, static_cast<uint32_t>(m.faceStart));
        PutU32(out, static_cast<uint32_t>(m.faceTotal));
      }
      break;
    }
    case kTexInfoLump:
      for (const BspTexInfo& t : map.texInfos) {
        for (float f : t.s) PutFloat(out, f);
        for (float f : t.t) PutFloat(out, f);
        PutU32(out, static_cast<uint32_t>(t.texture));
        PutU32(out, static_cast<uint32_t>(t.flags));
      }
      break;
    case kLightingLump:
      out.insert(out.end(), map.lighting.begin(), map.lighting.end());
      break;
    case kEntitiesLump:
      if (!map.entities.empty()) PutBytes(out, reinterpret_cast<const uint8_t*>(map.entities.c_str()), map.entities.size() + 1);
      break;
    default:
      break;  // textures, nodes, leaves, lighting...: left empty
  }
}

}  // namespace

size_t DraftLookup::KeyHash::operator()(const std::array<uint32_t, 3>& key) const {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t k : key) h = (h ^ k) * 1099511628211ull;
  return static_cast<size_t>(h ^ (h >> 29));
}

size_t DraftLookup::KeyHash::operator()(const std::array<int64_t, 4>& key) const {
  uint64_t h = 1469598103934665603ull;
  for (int64_t k : key) h = (h ^ static_cast<uint64_t>(k)) * 1099511628211ull;
  return static_cast<size_t>(h ^ (h >> 29));
}

int AddFace(MapDraft& map, const std::vector<Vec3>& corners) {
  if (corners.size() > kMaxCorners) return -1;
  SyncLookup(map);
  DraftLookup& lookup = map.lookup;

  // Refuse before changing anything when the new vertices would not fit.
  if (map.vertices.size() + corners.size() > kMaxVertices) {
    std::unordered_set<std::array<uint32_t, 3>, DraftLookup::KeyHash> fresh;
    for (const Vec3& c : corners) {
      auto key = VertexKey({c.x, c.y, c.z});
      if (lookup.vertexAt.count(key) == 0) fresh.insert(key);
    }
    if (map.vertices.size() + fresh.size() > kMaxVertices) return -1;
  }
  FacePlane facePlane = PlaneOf(corners);
  auto planeKey = PlaneKey(facePlane.plane);
  auto knownPlane = lookup.planeAt.find(planeKey);
  if (knownPlane == lookup.planeAt.end() && map.planes.size() >= kMaxPlanes) return -1;

  int16_t planeIndex;
  if (knownPlane != lookup.planeAt.end()) {
    planeIndex = knownPlane->second;
  } else {
    planeIndex = static_cast<int16_t>(map.planes.size());
    map.planes.push_back(facePlane.plane);
    lookup.planeAt.emplace(planeKey, planeIndex);
  }

  std::vector<uint16_t> corner(corners.size());
  for (size_t i = 0; i < corners.size(); ++i) {
    BspVertex v{corners[i].x, corners[i].y, corners[i].z};
    auto [it, added] =
        lookup.vertexAt.emplace(VertexKey(v), static_cast<uint16_t>(map.vertices.size()));
    if (added) map.vertices.push_back(v);
    corner[i] = it->second;
  }

  // Compilers keep edge 0 as a dummy so that every real edge has a sign.
  if (map.edges.empty()) map.edges.push_back({0, 0});

  BspFace face{};
  face.surfEdgeStart = static_cast<int32_t>(map.surfEdges.size());
  face.surfEdgeTotal = static_cast<int16_t>(corners.size());
  for (size_t i = 0; i < corner.size(); ++i) {
    uint16_t from = corner[i];
    uint16_t to = corner[(i + 1) % corner.size()];
    // An edge some earlier face walked from `to` to `from` is walked back;
    // after that, two faces own it and it is closed to a third.
    auto back = lookup.openEdge.find(EdgeKey(to, from));
    if (back != lookup.openEdge.end()) {
      map.surfEdges.push_back(-back->second);
      lookup.openEdge.erase(back);
    } else {
      int32_t e = static_cast<int32_t>(map.edges.size());
      map.edges.push_back({from, to});
      lookup.openEdge.emplace(EdgeKey(from, to), e);
      map.surfEdges.push_back(e);
    }
  }

  // Texture info 0, no light styles (255) and no light map (-1), as
  // compilers mark an unlit face.
  face.plane = static_cast<uint16_t>(planeIndex);
  face.side = facePlane.side;
  face.texInfo = 0;
  for (uint8_t& style : face.styles) style = 255;
  face.lightOffset = -1;

  map.faces.push_back(face);
  lookup.vertexCount = map.vertices.size();
  lookup.edgeCount = map.edges.size();
  lookup.surfEdgeCount = map.surfEdges.size();
  lookup.planeCount = map.planes.size();
  return static_cast<int>(map.faces.size() - 1);
}

int AddRect(MapDraft& map, Vec3 min, Vec3 max, Facing facing) {
  int axis = static_cast<int>(facing) / 2;
  bool positive = static_cast<int>(facing) % 2 == 0;
  // With the next axis (cyclically) to the right and the one after it up,
  // an observer on the positive side sees top-left, top-right,
  // bottom-right, bottom-left run clockwise; from the negative side the same
  // walk is reversed.
  int u = (axis + 1) % 3;
  int v = (axis + 2) % 3;
  auto corner = [&](bool highU, bool highV) {
    Vec3 c = min;
    At(c, u) = highU ? At(max, u) : At(min, u);
    At(c, v) = highV ? At(max, v) : At(min, v);
    return c;
  };
  std::vector<Vec3> corners{corner(false, true), corner(true, true), corner(true, false),
                            corner(false, false)};
  if (!positive) corners = {corners[3], corners[2], corners[1], corners[0]};
  return AddFace(map, corners);
}

void AddRoom(MapDraft& map, Vec3 min, Vec3 max) {
  AddRect(map, min, {max.x, max.y, min.z}, Facing::kPlusZ);  // floor
  AddRect(map, {min.x, min.y, max.z}, max, Facing::kMinusZ);  // ceiling
  AddRect(map, min, {min.x, max.y, max.z}, Facing::kPlusX);
  AddRect(map, {max.x, min.y, min.z}, max, Facing::kMinusX);
  AddRect(map, min, {max.x, min.y, max.z}, Facing::kPlusY);
  AddRect(map, {min.x, max.y, min.z}, max, Facing::kMinusY);
}

void AddBlock(MapDraft& map, Vec3 min, Vec3 max) {
  AddRect(map, min, {max.x, max.y, min.z}, Facing::kMinusZ);  // underside
  AddRect(map, {min.x, min.y, max.z}, max, Facing::kPlusZ);   // top
  AddRect(map, min, {min.x, max.y, max.z}, Facing::kMinusX);
  AddRect(map, {max.x, min.y, min.z}, max, Facing::kPlusX);
  AddRect(map, min, {max.x, min.y, max.z}, Facing::kMinusY);
  AddRect(map, {min.x, max.y, min.z}, max, Facing::kPlusY);
}

std::vector<uint8_t> BspBytes(const MapDraft& map) {
  std::vector<uint8_t> out(sizeof(BspHeader), 0);
  BspHeader header{};
  header.version = map.version;
  for (int lump = 0; lump < kLumpCount; ++lump) {
    while (out.size() % 4 != 0) out.push_back(0);
    size_t start = out.size();
    if (map.rawLumps[lump])
      out.insert(out.end(), map.rawLumps[lump]->begin(), map.rawLumps[lump]->end());
    else
      PutLump(out, map, lump);
    header.lumps[lump].offset = static_cast<int32_t>(start);
    header.lumps[lump].length = static_cast<uint32_t>(out.size() - start);
  }
  SetHeader(out, header);
  return out;
}

std::vector<uint8_t> Bsp2Bytes(const std::vector<uint8_t>& bytes, int32_t version) {
  BspHeader header = HeaderOf(bytes);
  std::vector<uint8_t> out(sizeof(BspHeader), 0);
  header.version = version;
  for (int lump = 0; lump < kLumpCount; ++lump) {
    while (out.size() % 4 != 0) out.push_back(0);
    const uint8_t* from = bytes.data() + header.lumps[lump].offset;
    const uint32_t length = header.lumps[lump].length;
    header.lumps[lump].offset = static_cast<int32_t>(out.size());
    if (lump == kFacesLump) {
      // plane and side, 16 bits each, become 32; the corner count, texture
      // info, light styles and light map follow as they were, wider.
      for (uint32_t at = 0; at + 20 <= length; at += 20) {
        const uint8_t* f = from + at;
        PutU32(out, f[0] | f[1] << 8);
        PutU32(out, f[2] | f[3] << 8);
        PutBytes(out, f + 4, 4);
        PutU32(out, static_cast<uint32_t>(static_cast<int16_t>(f[8] | f[9] << 8)));
        PutU32(out, static_cast<uint32_t>(static_cast<int16_t>(f[10] | f[11] << 8)));
        PutBytes(out, f + 12, 8);
      }
    } else if (lump == kEdgesLump) {
      for (uint32_t at = 0; at + 4 <= length; at += 4) {
        PutU32(out, from[at] | from[at + 1] << 8);
        PutU32(out, from[at + 2] | from[at + 3] << 8);
      }
    } else if (lump == kNodesLump || lump == kLeavesLump) {
      // Node: plane, two 16-bit children, box, faces; leaf: contents, row,
      // box, marks, sounds. Children widen with their sign, boxes become
      // floats, counts 32 bits.
      const bool node = lump == kNodesLump;
      const uint32_t size = node ? 24 : 28;
      auto i16 = [](const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); };
      for (uint32_t at = 0; at + size <= length; at += size) {
        const uint8_t* r = from + at;
        PutBytes(out, r, node ? 4 : 8);
        if (node) {
          PutU32(out, static_cast<uint32_t>(int32_t{i16(r + 4)}));
          PutU32(out, static_cast<uint32_t>(int32_t{i16(r + 6)}));
        }
        const uint8_t* box = r + 8;
        for (int k = 0; k < 6; ++k) PutFloat(out, float(i16(box + 2 * k)));
        PutU32(out, static_cast<uint32_t>(box[12] | box[13] << 8));
        PutU32(out, static_cast<uint32_t>(box[14] | box[15] << 8));
        if (!node) PutBytes(out, r + 24, 4);
      }
    } else if (lump == kMarkSurfacesLump) {
      for (uint32_t at = 0; at + 2 <= length; at += 2) PutU32(out, from[at] | from[at + 1] << 8);
    } else {
      out.insert(out.end(), from, from + length);
    }
    header.lumps[lump].length = static_cast<uint32_t>(out.size()) - header.lumps[lump].offset;
  }
  SetHeader(out, header);
  return out;
}

std::vector<uint8_t> Bsp2QuadBytes(const std::vector<std::array<Vec3, 4>>& quads) {
  std::vector<uint8_t> lumps[kLumpCount];
  PutU32(lumps[kEdgesLump], 0);  // edge 0, unused
  PutU32(lumps[kEdgesLump], 0);
  uint32_t n = 0;
  for (const std::array<Vec3, 4>& quad : quads) {
    for (const Vec3& corner : quad) {
      for (float f : {corner.x, corner.y, corner.z}) PutFloat(lumps[kVerticesLump], f);
      PutU32(lumps[kEdgesLump], n);  // corner k to corner k + 1, walked forwards
      PutU32(lumps[kEdgesLump], n % 4 == 3 ? n - 3 : n + 1);
      PutU32(lumps[kSurfEdgesLump], ++n);
    }
    PutU32(lumps[kFacesLump], 0);  // plane
    PutU32(lumps[kFacesLump], 0);  // side
    PutU32(lumps[kFacesLump], n - 4);
    PutU32(lumps[kFacesLump], 4);
    lumps[kFacesLump].resize(lumps[kFacesLump].size() + 12, 0);
  }
  lumps[kModelsLump].resize(56, 0);
  PutU32(lumps[kModelsLump], 0);
  PutU32(lumps[kModelsLump], static_cast<uint32_t>(quads.size()));
  std::vector<uint8_t> out(sizeof(BspHeader), 0);
  BspHeader header{kBsp2Version, {}};
  for (int lump = 0; lump < kLumpCount; ++lump) {
    header.lumps[lump] = {static_cast<int32_t>(out.size()), static_cast<uint32_t>(lumps[lump].size())};
    out.insert(out.end(), lumps[lump].begin(), lumps[lump].end());
  }
  SetHeader(out, header);
  return out;
}

namespace {

// One texture as the miptex lump and WADs store it: the 40-byte header,
// then its four levels and, when it has one, its palette.
std::vector<uint8_t> MiptexBytes(const MiptexDraft& t) {
  std::vector<uint8_t> texture(16, 0);
  memcpy(texture.data(), t.name.data(), std::min<size_t>(t.name.size(), 16));
  PutU32(texture, t.width);
  PutU32(texture, t.height);
  texture.resize(texture.size() + 16);  // the level offsets, filled in below
  if (t.indices.empty()) return texture;
  for (uint32_t level = 0; level < 4; ++level) {
    StoreU32(texture.data() + 24 + 4 * level, static_cast<uint32_t>(texture.size()));
    const uint32_t step = 1u << level;
    for (uint32_t y = 0; y < t.height / step; ++y) {
      for (uint32_t x = 0; x < t.width / step; ++x) texture.push_back(t.indices[y * step * t.width + x * step]);
    }
  }
  if (!t.palette.empty()) {
    PutU16(texture, static_cast<uint16_t>(t.palette.size() / 3));
    PutBytes(texture, t.palette.data(), t.palette.size());
  }
  return texture;
}

}  // namespace

std::vector<uint8_t> MiptexLump(const std::vector<MiptexDraft>& textures) {
  std::vector<uint8_t> out(4 + 4 * textures.size(), 0);
  StoreU32(out.data(), static_cast<uint32_t>(textures.size()));
  for (size_t i = 0; i < textures.size(); ++i) {
    if (textures[i].name.empty()) {
      StoreU32(out.data() + 4 + 4 * i, 0xFFFFFFFFu);
      continue;
    }
    StoreU32(out.data() + 4 + 4 * i, static_cast<uint32_t>(out.size()));
    const std::vector<uint8_t> texture = MiptexBytes(textures[i]);
    out.insert(out.end(), texture.begin(), texture.end());
  }
  return out;
}

std::vector<uint8_t> WadBytes(const std::vector<MiptexDraft>& textures, bool wad3) {
  std::vector<uint8_t> out = {'W', 'A', 'D', uint8_t(wad3 ? '3' : '2')};
  PutU32(out, static_cast<uint32_t>(textures.size()));
  PutU32(out, 0);  // the directory's offset, once known
  std::vector<uint8_t> directory;
  for (const MiptexDraft& t : textures) {
    const std::vector<uint8_t> texture = MiptexBytes(t);
    PutU32(directory, static_cast<uint32_t>(out.size()));
    PutU32(directory, static_cast<uint32_t>(texture.size()));
    PutU32(directory, static_cast<uint32_t>(texture.size()));
    directory.insert(directory.end(), {uint8_t(wad3 ? 0x43 : 0x44), 0, 0, 0});
    directory.resize(directory.size() + 16, 0);
    memcpy(&directory[directory.size() - 16], t.name.data(), std::min<size_t>(t.name.size(), 16));
    out.insert(out.end(), texture.begin(), texture.end());
  }
  StoreU32(out.data() + 8, static_cast<uint32_t>(out.size()));
  out.insert(out.end(), directory.begin(), directory.end());
  return out;
}

std::vector<uint8_t> WithBspx(std::vector<uint8_t> bytes, const std::vector<BspxLump>& lumps) {
  bytes.resize((bytes.size() + 3) / 4 * 4, 0);
  const size_t directory = bytes.size();
  bytes.insert(bytes.end(), {'B', 'S', 'P', 'X'});
  PutU32(bytes, static_cast<uint32_t>(lumps.size()));
  bytes.resize(bytes.size() + 32 * lumps.size(), 0);
  for (size_t i = 0; i < lumps.size(); ++i) {
    uint8_t* entry = &bytes[directory + 8 + 32 * i];
    memcpy(entry, lumps[i].first.data(), std::min<size_t>(lumps[i].first.size(), 24));
    StoreU32(entry + 24, static_cast<uint32_t>(bytes.size()));
    StoreU32(entry + 28, static_cast<uint32_t>(lumps[i].second.size()));
    bytes.insert(bytes.end(), lumps[i].second.begin(), lumps[i].second.end());
    bytes.resize((bytes.size() + 3) / 4 * 4, 0);
  }
  return bytes;
}

std::vector<uint8_t> PakBytes(const std::vector<PakFile>& files) {
  std::vector<uint8_t> out = {'P', 'A', 'C', 'K', 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> directory;
  for (const auto& [name, bytes] : files) {
    std::vector<uint8_t> entry(56, 0);
    memcpy(entry.data(), name.data(), std::min<size_t>(name.size(), 55));
    PutU32(entry, static_cast<uint32_t>(out.size()));
    PutU32(entry, static_cast<uint32_t>(bytes.size()));
    directory.insert(directory.end(), entry.begin(), entry.end());
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  StoreU32(out.data() + 4, static_cast<uint32_t>(out.size()));
  StoreU32(out.data() + 8, static_cast<uint32_t>(directory.size()));
  out.insert(out.end(), directory.begin(), directory.end());
  return out;
}

BspHeader HeaderOf(const std::vector<uint8_t>& bytes) {
  uint8_t raw[sizeof(BspHeader)] = {};
  memcpy(raw, bytes.data(), std::min(bytes.size(), sizeof raw));
  BspHeader header{};
  header.version = static_cast<int32_t>(LoadU32(raw));
  for (int i = 0; i < kLumpCount; ++i) {
    header.lumps[i].offset = static_cast<int32_t>(LoadU32(raw + 4 + 8 * i));
    header.lumps[i].length = LoadU32(raw + 8 + 8 * i);
  }
  return header;
}

void SetHeader(std::vector<uint8_t>& bytes, const BspHeader& header) {
  if (bytes.size() < sizeof(BspHeader)) bytes.resize(sizeof(BspHeader), 0);
  StoreU32(bytes.data(), static_cast<uint32_t>(header.version));
  for (int i = 0; i < kLumpCount; ++i) {
    StoreU32(bytes.data() + 4 + 8 * i, static_cast<uint32_t>(header.lumps[i].offset));
    StoreU32(bytes.data() + 8 + 8 * i, header.lumps[i].length);
  }
}

int WriteBspFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return 1;
  bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  // A full disk may only show when the buffer is flushed at close.
  bool closed = fclose(file) == 0;
  if (written && closed) return 0;
  // A partial map must not pass for a whole one, so it goes; but only a
  // regular file: the path may name a device such as /dev/full.
  int error = errno;  // what went wrong, for the caller's message
  std::error_code ignored;
  if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
  errno = error;
  return 1;
}
