// Finding a map's WADs and reading their directories. Every count, offset
// and size is checked against the file before anything is read or
// allocated for it; a WAD that fails is passed over as if it were missing.
#include "bsp/wad.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "bsp/level.h"
#include "bsp/pak.h"

namespace {

int32_t LittleI32(const uint8_t* at) {
  return int32_t(uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24);
}

// Up to 16 bytes of `name`, to its first zero byte, in lower case.
std::string LowerName(const char* name) {
  std::string lower;
  for (size_t i = 0; i < 16 && name[i] != '\0'; ++i) {
    lower += char(tolower(static_cast<unsigned char>(name[i])));
  }
  return lower;
}

// The directory of the WAD at `path` into `wad`. Returns 0, or 1 when it
// cannot be read or is damaged.
int ReadWadDirectory(const std::string& path, Wad* wad) {
  std::error_code error;
  const uint64_t fileSize = std::filesystem::file_size(path, error);
  std::vector<uint8_t> head, directory;
  if (error || ReadFileBytes(path, 0, 12, &head) != 0) return 1;
  const bool wad3 = memcmp(head.data(), "WAD3", 4) == 0;
  if (!wad3 && memcmp(head.data(), "WAD2", 4) != 0) return 1;
  const int64_t count = LittleI32(&head[4]), at = LittleI32(&head[8]);
  if (count < 0 || ReadFileBytes(path, at, count * 32, &directory) != 0) return 1;
  wad->ownPalettes = wad3;
  wad->entries.resize(size_t(count));
  for (size_t i = 0; i < size_t(count); ++i) {
    WadEntry& entry = wad->entries[i];
    const uint8_t* raw = &directory[32 * i];
    entry.offset = LittleI32(raw);
    entry.diskSize = LittleI32(raw + 4);
    entry.size = LittleI32(raw + 8);
    entry.type = raw[12];
    entry.compression = raw[13];
    memcpy(entry.name, raw + 16, 16);
    if (entry.offset < 0 || entry.diskSize < 0 ||
        uint64_t(entry.offset) + uint64_t(entry.diskSize) > fileSize) {
      return 1;
    }
    if (entry.type == (wad3 ? 0x43 : 0x44) && entry.compression == 0) {
      wad->textures.emplace(LowerName(entry.name), uint32_t(i));  // the first of a name stays
    }
  }
  wad->path = path;
  return 0;
}

}  // namespace

namespace {

// The "wad" value of the map's first worldspawn; empty when there is none.
std::string WadKey() {
  for (const Entity& entity : Level.entities) {
    const char* classname = ValueOf(entity, "classname");
    if (classname == nullptr || strcmp(classname, "worldspawn") != 0) continue;
    const char* wad = ValueOf(entity, "wad");
    return wad != nullptr ? wad : "";
  }
  return "";
}

}  // namespace

std::vector<Wad> OpenWads() {
  Level.wads.clear();
  std::vector<Wad> wads;
  const std::string key = WadKey();
  if (key.empty()) return wads;
  const std::vector<std::string> folders = FoldersBesideMap("valve");
  std::vector<std::string> seen;
  for (size_t start = 0; start <= key.size();) {
    size_t end = key.find(';', start);
    if (end == std::string::npos) end = key.size();
    // The file name alone: the key holds paths of the author's machine.
    std::string name = key.substr(start, end - start);
    start = end + 1;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    std::string lower;
    for (char c : name) lower += char(tolower(static_cast<unsigned char>(c)));
    if (name.empty() || std::find(seen.begin(), seen.end(), lower) != seen.end()) continue;
    seen.push_back(lower);
    Level.wads.push_back(WadUse{name, false, false, 0});
    Wad& wad = wads.emplace_back();
    std::string path;
    for (const std::string& folder : folders) {
      if (FindInFolder(folder, name.c_str(), &path)) break;
    }
    if (path.empty()) {
      ShowNote("Warning: WAD " + name + " not found; its textures show their flat colour.");
      continue;
    }
    Level.wads.back().found = true;
    if (ReadWadDirectory(path, &wad) != 0) {
      wad = Wad{};
      Level.wads.back().damaged = true;
      ShowNote("Warning: WAD " + path + " is damaged or cannot be read; its textures show their flat colour.");
    }
  }
  return wads;
}

bool FindWadTexture(const std::vector<Wad>& wads, const char* name, size_t* wad, uint32_t* entry) {
  const std::string lower = LowerName(name);
  for (size_t w = 0; w < wads.size(); ++w) {
    const auto found = wads[w].textures.find(lower);
    if (found == wads[w].textures.end()) continue;
    *wad = w;
    *entry = found->second;
    return true;
  }
  return false;
}
