// Light samples, each face's grid of them, and the light-map pages. Light
// data never refuses a map: a face whose data does not fit shows full
// bright, and a coloured source that does not match is passed over.
#include "bsp/light.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "bsp/pak.h"

namespace {

constexpr int kMaxGridSide = 256;  // samples; beyond this the data cannot be right

uint32_t LittleU32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}
uint16_t LittleU16(const uint8_t* at) { return uint16_t(at[0] | at[1] << 8); }
float LittleFloat(const uint8_t* at) {
  const uint32_t bits = LittleU32(at);
  float value;
  memcpy(&value, &bits, 4);
  return value;
}

// The BSPX directory after the standard lumps: "BSPX", a count, then 32-byte
// entries of a 24-byte name, an offset and a length. Returns 0 with the
// named lump's bytes, 1 when the map has no such lump, 2 when it names one
// that does not lie wholly inside the map.
int ReadBspxLump(const char* name, std::vector<uint8_t>* bytes) {
  bytes->clear();
  int64_t end = 0;
  for (const BspLump& lump : BspFile.header.lumps) {
    end = std::max(end, int64_t{lump.offset} + lump.length);
  }
  end = (end + 3) / 4 * 4;
  std::vector<uint8_t> head;
  if (ReadMapBytes(end, 8, &head) != 0 || memcmp(head.data(), "BSPX", 4) != 0) return 1;
  const int32_t count = int32_t(LittleU32(head.data() + 4));
  std::vector<uint8_t> directory;
  if (count <= 0 || ReadMapBytes(end + 8, int64_t{count} * 32, &directory) != 0) return 1;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* entry = directory.data() + 32 * i;
    if (strncmp(reinterpret_cast<const char*>(entry), name, 24) != 0) continue;
    const int32_t offset = int32_t(LittleU32(entry + 24)), length = int32_t(LittleU32(entry + 28));
    return ReadMapBytes(offset, length, bytes) == 0 ? 0 : 2;
  }
  return 1;
}

// The .lit file beside the map: "QLIT", a version (1: red, green, blue
// bytes; 0x10001: HDR samples), then the samples.
bool ReadLitFile(std::vector<uint8_t>* samples, int32_t* version) {
  std::vector<uint8_t> file;
  if (ReadBesideMap(".lit", &file) != 0 || file.size() < 8 || memcmp(file.data(), "QLIT", 4) != 0) {
    return false;
  }
  *version = int32_t(LittleU32(file.data() + 4));
  samples->assign(file.begin() + 8, file.end());
  return true;
}

// The BSPX lumps that put their own records in place of a face's light
// fields: each holds one record for every face record, or it is damaged and
// the lit faces show full bright. Returns what --info says of the layout.
std::string ReadFaceLumps() {
  LightData& light = Level.light;
  const uint64_t faces = Level.faceCount;
  std::string damaged;
  std::vector<uint8_t> bytes;
  // 0: read, one `record` a face; 1: absent; 2: damaged.
  auto read = [&](const char* name, uint64_t record) {
    const int found = ReadBspxLump(name, &bytes);
    if (found == 1) return 1;
    if (found == 0 && record != 0 && bytes.size() == faces * record) return 0;
    damaged += (damaged.empty() ? "" : ", ") + std::string(name);
    return 2;
  };
  if (read("LMSHIFT", 1) == 0) light.faceShifts = bytes;
  if (read("LMOFFSET", 4) == 0) {
    for (size_t at = 0; at < bytes.size(); at += 4) light.faceOffsets.push_back(int32_t(LittleU32(&bytes[at])));
  }
  // A list of styles a face, as many as the lump holds for each; the
  // 16-bit lump wins.
  for (const uint32_t width : {2u, 1u}) {
    const char* name = width == 2 ? "LMSTYLE16" : "LMSTYLE";
    const int found = ReadBspxLump(name, &bytes);
    if (found == 1) continue;
    const uint64_t listed = faces != 0 ? bytes.size() / (faces * width) : 0;
    if (read(name, listed * width) == 0) {
      light.stylesPerFace = uint32_t(listed);
      for (size_t at = 0; at < bytes.size(); at += width) {
        const uint16_t style = width == 2 ? LittleU16(&bytes[at]) : bytes[at];
        light.faceStyles.push_back(width == 1 && style == 255 ? 0xFFFF : style);
      }
    }
    break;
  }
  if (read("DECOUPLED_LM", sizeof(BspxDecoupledLight)) == 0) {
    light.decoupled.resize(faces);
    for (size_t f = 0; f < faces; ++f) {
      const uint8_t* record = &bytes[f * sizeof(BspxDecoupledLight)];
      BspxDecoupledLight& d = light.decoupled[f];
      d.width = LittleU16(record);
      d.height = LittleU16(record + 2);
      d.offset = int32_t(LittleU32(record + 4));
      for (int k = 0; k < 8; ++k) d.worldToLight[k / 4][k % 4] = LittleFloat(record + 8 + 4 * k);
    }
  }
  light.faceLumpsDamaged = !damaged.empty();
  std::string layout;
  if (!light.decoupled.empty()) {
    layout = ", decoupled (DECOUPLED_LM)";
  } else if (!light.faceShifts.empty()) {
    const auto [least, most] = std::minmax_element(light.faceShifts.begin(), light.faceShifts.end());
    layout = ", 2^" + std::to_string(*least) +
             (*least == *most ? "" : " to 2^" + std::to_string(*most)) + " units a sample (LMSHIFT)";
  }
  if (!damaged.empty()) layout += ", " + damaged + " damaged (faces full bright)";
  return layout;
}

bool AllFinite(const float (&matrix)[2][4]) {
  for (const auto& row : matrix) {
    for (float value : row) {
      if (!std::isfinite(value)) return false;
    }
  }
  return true;
}

}  // namespace

void ReadLightSamples() {
  LightData& light = Level.light;
  light.channels = 1;
  light.sampleBytes = 1;
  light.offsetScale = 1;
  light.source = "none (unlit)";
  if (ReadLumpBytes(kLightingLump, &light.samples) != 0 || light.samples.empty()) {
    light.samples.clear();
    return;
  }
  std::string kind;
  if (BspFile.header.version == 30) {  // red, green and blue already; offsets count bytes
    light.channels = light.sampleBytes = 3;
    kind = "coloured (version 30's own samples)";
  } else {
    // Samples of another kind are used only where they match the mono ones
    // exactly; HDR ones before coloured ones.
    const size_t count = light.samples.size();
    std::vector<uint8_t> lumpSamples, litSamples;
    int32_t litVersion = 0;
    const bool haveLit = ReadLitFile(&litSamples, &litVersion);
    auto use = [&](std::vector<uint8_t>& samples, bool hdr, const char* source) {
      light.samples = std::move(samples);
      light.channels = 3;
      light.sampleBytes = light.offsetScale = hdr ? 4 : 3;
      light.hdr = hdr;
      kind = source;
    };
    if (ReadBspxLump("LIGHTING_E5BGR9", &lumpSamples) == 0 && lumpSamples.size() == 4 * count) {
      use(lumpSamples, true, "coloured HDR (LIGHTING_E5BGR9)");
    } else if (haveLit && litVersion == 0x10001 && litSamples.size() == 4 * count) {
      use(litSamples, true, "coloured HDR (.lit file)");
    } else if (ReadBspxLump("RGBLIGHTING", &lumpSamples) == 0 && lumpSamples.size() == 3 * count) {
      use(lumpSamples, false, "coloured (BSPX RGBLIGHTING)");
    } else if (haveLit && litVersion == 1 && litSamples.size() == 3 * count) {
      use(litSamples, false, "coloured (.lit file)");
    } else {
      kind = "mono (the light lump)";
    }
  }
  const std::string layout = ReadFaceLumps();
  if (!layout.empty() && kind == "mono (the light lump)") kind = "mono";
  light.source = kind + layout;
}

uint64_t LightTexelBudget() {
  const LightData& light = Level.light;
  return 4 * (light.samples.size() / size_t(std::max(light.sampleBytes, 1))) +
         4 * uint64_t{kLightPageSize} * kLightPageSize;
}

namespace {

// Face record `face`'s light styles, from an LMSTYLE or LMSTYLE16 lump or
// else its own (`styles`, widened into `own`), and how many there are
// before the first unused one.
const uint16_t* StylesOf(uint32_t face, const uint8_t styles[4], uint16_t own[4], uint32_t* count) {
  const LightData& light = Level.light;
  const uint16_t* listed = own;
  uint32_t listedCount = 4;
  if (!light.faceStyles.empty()) {
    listed = &light.faceStyles[size_t(face) * light.stylesPerFace];
    listedCount = light.stylesPerFace;
  } else {
    for (int k = 0; k < 4; ++k) own[k] = styles[k] == 255 ? 0xFFFF : styles[k];
  }
  *count = 0;
  while (*count < listedCount && listed[*count] != 0xFFFF) ++*count;
  return listed;
}

}  // namespace

LightGrid LightGridOf(uint32_t face, bool haveTexInfo, bool special, const uint8_t styles[4],
                      int32_t lightOffset, float sMin, float sMax, float tMin, float tMax) {
  LightGrid grid{};
  grid.light = kFullBright;
  grid.face = face;
  grid.spacing = 16;
  LightData& light = Level.light;
  // An unlit map, no way to place light, or light fields that do not fit.
  if (light.samples.empty() || !haveTexInfo || light.faceLumpsDamaged) return grid;
  uint16_t own[4];
  uint32_t styleCount = 0;
  StylesOf(face, styles, own, &styleCount);
  const BspxDecoupledLight* decoupled = light.decoupled.empty() ? nullptr : &light.decoupled[face];
  const int64_t offset = decoupled != nullptr         ? decoupled->offset
                         : !light.faceOffsets.empty() ? light.faceOffsets[face]
                                                      : lightOffset;
  const bool noStyles = styleCount == 0;
  if (special && (offset == -1 || noStyles)) return grid;  // sky or liquid compiled unlit
  if (noStyles || offset == -1) {
    grid.light = kLightMapped;
    grid.dark = true;
    return grid;
  }
  if (decoupled != nullptr) {
    if (!AllFinite(decoupled->worldToLight) || decoupled->width < 1 || decoupled->width > kMaxGridSide ||
        decoupled->height < 1 || decoupled->height > kMaxGridSide) {
      return grid;
    }
    grid.decoupled = true;
    grid.spacing = 1;
    grid.width = decoupled->width;
    grid.height = decoupled->height;
  } else {
    const int shift = light.faceShifts.empty() ? 4 : light.faceShifts[face];
    const double spacing = std::ldexp(1.0, shift);
    const double smin = std::floor(sMin / spacing), smax = std::ceil(sMax / spacing);
    const double tmin = std::floor(tMin / spacing), tmax = std::ceil(tMax / spacing);
    const double width = smax - smin + 1, height = tmax - tmin + 1;
    // NaN fails every comparison, so it lands here too.
    if (!(width >= 1 && width <= kMaxGridSide && height >= 1 && height <= kMaxGridSide &&
          std::fabs(smin) < 1e9 && std::fabs(tmin) < 1e9)) {
      return grid;
    }
    grid.spacing = float(spacing);
    grid.width = static_cast<int>(width);
    grid.height = static_cast<int>(height);
    grid.smin = static_cast<int>(smin);
    grid.tmin = static_cast<int>(tmin);
  }
  grid.styleCount = styleCount;
  const uint64_t bytes = uint64_t(styleCount) * uint64_t(grid.width * grid.height) *
                         uint64_t(light.sampleBytes);
  if (offset < 0) return grid;
  grid.byteOffset = uint64_t(offset) * uint64_t(light.offsetScale);
  if (grid.byteOffset >= light.samples.size() || bytes > light.samples.size() - grid.byteOffset) {
    return grid;
  }
  grid.light = kLightMapped;
  return grid;
}

void KeepStyles(LightGrid& grid, const uint8_t styles[4]) {
  uint16_t own[4];
  uint32_t count = 0;
  const uint16_t* listed = StylesOf(grid.face, styles, own, &count);
  grid.firstStyle = uint32_t(Level.light.styles.size());
  Level.light.styles.insert(Level.light.styles.end(), listed, listed + count);
}

const float* LightMatrixOf(uint32_t face) {
  const LightData& light = Level.light;
  return face < light.decoupled.size() ? light.decoupled[face].worldToLight[0] : nullptr;
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
  for (uint32_t k = 0; k < grid.styleCount; ++k) {
    const size_t style = light.styles[grid.firstStyle + k];
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
  const size_t w = size_t(grid.width), h = size_t(grid.height), count = w * h, n = count * channels;
  const uint8_t* samples = light.samples.data() + grid.byteOffset;
  static std::vector<float> sums;
  sums.assign(n, 0.0f);
  for (uint32_t k = 0; k < grid.styleCount; ++k) {
    const size_t style = light.styles[grid.firstStyle + k];
    const float value = style < light.styleValues.size() ? light.styleValues[style] : 1.0f;
    const uint8_t* from = samples + size_t(k) * count * size_t(light.sampleBytes);
    if (light.hdr) {
      // Red in the lowest 9 bits, then green and blue, each times 2^(E - 24).
      for (size_t i = 0; i < count; ++i, from += 4) {
        const uint32_t e5bgr9 = LittleU32(from);
        const float scale = value * std::ldexp(128.0f, int(e5bgr9 >> 27) - 24);
        for (size_t c = 0; c < 3; ++c) sums[3 * i + c] += scale * float(e5bgr9 >> (9 * c) & 511);
      }
    } else {
      for (size_t i = 0; i < n; ++i) sums[i] += value * float(from[i]);
    }
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
