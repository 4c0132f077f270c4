// Opening the map a path names, through pak archives where it must. Every
// offset and length in a pak is checked against the file before it is used.
#include "bsp/pak.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "bsp/level.h"

MapSource OpenedMap;

namespace {

const char kOpenError[] = "Error opening bsp file (not found?)";
const char kPakError[] = "Error reading pak file (truncated or damaged?)";

int Fail(const std::string& message) {
  ShowMessage(message.c_str());
  return 1;
}

// Whether the first `n` characters of `a` and `b` agree, whatever their case
// (both strings when `n` is not given).
bool SameName(const char* a, const char* b, size_t n = SIZE_MAX) {
  for (size_t i = 0; i < n; ++i) {
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
    if (a[i] == '\0') return true;
  }
  return true;
}

bool EndsWith(const std::string& text, const char* end) {
  const size_t n = strlen(end);
  return text.size() >= n && SameName(text.c_str() + text.size() - n, end);
}

int32_t FromLittleEndian(int32_t value) {
  if constexpr (std::endian::native == std::endian::little) return value;
  const auto u = static_cast<uint32_t>(value);
  return static_cast<int32_t>(u >> 24 | (u >> 8 & 0xFF00) | (u << 8 & 0xFF0000) | u << 24);
}

// Windows takes either separator; elsewhere a backslash is part of a name.
#ifdef _WIN32
constexpr char kSeparators[] = "/\\";
#else
constexpr char kSeparators[] = "/";
#endif

size_t LastSeparator(const std::string& path, size_t before = std::string::npos) {
  return path.find_last_of(kSeparators, before);
}

// The entry named `name` (whatever its case) of the pak at `path`:
// 0 found, 1 the pak cannot be read (message shown), 2 no such entry.
int FindEntry(const std::string& path, const std::string& name, PakEntry* found) {
  std::vector<PakEntry> entries;
  const char* message = nullptr;
  if (ReadPakDirectory(path, &entries, &message) != 0) return Fail(message);
  for (const PakEntry& entry : entries) {
    if (SameName(entry.name, name.c_str())) {
      *found = entry;
      return 0;
    }
  }
  return 2;
}

int OpenFoundEntry(const std::string& pak, const PakEntry& entry) {
  if (OpenBspEntry(pak.c_str(), entry.offset, entry.length) != 0) return Fail(kOpenError);
  OpenedMap = {pak, entry.name};
  return 0;
}

int OpenEntry(const std::string& pak, const std::string& name) {
  PakEntry entry;
  const int found = FindEntry(pak, name, &entry);
  if (found == 1) return 1;
  return found == 2 ? Fail(kOpenError) : OpenFoundEntry(pak, entry);
}

// A pak given alone: its start map, or a list of the maps it does hold.
int OpenPak(const std::string& pak) {
  std::vector<PakEntry> entries;
  const char* message = nullptr;
  if (ReadPakDirectory(pak, &entries, &message) != 0) return Fail(message);
  std::string maps;
  int count = 0;
  for (const PakEntry& entry : entries) {
    if (SameName(entry.name, "maps/start.bsp")) return OpenFoundEntry(pak, entry);
    if (!SameName(entry.name, "maps/", 5) || !EndsWith(entry.name, ".bsp")) continue;
    if (++count <= 5) maps += std::string(maps.empty() ? "" : ", ") + entry.name;
  }
  if (count == 0) return Fail("Error: " + pak + " holds no maps.");
  if (count > 5) maps += ", ... (" + std::to_string(count) + " in all)";
  return Fail("Error: " + pak + " holds no maps/start.bsp. Its maps: " + maps + ".");
}

// The game folder of GAME/maps/NAME.bsp, when `path` has that shape; for
// maps/NAME.bsp, the current folder.
bool GameFolderOf(const std::string& path, std::string* game) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos || slash < 4 || !SameName(path.c_str() + slash - 4, "maps", 4)) {
    return false;
  }
  if (slash == 4) {
    game->assign(1, '.');  // (assigning a literal trips a false -Wrestrict of GCC 12 at -O3)
    return true;
  }
  if (LastSeparator(path, slash - 1) != slash - 5) return false;
  *game = path.substr(0, slash - 5);
  return true;
}

// GAME's pakN.pak files, the highest N first, as the game searches them.
std::vector<std::string> PaksOf(const std::string& game) {
  std::vector<std::pair<long, std::string>> paks;
  std::error_code error;
  for (const auto& file : std::filesystem::directory_iterator(game.empty() ? "/" : game, error)) {
    const std::string n = file.path().filename().string();
    char* end = nullptr;
    if (!SameName(n.c_str(), "pak", 3) || !isdigit(static_cast<unsigned char>(n[3]))) continue;
    const long number = strtol(n.c_str() + 3, &end, 10);
    if (SameName(end, ".pak")) paks.emplace_back(number, game + "/" + n);
  }
  std::sort(paks.rbegin(), paks.rend());
  std::vector<std::string> names;
  for (auto& pak : paks) names.push_back(std::move(pak.second));
  return names;
}

// GAME/maps/NAME.bsp that is no file: maps/NAME.bsp in GAME's paks.
int OpenFromGameFolder(const std::string& path) {
  std::string game;
  if (!EndsWith(path, ".bsp") || !GameFolderOf(path, &game)) return Fail(kOpenError);
  const std::string name = "maps/" + path.substr(LastSeparator(path) + 1);
  for (const std::string& pak : PaksOf(game)) {
    PakEntry entry;
    const int found = FindEntry(pak, name, &entry);
    if (found == 1) return 1;
    if (found == 0) return OpenFoundEntry(pak, entry);
  }
  return Fail(kOpenError);
}

// The whole file at `path`, if it is one and can be read.
int ReadWholeFile(const std::string& path, int64_t offset, int64_t length,
                  std::vector<uint8_t>* bytes) {
  if (length < 0 && !IsFile(path)) return 1;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return 1;
  if (length < 0) {
    length = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    offset = 0;
  }
  bool read = length >= 0 && fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
  if (read) {
    bytes->resize(static_cast<size_t>(length));
    read = length == 0 || fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
  }
  fclose(file);
  if (!read) bytes->clear();
  return read ? 0 : 1;
}

// The entry `name` (any case) of the pak at `path`, read whole; shows nothing.
int ReadEntry(const std::string& pak, const std::string& name, std::vector<uint8_t>* bytes) {
  std::vector<PakEntry> entries;
  const char* message = nullptr;
  if (ReadPakDirectory(pak, &entries, &message) != 0) return 1;
  for (const PakEntry& entry : entries) {
    if (SameName(entry.name, name.c_str())) return ReadWholeFile(pak, entry.offset, entry.length, bytes);
  }
  return 1;
}

// The game folder of the map on show: GAME for GAME/maps/X.bsp, or the
// folder of the pak that holds maps/X.bsp.
bool GameFolderOfMap(std::string* game) {
  if (OpenedMap.entry.empty()) return GameFolderOf(OpenedMap.file, game);
  if (!SameName(OpenedMap.entry.c_str(), "maps/", 5)) return false;
  const size_t slash = LastSeparator(OpenedMap.file);
  *game = slash == std::string::npos ? "." : OpenedMap.file.substr(0, slash);
  return true;
}

// The folder `base` beside `game` (any case), unless `game` is that folder.
bool BaseBeside(const std::string& game, const char* base, std::string* found) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(game, error).lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();  // "GAME/" as given
  return !error && !SameName(folder.filename().string().c_str(), base) &&
         FindInFolder(folder.parent_path().string(), base, found);
}

// gfx/palette.lmp in GAME: the loose file, then GAME's paks.
int PaletteOfGame(const std::string& game, std::vector<uint8_t>* palette, std::string* source) {
  std::string gfx, file;
  if (FindInFolder(game, "gfx", &gfx) && FindInFolder(gfx, "palette.lmp", &file) &&
      ReadWholeFile(file, 0, -1, palette) == 0 && palette->size() == 768) {
    *source = file;
    return 0;
  }
  for (const std::string& pak : PaksOf(game)) {
    if (ReadEntry(pak, "gfx/palette.lmp", palette) == 0 && palette->size() == 768) {
      *source = pak + "/gfx/palette.lmp";
      return 0;
    }
  }
  return 1;
}

// `name` with its ".bsp" replaced by `extension` (".lit"), in the case of
// the map's own extension, for systems that keep it; empty when `name` does
// not end in ".bsp".
std::string WithExtension(std::string name, const char* extension) {
  if (!EndsWith(name, ".bsp")) return "";
  const bool upper = name.back() == 'P';
  name.resize(name.size() - 4);
  for (const char* c = extension; *c != '\0'; ++c) {
    name += static_cast<char>(upper ? toupper(static_cast<unsigned char>(*c)) : *c);
  }
  return name;
}

}  // namespace

bool IsPakPath(const std::string& path) { return EndsWith(path, ".pak"); }

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

int ReadPakDirectory(const std::string& path, std::vector<PakEntry>* entries,
                     const char** message) {
  *message = kOpenError;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return 1;
  *message = kPakError;
  char magic[4] = {};
  int32_t directory[2] = {};  // offset and length
  bool sound = fread(magic, 1, 4, file) == 4 && memcmp(magic, "PACK", 4) == 0 &&
               fread(directory, 4, 2, file) == 2;
  const int64_t offset = FromLittleEndian(directory[0]);
  const int64_t length = FromLittleEndian(directory[1]);
  const int64_t size = sound && fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  sound = sound && size >= 0 && offset >= 0 && length >= 0 && length % 64 == 0 &&
          offset + length <= size && fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
  if (sound) {
    entries->resize(static_cast<size_t>(length / 64));
    sound = fread(entries->data(), 64, entries->size(), file) == entries->size();
  }
  fclose(file);
  for (PakEntry& entry : *entries) {
    entry.offset = FromLittleEndian(entry.offset);
    entry.length = FromLittleEndian(entry.length);
    sound = sound && memchr(entry.name, '\0', sizeof entry.name) != nullptr && entry.offset >= 0 &&
            entry.length >= 0 && int64_t{entry.offset} + entry.length <= size;
  }
  if (!sound) entries->clear();
  return sound ? 0 : 1;
}

int OpenMap(const char* path) {
  const std::string whole = path;
  OpenedMap = {whole, ""};
  if (IsFile(whole)) {
    if (IsPakPath(whole)) return OpenPak(whole);
    return OpenBspFile(path) == 0 ? 0 : Fail(kOpenError);
  }
  // A path through a pak: the longest leading part that is a pak file.
  for (size_t slash = LastSeparator(whole); slash != std::string::npos && slash > 0;
       slash = LastSeparator(whole, slash - 1)) {
    const std::string pak = whole.substr(0, slash);
    std::string entry = whole.substr(slash + 1);
    std::replace(entry.begin(), entry.end(), '\\', '/');
    if (IsPakPath(pak) && IsFile(pak)) return OpenEntry(pak, entry);
  }
  return OpenFromGameFolder(whole);
}

int ReadBesideMap(const char* extension, std::vector<uint8_t>* bytes) {
  const bool inPak = !OpenedMap.entry.empty();
  const std::string name = WithExtension(inPak ? OpenedMap.entry : OpenedMap.file, extension);
  if (name.empty()) return 1;
  return inPak ? ReadEntry(OpenedMap.file, name, bytes) : ReadWholeFile(name, 0, -1, bytes);
}

std::string LooseFileBeside(const MapSource& source, const char* extension) {
  return source.entry.empty() ? WithExtension(source.file, extension) : std::string();
}

int FindPalette(std::vector<uint8_t>* palette, std::string* source) {
  if (!OpenedMap.entry.empty() && ReadEntry(OpenedMap.file, "gfx/palette.lmp", palette) == 0 &&
      palette->size() == 768) {
    *source = OpenedMap.file + "/gfx/palette.lmp";
    return 0;
  }
  std::string game;
  if (!GameFolderOfMap(&game)) return 1;
  if (PaletteOfGame(game, palette, source) == 0) return 0;
  // A mod's maps use the base game's palette, kept in id1 beside it.
  std::string id1;
  return BaseBeside(game, "id1", &id1) ? PaletteOfGame(id1, palette, source) : 1;
}

std::vector<std::string> FoldersBesideMap(const char* base) {
  std::vector<std::string> folders;
  std::string game, other;
  if (GameFolderOfMap(&game)) {
    folders.push_back(game);
    if (BaseBeside(game, base, &other)) folders.push_back(other);
  }
  const size_t slash = LastSeparator(OpenedMap.file);
  const std::string own = slash == std::string::npos ? "." : slash == 0 ? "/" : OpenedMap.file.substr(0, slash);
  if (std::find(folders.begin(), folders.end(), own) == folders.end()) folders.push_back(own);
  return folders;
}

bool FindInFolder(const std::string& folder, const char* name, std::string* path) {
  std::error_code error;
  for (const auto& file : std::filesystem::directory_iterator(folder.empty() ? "/" : folder, error)) {
    if (SameName(file.path().filename().string().c_str(), name)) {
      *path = file.path().string();
      return true;
    }
  }
  return false;
}

int ReadFileBytes(const std::string& path, int64_t offset, int64_t length,
                  std::vector<uint8_t>* bytes) {
  bytes->clear();
  // Checked against the file before anything is allocated for them.
  std::error_code error;
  const uint64_t size = IsFile(path) ? std::filesystem::file_size(path, error) : 0;
  if (error || offset < 0 || length < 0 || uint64_t(offset) > size ||
      uint64_t(length) > size - uint64_t(offset)) {
    return 1;
  }
  return ReadWholeFile(path, offset, length, bytes);
}
