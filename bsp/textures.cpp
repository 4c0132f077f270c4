// Decoding the miptex lump: a count, that many offsets from the lump's
// start (-1: none), and at each a 40-byte header (name, width, height, the
// offsets of four mip levels from the texture's start; 0: stored outside the
// map, in a WAD) before the level-0 bytes, one palette index a texel. A WAD's
// texture entry is laid out as one texture of the lump.
#include "bsp/textures.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <utility>

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

// Texels from palette indices; a sky keeps only its right half, the distant
// layer. In the game's palette the last 32 colours are full bright.
void Expand(Texture& texture, const uint8_t* palette) {
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
    if (indices[i] < 224) continue;
    memcpy(&texture.brights[4 * i], palette + 3 * indices[i], 3);
    texture.brights[4 * i + 3] = 255;
  }
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
  // Only the entries faces can name get a record; every entry is checked,
  // so that --info counts what the whole directory holds.
  const std::vector<int32_t> named = NamedEntries(count);
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
    texture.width = int(StartsWith(texture.name, "sky") ? header.width - header.width / 2
                                                          : header.width);
    texture.height = int(header.height);
    texture.indices.assign(bytes->begin() + int64_t(start), bytes->begin() + int64_t(start + size));
    if (palette != nullptr) texture.palette.assign(palette, palette + 768);
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
