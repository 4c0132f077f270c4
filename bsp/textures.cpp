// Decoding the miptex lump: a count, that many offsets from the lump's
// start (-1: none), and at each a 40-byte header (name, width, height, the
// offsets of four mip levels from the texture's start; 0: stored outside the
// map, in a WAD) before the level-0 bytes, one palette index a texel. A WAD's
// texture entry is laid out as one texture of the lump.
#include "bsp/textures.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <unordered_map>

#include "bsp/level.h"
#include "bsp/pak.h"
#include "bsp/wad.h"

namespace {

constexpr uint32_t kMaxTextureSide = 4096;
// More texels than any real map carries; beyond this, or beyond twice the
// bytes of the lump (which stores each texture's level 0 and three smaller
// levels), a damaged lump that names the same bytes again and again would
// take memory for nothing.
constexpr uint64_t kMaxTexels = uint64_t{1} << 25;

// An entry of a WAD, read when a texture first names it.
struct WadBytes {
  bool read;
  bool counted;  // its bytes are in the texel budget
  std::vector<uint8_t> bytes;
};

struct MiptexHeader {
  char name[16];
  uint32_t width;
  uint32_t height;
  uint32_t offsets[4];
};
static_assert(sizeof(MiptexHeader) == 40);

bool StartsWith(const char* name, const char* prefix) {
  for (; *prefix != '\0'; ++name, ++prefix) {
    if (tolower(static_cast<unsigned char>(*name)) != *prefix) return false;
  }
  return true;
}

// The directory entries the texture infos name, in order, each once.
std::vector<int32_t> NamedEntries(int32_t count) {
  std::vector<int32_t> entries;
  for (const BspTexInfo& info : Level.texInfos) {
    if (info.texture >= 0 && info.texture < count) entries.push_back(info.texture);
  }
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  return entries;
}

// An animated texture's frame from its name: 0 to 9 for "+0" to "+9", 10
// to 19 for "+a" to "+j"; -1 for any other name.
int FrameOfName(const char* name) {
  if (name[0] != '+') return -1;
  const char c = char(tolower(static_cast<unsigned char>(name[1])));
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'j') return 10 + (c - 'a');
  return -1;
}

// The set an animated texture belongs to: its frames' kind and the rest of
// its name, whatever the case.
std::string SetOfName(const char* name) {
  std::string set(1, FrameOfName(name) < 10 ? '0' : 'a');
  for (const char* c = name + 2; *c != '\0'; ++c)
    set += char(tolower(static_cast<unsigned char>(*c)));
  return set;
}

SurfaceLook LookOfName(const char* name, bool version30) {
  if (name[0] == '*' || (version30 && name[0] == '!')) {
    if (StartsWith(name, "*lava")) return kLavaLook;
    if (StartsWith(name, "*slime")) return kSlimeLook;
    if (StartsWith(name, "*tele")) return kTeleLook;
    return kWaterLook;
  }
  if (name[0] == '{') return kFenceLook;
  return !version30 && StartsWith(name, "sky") ? kSkyLook : kPlainLook;
}

// The palette index of a fence's holes, and of the clear part of the sky's
// near layer.
constexpr uint8_t kHoleIndex = 255;
constexpr uint8_t kClearSkyIndex = 0;

// RGBA texels of the texture's first `width` columns, colour `clear`
// transparent and black.
std::vector<uint8_t> ClearTexels(const Texture& texture, const uint8_t* palette, uint32_t width,
                                 uint8_t clear) {
  std::vector<uint8_t> rgba(size_t(width) * uint32_t(texture.height) * 4, 0);
  uint8_t* out = rgba.data();
  for (uint32_t y = 0; y < uint32_t(texture.height); ++y) {
    const uint8_t* row = texture.indices.data() + size_t(y) * texture.indexWidth;
    for (uint32_t x = 0; x < width; ++x, out += 4) {
      if (row[x] == clear) continue;
      memcpy(out, palette + 3 * row[x], 3);
      out[3] = 255;
    }
  }
  return rgba;
}

// Texels from palette indices; a sky keeps only its right half, the distant
// layer. In the game's palette the last 32 colours are full bright.
void Expand(Texture& texture, const uint8_t* palette) {
  if (texture.look == kFenceLook) {
    texture.clearWidth = texture.width;
    texture.clearTexels = ClearTexels(texture, palette, texture.indexWidth, kHoleIndex);
  } else if (texture.look == kSkyLook) {
    texture.clearWidth = int(texture.indexWidth / 2);
    texture.clearTexels = ClearTexels(texture, palette, texture.indexWidth / 2, kClearSkyIndex);
  }
  const bool sky = StartsWith(texture.name, "sky");
  const uint32_t width = texture.indexWidth, height = uint32_t(texture.height);
  const uint32_t first = sky ? width / 2 : 0;
  const uint8_t* indices = texture.indices.data();
  texture.texels.resize(size_t(texture.width) * height * 3);
  bool anyBright = false;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = first; x < width; ++x) {
      const uint8_t index = indices[size_t(y) * width + x];
      memcpy(&texture.texels[(size_t(y) * texture.width + (x - first)) * 3], palette + 3 * index, 3);
      anyBright = anyBright || (texture.palette.empty() && index >= 224);
    }
  }
  if (!anyBright || sky) return;
  texture.brights.assign(size_t(texture.width) * height * 4, 0);
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    if (indices[i] < 224 || (texture.look == kFenceLook && indices[i] == kHoleIndex)) continue;
    memcpy(&texture.brights[4 * i], palette + 3 * indices[i], 3);
    texture.brights[4 * i + 3] = 255;
  }
}

// The sets of animated textures the named entries belong to: for each, the
// first entry of each of its frames, in frame order. A name's set is "+0" to
// "+9", or "+a" to "+j", and the rest of its name.
// The name of directory entry `i` of `lump` (`count` entries), empty when
// its header lies outside the lump; read where it lies, never kept for the
// whole directory, which may be long.
std::array<char, 17> EntryName(const std::vector<uint8_t>& lump, int32_t i) {
  std::array<char, 17> name{};
  int32_t offset;
  memcpy(&offset, lump.data() + 4 + 4 * size_t(i), 4);
  if (offset >= 0 && uint64_t(offset) + sizeof(MiptexHeader) <= lump.size()) {
    memcpy(name.data(), lump.data() + offset, 16);
  }
  return name;
}

std::vector<std::vector<int32_t>> AnimationSets(const std::vector<uint8_t>& lump, int32_t count,
                                                const std::vector<int32_t>& named) {
  std::unordered_map<std::string, size_t> setOf;  // the set's index
  std::vector<std::vector<int32_t>> sets;
  for (int32_t entry : named) {
    const std::array<char, 17> entryName = EntryName(lump, entry);
    const char* name = entryName.data();
    if (FrameOfName(name) >= 0 && setOf.emplace(SetOfName(name), sets.size()).second) {
      sets.emplace_back(10, -1);
    }
  }
  for (int32_t i = 0; i < count && !sets.empty(); ++i) {
    const std::array<char, 17> entryName = EntryName(lump, i);
    const char* name = entryName.data();
    const int frame = FrameOfName(name);
    if (frame < 0) continue;
    const auto found = setOf.find(SetOfName(name));
    if (found == setOf.end()) continue;
    int32_t& first = sets[found->second][size_t(frame % 10)];
    if (first < 0) first = int32_t(i);
  }
  for (std::vector<int32_t>& set : sets) std::erase(set, -1);
  return sets;
}

}  // namespace

void ReadTextures() {
  Level.textures.clear();
  Level.textureEntryCount = 0;
  Level.texturesShown = 0;
  Level.wads.clear();
  Level.palette.clear();
  Level.paletteSource.clear();
  const bool ownPalettes = BspFile.header.version == 30;
  if (ownPalettes) {
    Level.paletteSource = "in each texture (version 30)";
  } else {
    FindPalette(&Level.palette, &Level.paletteSource);
  }
  std::vector<uint8_t> lump;
  if (ReadLumpBytes(kTexturesLump, &lump) != 0 || lump.size() < 4) return;
  int32_t count;
  memcpy(&count, lump.data(), 4);
  if (count <= 0 || uint64_t(count) > (lump.size() - 4) / 4) return;
  Level.textureEntryCount = count;
  // Only the entries faces can name, and the other frames of the animated
  // ones among them, get a record; every entry is checked, so that --info
  // counts what the whole directory holds.
  std::vector<int32_t> named = NamedEntries(count);
  const std::vector<std::vector<int32_t>> sets = AnimationSets(lump, count, named);
  for (const std::vector<int32_t>& set : sets) named.insert(named.end(), set.begin(), set.end());
  std::sort(named.begin(), named.end());
  named.erase(std::unique(named.begin(), named.end()), named.end());
  auto next = named.begin();
  uint64_t texels = 0;
  // The WADs are opened when a texture first turns out to be stored
  // outside the map; each of their entries is read once, and adds its bytes
  // to what the map holds once a texture shows from it.
  bool wadsOpened = false;
  std::vector<Wad> wads;
  std::map<std::pair<size_t, uint32_t>, WadBytes> wadEntries;
  uint64_t wadBytes = 0;
  for (int32_t i = 0; i < count; ++i) {
    const bool wanted = next != named.end() && *next == i;
    if (wanted) {
      ++next;
      Level.textures.push_back(Texture{});
      Level.textures.back().entry = i;
    }
    Texture scratch{};
    Texture& texture = wanted ? Level.textures.back() : scratch;
    int32_t offset;
    memcpy(&offset, lump.data() + 4 + 4 * i, 4);
    MiptexHeader header;
    if (offset < 0 || uint64_t(offset) + sizeof header > lump.size()) continue;
    memcpy(&header, lump.data() + offset, sizeof header);
    memcpy(texture.name, header.name, 16);
    texture.name[16] = '\0';
    texture.fileWidth = header.width;
    texture.fileHeight = header.height;
    // Where the texels lie: in the lump, or in the entry of a WAD.
    const std::vector<uint8_t>* bytes = &lump;
    uint64_t at = uint64_t(offset);
    bool ownPalette = ownPalettes;
    WadBytes* fromWad = nullptr;
    size_t wad = 0;
    if (header.offsets[0] == 0) {
      if (!wadsOpened) {
        wads = OpenWads();
        wadsOpened = true;
      }
      uint32_t entry;
      if (!FindWadTexture(wads, header.name, &wad, &entry)) continue;
      fromWad = &wadEntries[{wad, entry}];
      if (!fromWad->read) {
        fromWad->read = true;
        const WadEntry& e = wads[wad].entries[entry];
        ReadFileBytes(wads[wad].path, e.offset, e.diskSize, &fromWad->bytes);
      }
      if (fromWad->bytes.size() < sizeof header) continue;
      memcpy(&header, fromWad->bytes.data(), sizeof header);
      bytes = &fromWad->bytes;
      at = 0;
      ownPalette = wads[wad].ownPalettes;
    }
    const uint64_t size = uint64_t(header.width) * header.height;
    const uint64_t start = at + header.offsets[0];
    const uint64_t added = fromWad != nullptr && !fromWad->counted ? fromWad->bytes.size() : 0;
    const uint64_t maxTexels = std::min<uint64_t>(kMaxTexels, 2 * lump.size() + wadBytes + added);
    if (header.width == 0 || header.height == 0 || header.width > kMaxTextureSide ||
        header.height > kMaxTextureSide || header.offsets[0] == 0 ||
        start + size > bytes->size() || texels + size > maxTexels) {
      continue;
    }
    const uint8_t* palette = nullptr;
    if (ownPalette) {
      // After level 3 (an eighth of the sides): a 16-bit count of 256, then the colours.
      const uint64_t colours = at + header.offsets[3] + uint64_t(header.width / 8) * (header.height / 8);
      uint16_t number = 0;
      if (header.offsets[3] == 0 || colours + 2 + 768 > bytes->size()) continue;
      memcpy(&number, bytes->data() + colours, 2);
      if (number != 256) continue;
      palette = bytes->data() + colours + 2;
    } else if (Level.palette.empty()) {
      continue;
    }
    texels += size;
    ++Level.texturesShown;
    if (fromWad != nullptr) {
      wadBytes += added;
      fromWad->counted = true;
      ++Level.wads[wad].texturesUsed;
    }
    if (!wanted) continue;
    texture.indexWidth = header.width;
    texture.look = LookOfName(texture.name, ownPalettes);
    texture.width = int(StartsWith(texture.name, "sky") ? header.width - header.width / 2
                                                          : header.width);
    texture.height = int(header.height);
    texture.indices.assign(bytes->begin() + int64_t(start), bytes->begin() + int64_t(start + size));
    if (palette != nullptr) texture.palette.assign(palette, palette + 768);
  }
  // Each set's frames that can be shown, in order; a set of one does not move.
  for (const std::vector<int32_t>& set : sets) {
    std::vector<int32_t> frames;
    for (int32_t entry : set) {
      const int32_t record = TextureOfEntry(entry);
      if (record >= 0 && Level.textures[size_t(record)].width > 0) frames.push_back(record);
    }
    if (frames.size() < 2) continue;
    for (int32_t record : frames) Level.textures[size_t(record)].frames = frames;
  }
}

int32_t TextureOfEntry(int32_t entry) {
  const auto found = std::lower_bound(
      Level.textures.begin(), Level.textures.end(), entry,
      [](const Texture& texture, int32_t wanted) { return texture.entry < wanted; });
  return found != Level.textures.end() && found->entry == entry
             ? int32_t(found - Level.textures.begin())
             : -1;
}

void ExpandTextures() {
  for (Texture& texture : Level.textures) {
    if (texture.width <= 0 || !texture.texels.empty()) continue;
    Expand(texture, texture.palette.empty() ? Level.palette.data() : texture.palette.data());
  }
}
