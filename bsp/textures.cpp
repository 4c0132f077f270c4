// Decoding the miptex lump: a count, that many offsets from the lump's
// start (-1: none), and at each a 40-byte header (name, width, height, the
// offsets of four mip levels from the texture's start; 0: stored outside the
// map) before the level-0 bytes, one palette index a texel.
#include "bsp/textures.h"

#include <cctype>
#include <cstring>
#include <string>

#include "bsp/level.h"
#include "bsp/pak.h"

namespace {

constexpr uint32_t kMaxTextureSide = 4096;
// More texels than any real map carries; beyond this a damaged lump that
// names the same bytes again and again would take memory for nothing.
constexpr uint64_t kMaxTexels = uint64_t{1} << 25;

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

// Texels from palette indices; a sky keeps only its right half, the distant
// layer. In the game's palette the last 32 colours are full bright.
void Expand(Texture& texture, const uint8_t* indices, uint32_t width, uint32_t height,
            const uint8_t* palette, bool brights) {
  const bool sky = StartsWith(texture.name, "sky");
  const uint32_t first = sky ? width / 2 : 0;
  texture.width = static_cast<int>(width - first);
  texture.height = static_cast<int>(height);
  texture.texels.resize(size_t(texture.width) * height * 3);
  bool anyBright = false;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = first; x < width; ++x) {
      const uint8_t index = indices[size_t(y) * width + x];
      memcpy(&texture.texels[(size_t(y) * texture.width + (x - first)) * 3], palette + 3 * index, 3);
      anyBright = anyBright || (brights && index >= 224);
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
  Level.paletteSource.clear();
  const bool ownPalettes = BspFile.header.version == 30;
  std::vector<uint8_t> gamePalette;
  if (ownPalettes) {
    Level.paletteSource = "in each texture (version 30)";
  } else {
    FindPalette(&gamePalette, &Level.paletteSource);
  }
  std::vector<uint8_t> lump;
  if (ReadLumpBytes(kTexturesLump, &lump) != 0 || lump.size() < 4) return;
  int32_t count;
  memcpy(&count, lump.data(), 4);
  if (count <= 0 || uint64_t(count) > (lump.size() - 4) / 4) return;
  Level.textures.resize(size_t(count));
  uint64_t texels = 0;
  for (int32_t i = 0; i < count; ++i) {
    Texture& texture = Level.textures[size_t(i)];
    int32_t offset;
    memcpy(&offset, lump.data() + 4 + 4 * i, 4);
    MiptexHeader header;
    if (offset < 0 || uint64_t(offset) + sizeof header > lump.size()) continue;
    memcpy(&header, lump.data() + offset, sizeof header);
    memcpy(texture.name, header.name, 16);
    texture.name[16] = '\0';
    texture.fileWidth = header.width;
    texture.fileHeight = header.height;
    const uint64_t size = uint64_t(header.width) * header.height;
    const uint64_t start = uint64_t(offset) + header.offsets[0];
    if (header.width == 0 || header.height == 0 || header.width > kMaxTextureSide ||
        header.height > kMaxTextureSide || header.offsets[0] == 0 ||
        start + size > lump.size() || texels + size > kMaxTexels) {
      continue;
    }
    const uint8_t* palette = gamePalette.empty() ? nullptr : gamePalette.data();
    if (ownPalettes) {
      // After level 3 (an eighth of the sides): a 16-bit count of 256, then the colours.
      const uint64_t at = uint64_t(offset) + header.offsets[3] +
                          uint64_t(header.width / 8) * (header.height / 8);
      uint16_t colours = 0;
      if (header.offsets[3] == 0 || at + 2 + 768 > lump.size()) continue;
      memcpy(&colours, lump.data() + at, 2);
      if (colours != 256) continue;
      palette = lump.data() + at + 2;
    }
    if (palette == nullptr) continue;
    texels += size;
    Expand(texture, lump.data() + start, header.width, header.height, palette, !ownPalettes);
  }
}
