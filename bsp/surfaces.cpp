// The surfaces, built once at load: one pass over the faces that are drawn
// for their corners, texture coordinates and light grids; then the light
// maps are packed, and each corner's light coordinates point into them.
#include "bsp/surfaces.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bsp/level.h"
#include "bsp/light.h"
#include "bsp/light_styles.h"
#include "bsp/textures.h"

namespace {

// A corner of a face being cut: its map point and texture coordinates, in texels.
struct CutCorner {
  float p[3];
  float s, t;
};
using CutPolygon = std::vector<CutCorner>;

// The part of `polygon` where sign (p[axis] - at) >= 0.
CutPolygon Clip(const CutPolygon& polygon, int axis, float at, float sign) {
  CutPolygon part;
  for (size_t i = 0; i < polygon.size(); ++i) {
    const CutCorner& a = polygon[i];
    const CutCorner& b = polygon[(i + 1) % polygon.size()];
    const float da = sign * (a.p[axis] - at), db = sign * (b.p[axis] - at);
    if (da >= 0) part.push_back(a);
    if ((da >= 0) == (db >= 0)) continue;
    const float f = da / (da - db);
    CutCorner c;
    for (int k = 0; k < 3; ++k) c.p[k] = a.p[k] + f * (b.p[k] - a.p[k]);
    c.p[axis] = at;
    c.s = a.s + f * (b.s - a.s);
    c.t = a.t + f * (b.t - a.t);
    part.push_back(c);
  }
  return part;
}

// Cuts `polygon` along the grid lines of axes `axis` to 2 where it is wider
// than a piece, lines within half a unit of its ends left out, into
// `pieces`. False, with the work bounded, when the pieces would take more
// than `left` corners.
bool CutAlongGrid(const CutPolygon& polygon, int axis, std::vector<CutPolygon>& pieces,
                  uint64_t& left) {
  if (polygon.size() < 3) return true;
  if (axis == 3) {
    if (polygon.size() > left) return false;
    left -= polygon.size();
    pieces.push_back(polygon);
    return true;
  }
  float lo = INFINITY, hi = -INFINITY;
  for (const CutCorner& c : polygon) lo = std::min(lo, c.p[axis]), hi = std::max(hi, c.p[axis]);
  if (!(hi - lo > kPieceSize))
    return std::isfinite(hi - lo) && CutAlongGrid(polygon, axis + 1, pieces, left);
  const double first = std::ceil((double{lo} + 0.5) / kPieceSize);
  const double last = std::floor((double{hi} - 0.5) / kPieceSize);
  const double lines = last - first + 1;
  if (lines * double(polygon.size()) > double(left)) return false;
  CutPolygon rest = polygon;
  for (int64_t k = 0; k < int64_t(lines); ++k) {
    const float at = float((first + double(k)) * kPieceSize);
    if (!CutAlongGrid(Clip(rest, axis, at, -1), axis + 1, pieces, left)) return false;
    rest = Clip(rest, axis, at, 1);
  }
  return CutAlongGrid(rest, axis + 1, pieces, left);
}

// Cuts the surface of `polygon` into pieces when it is wider than one,
// within `left` corners: their corners go in the arrays after those of the
// faces before, their light coordinates in texels like the face's own.
void CutSurface(Surface& surface, const CutPolygon& polygon, float width, float height,
                uint64_t& left) {
  std::vector<CutPolygon> pieces;
  uint64_t room = left;
  if (!CutAlongGrid(polygon, 0, pieces, room) || pieces.size() < 2) return;
  left = room;
  Corners& c = Level.corners;
  surface.cut = int32_t(c.cuts.size());
  SurfaceCut cut{uint32_t(c.positions.size() / 3), 0, uint32_t(c.pieces.size()),
                 uint32_t(pieces.size())};
  for (const CutPolygon& piece : pieces) {
    c.pieces.push_back(uint32_t(piece.size()));
    cut.cornerCount += uint32_t(piece.size());
    for (const CutCorner& k : piece) {
      c.positions.insert(c.positions.end(), {k.p[0], k.p[2], -k.p[1]});
      c.textureCoords.insert(c.textureCoords.end(), {k.s / width, k.t / height});
      c.lightCoords.insert(c.lightCoords.end(), {k.s, k.t});
    }
  }
  c.cuts.push_back(cut);
}

template <typename Edge>
uint32_t CornerOf(const Edge* edges, SurfEdge s) {
  return s > 0 ? edges[s].startVertex : edges[-int64_t{s}].endVertex;
}

bool StartsWithSky(const char* name) {
  return (name[0] | 0x20) == 's' && (name[1] | 0x20) == 'k' && (name[2] | 0x20) == 'y';
}

// The face's corners, in walk order, with what the views need of each. The
// light grid is kept for packing; its s and t stay in the light coordinates
// until the grid has a place.
template <typename Face, typename Edge>
void BuildSurface(uint32_t record, const Face& face, const Edge* edges, const FaceColor& color,
                  std::vector<LightGrid>& grids, uint64_t& texelsLeft, uint64_t& cornersLeft) {
  const int64_t n = face.surfEdgeTotal;
  if (n < 3) return;
  Corners& c = Level.corners;
  Surface& surface = Level.surfaces[record];
  surface.firstCorner = static_cast<uint32_t>(c.positions.size() / 3);
  surface.cornerCount = static_cast<uint32_t>(n);
  surface.color = color;
  surface.texture = -1;
  surface.lightGrid = -1;
  surface.cut = -1;
  const bool haveTexInfo = face.texInfo >= 0 && uint64_t(face.texInfo) < Level.texInfos.size();
  const BspTexInfo info = haveTexInfo ? Level.texInfos[size_t(face.texInfo)] : BspTexInfo{};
  const int32_t texture = haveTexInfo ? TextureOfEntry(info.texture) : -1;
  if (texture >= 0 && Level.textures[size_t(texture)].width > 0) {
    surface.texture = texture;
    surface.sky = StartsWithSky(Level.textures[size_t(texture)].name);
    surface.look = Level.textures[size_t(texture)].look;
    const bool moves = IsLiquid(surface.look) || surface.look == kSkyLook ||
                       !Level.textures[size_t(texture)].frames.empty();
    surface.moving = moves ? kMovingTexels : 0;
  }
  const float width = surface.texture >= 0 ? float(Level.textures[size_t(texture)].width) : 1;
  const float height = surface.texture >= 0 ? float(Level.textures[size_t(texture)].height) : 1;
  float sMin = INFINITY, sMax = -INFINITY, tMin = INFINITY, tMax = -INFINITY;
  bool finite = true;
  const bool cuttable = IsLiquid(surface.look) || surface.look == kSkyLook;
  CutPolygon polygon;
  // Newell's normal, in doubles, points to the side the corners run
  // counter-clockwise from; the front, which GL draws, is the other.
  double normal[3] = {0, 0, 0};
  const SurfEdge* walk = Level.surfEdges + face.surfEdgeStart;
  const BspVertex& first = Level.vertices[CornerOf(edges, walk[0])];
  const float start[3] = {first.x, first.y, first.z};
  for (int a = 0; a < 3; ++a) surface.mins[a] = surface.maxs[a] = start[a];
  for (int64_t j = 0; j < n; ++j) {
    const BspVertex& v = Level.vertices[CornerOf(edges, walk[j])];
    const BspVertex& w = j + 1 < n ? Level.vertices[CornerOf(edges, walk[j + 1])] : first;
    normal[0] -= (double{v.y} - w.y) * (double{v.z} + w.z);
    normal[1] -= (double{v.z} - w.z) * (double{v.x} + w.x);
    normal[2] -= (double{v.x} - w.x) * (double{v.y} + w.y);
    c.positions.insert(c.positions.end(), {v.x, v.z, -v.y});  // map z is up; GL y is up
    const float at[3] = {v.x, v.y, v.z};
    for (int a = 0; a < 3; ++a) {
      surface.mins[a] = std::min(surface.mins[a], at[a]);
      surface.maxs[a] = std::max(surface.maxs[a], at[a]);
    }
    // In doubles, then kept as floats, as the compilers that laid out the
    // light did: computed in doubles alone, some faces get a grid one wider.
    const float s = float(double{v.x} * info.s[0] + double{v.y} * info.s[1] +
                          double{v.z} * info.s[2] + info.s[3]);
    const float t = float(double{v.x} * info.t[0] + double{v.y} * info.t[1] +
                          double{v.z} * info.t[2] + info.t[3]);
    sMin = std::min(sMin, s), sMax = std::max(sMax, s);
    tMin = std::min(tMin, t), tMax = std::max(tMax, t);
    finite = finite && std::isfinite(s) && std::isfinite(t);
    c.textureCoords.insert(c.textureCoords.end(), {s / width, t / height});
    c.lightCoords.insert(c.lightCoords.end(), {s, t});
    if (cuttable) polygon.push_back(CutCorner{{v.x, v.y, v.z}, s, t});
  }
  if (cuttable && finite) CutSurface(surface, polygon, width, height, cornersLeft);
  if (!finite) sMax = NAN;  // for the grid's check
  const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  if (length > 0 && std::isfinite(length)) {
    for (int a = 0; a < 3; ++a) surface.normal[a] = float(normal[a] / length);
    surface.dist = surface.normal[0] * first.x + surface.normal[1] * first.y +
                   surface.normal[2] * first.z;
  }
  LightGrid grid = LightGridOf(record, haveTexInfo, (info.flags & kSpecialSurface) != 0, face.styles,
                               face.lightOffset, sMin, sMax, tMin, tMax);
  // A block is charged its texels, and again for each four styles past the
  // first four, which its composing reads.
  const uint64_t texels = grid.dark ? 0
                                    : uint64_t(grid.width + 2) * uint64_t(grid.height + 2) *
                                          std::max<uint64_t>(1, (uint64_t{grid.styleCount} + 3) / 4);
  if (grid.light == kLightMapped && texels > texelsLeft) grid.light = kFullBright;
  if (grid.light == kLightMapped) texelsLeft -= texels;
  surface.light = grid.light;
  if (grid.light != kLightMapped) return;
  if (!grid.dark) KeepStyles(grid, face.styles);
  for (uint32_t k = 0; !grid.dark && k < grid.styleCount; ++k) {
    if (StyleVaries(Level.light.styles[grid.firstStyle + k])) surface.moving |= kMovingLight;
  }
  grids.push_back(grid);
}

template <typename Face, typename Edge>
void BuildAll(const Face* faces, const Edge* edges, uint64_t cornersLeft) {
  const int64_t worldStart = Level.worldModel.faceStart;
  const int64_t worldEnd = worldStart + std::max(Level.worldModel.faceTotal, 0);
  std::vector<LightGrid> grids;
  uint64_t texelsLeft = LightTexelBudget();
  auto build = [&](int64_t start, int64_t total) {
    for (int64_t r = start; r < start + total; ++r) {
      if (Level.surfaces[size_t(r)].cornerCount != 0) continue;  // another entity's model too
      // World faces take colours from the start of the array, as the flat view does.
      const bool world = r >= worldStart && r < worldEnd;
      BuildSurface(uint32_t(r), faces[r], edges, Level.faceColors[world ? r - worldStart : r],
                   grids, texelsLeft, cornersLeft);
    }
  };
  if (worldEnd > worldStart) build(worldStart, worldEnd - worldStart);
  for (const BrushEntity& brush : Level.brushes) {
    const BspModel& model = Level.models[brush.model];
    if (model.faceTotal > 0) build(model.faceStart, model.faceTotal);
  }
  std::vector<LightGrid*> places;
  for (LightGrid& grid : grids) places.push_back(&grid);
  PlaceLightMaps(places);
  for (size_t g = 0; g < Level.light.grids.size(); ++g) {
    Level.surfaces[Level.light.grids[g].face].lightGrid = int32_t(g);
  }
  // Sample (i, j) lies on the centre of texel (x + 1 + i, y + 1 + j).
  constexpr float kPage = kLightPageSize;
  const auto place = [](const LightGrid& grid, uint32_t first, uint32_t count) {
    float* at = &Level.corners.lightCoords[2 * size_t(first)];
    const float* position = &Level.corners.positions[3 * size_t(first)];
    const float* matrix = grid.decoupled ? LightMatrixOf(grid.face) : nullptr;
    for (uint32_t k = 0; k < count; ++k, at += 2, position += 3) {
      if (grid.dark) {
        at[0] = at[1] = 1.5f / kPage;
        continue;
      }
      if (matrix != nullptr) {
        // Map x, y, z from GL's x, z, -y. A corner is kept within the block
        // and its border, so that a face shows its own samples alone.
        const double p[4] = {position[0], -double{position[2]}, position[1], 1};
        for (int r = 0; r < 2; ++r) {
          double lm = 0;
          for (int c = 0; c < 4; ++c) lm += double{matrix[4 * r + c]} * p[c];
          const double last = r == 0 ? grid.width : grid.height;
          at[r] = float(std::clamp(lm, -1.0, last));
        }
      } else {
        at[0] = at[0] / grid.spacing - float(grid.smin);
        at[1] = at[1] / grid.spacing - float(grid.tmin);
      }
      at[0] = (float(grid.x) + 1.5f + at[0]) / kPage;
      at[1] = (float(grid.y) + 1.5f + at[1]) / kPage;
    }
  };
  for (const LightGrid& grid : grids) {
    Surface& surface = Level.surfaces[grid.face];
    surface.lightPage = grid.page;
    place(grid, surface.firstCorner, surface.cornerCount);
    if (surface.cut >= 0) {
      const SurfaceCut& cut = Level.corners.cuts[size_t(surface.cut)];
      place(grid, cut.firstCorner, cut.cornerCount);
    }
  }
}

}  // namespace

uint64_t CornerBudget() { return uint64_t{Level.surfEdgeCount} + 65536; }

int BuildSurfaces() {
  Level.surfaces.assign(Level.faceCount, Surface{});
  Level.corners = {};
  // The brush models the entities place, where their faces are sound and
  // the corners in all still fit.
  uint64_t corners = CornersOf(Level.worldModel.faceStart, Level.worldModel.faceTotal);
  if (corners > CornerBudget()) {
    Level.surfaces.clear();
    return 1;
  }
  std::vector<BrushEntity> placed;
  for (const BrushEntity& brush : Level.brushes) {
    const BspModel& model = Level.models[brush.model];
    const uint64_t more = CornersOf(model.faceStart, model.faceTotal);
    if (!FacesAreSound(model.faceStart, model.faceTotal) || corners + more > CornerBudget()) continue;
    corners += more;
    placed.push_back(brush);
  }
  Level.brushes = std::move(placed);
  Corners& c = Level.corners;
  c.positions.reserve(3 * corners);
  c.textureCoords.reserve(2 * corners);
  c.lightCoords.reserve(2 * corners);
  // Liquid and sky faces are cut into pieces with the corners left over.
  if (Level.format == kBsp2Format) {
    BuildAll(Level.wideFaces, Level.wideEdges, CornerBudget() - corners);
  } else {
    BuildAll(Level.faces, Level.edges, CornerBudget() - corners);
  }
  return 0;
}
