// Light samples, each face's grid of them, and the light-map pages. Light
// data never refuses a map: a face whose data does not fit shows full
// bright, and a coloured source that does not match is passed over.
#include "bsp/light.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bsp/pak.h"

namespace {

constexpr int kMaxGridSide = 256;  // samples; beyond this the data cannot be right

// The BSPX directory after the standard lumps: "BSPX", a count, then 32-byte
// entries of a 24-byte name, an offset and a length. Returns the named
// lump's bytes when it is there, wholly inside the map.
bool ReadBspxLump(const char* name, std::vector<uint8_t>* bytes) {
  int64_t end = 0;
  for (const BspLump& lump : BspFile.header.lumps) {
    end = std::max(end, int64_t{lump.offset} + lump.length);
  }
  end = (end + 3) / 4 * 4;
  std::vector<uint8_t> head;
  if (ReadMapBytes(end, 8, &head) != 0 || memcmp(head.data(), "BSPX", 4) != 0) return false;
  int32_t count;
  memcpy(&count, head.data() + 4, 4);
  std::vector<uint8_t> directory;
  if (count <= 0 || ReadMapBytes(end + 8, int64_t{count} * 32, &directory) != 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* entry = directory.data() + 32 * i;
    if (strncmp(reinterpret_cast<const char*>(entry), name, 24) != 0) continue;
    int32_t offset, length;
    memcpy(&offset, entry + 24, 4);
    memcpy(&length, entry + 28, 4);
    return ReadMapBytes(offset, length, bytes) == 0;
  }
  return false;
}

// The .lit file beside the map: "QLIT", version 1, then the samples.
bool ReadLitFile(std::vector<uint8_t>* samples) {
  std::vector<uint8_t> file;
  int32_t version = 0;
  if (ReadBesideMap(".lit", &file) != 0 || file.size() < 8 || memcmp(file.data(), "QLIT", 4) != 0) {
    return false;
  }
  memcpy(&version, file.data() + 4, 4);
  if (version != 1) return false;
  samples->assign(file.begin() + 8, file.end());
  return true;
}

}  // namespace

void ReadLightSamples() {
  LightData& light = Level.light;
  light.channels = 1;
  light.offsetScale = 1;
  light.source = "none (unlit)";
  if (ReadLumpBytes(kLightingLump, &light.samples) != 0 || light.samples.empty()) {
    light.samples.clear();
    return;
  }
  if (BspFile.header.version == 30) {  // red, green and blue already; offsets count bytes
    light.channels = 3;
    light.source = "coloured (version 30's own samples)";
    return;
  }
  light.source = "mono (the light lump)";
  // Coloured samples are used only where they match the mono ones exactly.
  const size_t wanted = 3 * light.samples.size();
  std::vector<uint8_t> colours;
  if ((ReadBspxLump("RGBLIGHTING", &colours) && colours.size() == wanted &&
       (light.source = "coloured (BSPX RGBLIGHTING)")) ||
      (ReadLitFile(&colours) && colours.size() == wanted &&
       (light.source = "coloured (.lit file)"))) {
    light.samples = std::move(colours);
    light.channels = 3;
    light.offsetScale = 3;
  }
}

uint64_t LightTexelBudget() {
  const LightData& light = Level.light;
  return 4 * (light.samples.size() / size_t(std::max(light.channels, 1))) +
         4 * uint64_t{kLightPageSize} * kLightPageSize;
}

LightGrid LightGridOf(bool haveTexInfo, bool special, const uint8_t styles[4],
                      int32_t lightOffset, float sMin, float sMax, float tMin, float tMax) {
  LightGrid grid{};
  grid.light = kFullBright;
  const LightData& light = Level.light;
  if (light.samples.empty() || !haveTexInfo) return grid;  // an unlit map, or no way to place light
  const bool noStyles = styles[0] == 255;
  if (special && (lightOffset == -1 || noStyles)) return grid;  // sky or liquid compiled unlit
  if (noStyles || lightOffset == -1) {
    grid.light = kLightMapped;
    grid.dark = true;
    return grid;
  }
  const double smin = std::floor(sMin / 16.0), smax = std::ceil(sMax / 16.0);
  const double tmin = std::floor(tMin / 16.0), tmax = std::ceil(tMax / 16.0);
  const double width = smax - smin + 1, height = tmax - tmin + 1;
  // NaN fails every comparison, so it lands here too.
  if (!(width >= 1 && width <= kMaxGridSide && height >= 1 && height <= kMaxGridSide &&
        std::fabs(smin) < 1e9 && std::fabs(tmin) < 1e9)) {
    return grid;
  }
  grid.width = static_cast<int>(width);
  grid.height = static_cast<int>(height);
  grid.smin = static_cast<int>(smin);
  grid.tmin = static_cast<int>(tmin);
  while (grid.styleCount < 4 && styles[grid.styleCount] != 255) ++grid.styleCount;
  memcpy(grid.styles, styles, 4);
  const uint64_t bytes = uint64_t(grid.styleCount) * uint64_t(grid.width * grid.height) *
                         uint64_t(light.channels);
  if (lightOffset < 0) return grid;
  grid.byteOffset = uint64_t(lightOffset) * uint64_t(light.offsetScale);
  if (grid.byteOffset >= light.samples.size() || bytes > light.samples.size() - grid.byteOffset) {
    return grid;
  }
  grid.light = kLightMapped;
  return grid;
}

void PlaceLightMaps(std::vector<LightGrid*>& grids) {
  LightData& light = Level.light;
  light.pages.clear();
  light.grids.clear();
  light.pageCount = 0;
  if (grids.empty()) return;
  // Tallest first into shelves, left to right: quick, and close enough to
  // tight for the few pages a map needs. The black block for faces without
  // light of their own goes first.
  std::vector<LightGrid*> order;
  for (LightGrid* grid : grids) {
    if (!grid->dark) order.push_back(grid);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const LightGrid* a, const LightGrid* b) { return a->height > b->height; });
  constexpr int kPage = kLightPageSize;
  int x = 3, y = 0, shelf = 3, page = 0;
  light.pageCount = 1;
  for (LightGrid* grid : order) {
    const int w = grid->width + 2, h = grid->height + 2;
    if (x + w > kPage) {
      x = 0;
      y += shelf;
      shelf = 0;
    }
    if (y + h > kPage) {
      x = y = shelf = 0;
      ++page;
      ++light.pageCount;
    }
    grid->page = page;
    grid->x = x;
    grid->y = y;
    x += w;
    shelf = std::max(shelf, h);
    light.grids.push_back(*grid);
  }
  for (LightGrid* grid : grids) {
    if (grid->dark) grid->page = grid->x = grid->y = 0;  // the black 3 x 3 block at the corner
  }
}

void FillLightPages() {
  LightData& light = Level.light;
  if (!light.pages.empty() || light.pageCount == 0) return;
  light.pages.assign(size_t(light.pageCount) * kLightPageSize * kLightPageSize * 3, 0);
  for (LightGrid& grid : light.grids) {
    ComposeLightBlock(grid, light.pages.data());
    grid.composed = light.changes;
  }
}

void SetStyleValues(const std::vector<float>& values) {
  LightData& light = Level.light;
  const size_t n = std::max(values.size(), light.styleValues.size());
  bool changed = false;
  for (size_t style = 0; style < n; ++style) {
    const float before = style < light.styleValues.size() ? light.styleValues[style] : 1.0f;
    const float after = style < values.size() ? values[style] : 1.0f;
    if (before == after) continue;
    if (!changed) ++light.changes;
    changed = true;
    if (style >= light.styleChanged.size()) light.styleChanged.resize(style + 1, 0);
    light.styleChanged[style] = light.changes;
  }
  light.styleValues = values;
}

bool RefreshLightBlock(LightGrid& grid) {
  LightData& light = Level.light;
  if (grid.composed == light.changes) return false;
  bool stale = false;
  for (int k = 0; k < grid.styleCount; ++k) {
    const size_t style = grid.styles[k];
    stale =
        stale || (style < light.styleChanged.size() && light.styleChanged[style] > grid.composed);
  }
  grid.composed = light.changes;
  if (stale) ComposeLightBlock(grid, light.pages.data());
  return stale;
}

void ComposeLightBlock(const LightGrid& grid, uint8_t* pages) {
  const LightData& light = Level.light;
  const size_t channels = size_t(light.channels);
  const size_t w = size_t(grid.width), h = size_t(grid.height), n = w * h * channels;
  const uint8_t* samples = light.samples.data() + grid.byteOffset;
  static std::vector<float> sums;
  sums.assign(n, 0.0f);
  for (int k = 0; k < grid.styleCount; ++k) {
    const size_t style = grid.styles[k];
    const float value = style < light.styleValues.size() ? light.styleValues[style] : 1.0f;
    const uint8_t* from = samples + size_t(k) * n;
    for (size_t i = 0; i < n; ++i) sums[i] += value * float(from[i]);
  }
  uint8_t* block = pages + size_t(grid.page) * kLightPageSize * kLightPageSize * 3;
  for (size_t j = 0; j < h + 2; ++j) {
    const float* row = sums.data() + (std::clamp<size_t>(j, 1, h) - 1) * w * channels;
    uint8_t* texel = block + ((size_t(grid.y) + j) * kLightPageSize + size_t(grid.x)) * 3;
    for (size_t i = 0; i < w + 2; ++i, texel += 3) {
      const float* sample = row + (std::clamp<size_t>(i, 1, w) - 1) * channels;
      for (size_t c = 0; c < 3; ++c) texel[c] = uint8_t(std::min(sample[channels == 3 ? c : 0], 255.0f));
    }
  }
}
