#include "tests/unit/test_maps.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bsp/bsp_file.h"
#include "bsp/level.h"

void ResetMapState() {
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
  FreeLevel();
  Level = {};
  RandomState = 1;
}

namespace {

// The maps this process wrote, removed when it ends. A child forked by a
// death test inherits the list but leaves the files to their owner.
struct TemporaryMaps {
  pid_t owner = getpid();
  std::vector<std::string> paths;
  ~TemporaryMaps() {
    if (getpid() != owner) return;
    for (const std::string& path : paths) unlink(path.c_str());
  }
};

TemporaryMaps temporaryMaps;

}  // namespace

std::string TemporaryMap(const std::vector<uint8_t>& bytes, const char* name) {
  const char* base = getenv("TEST_TMPDIR");
  if (base == nullptr) base = "/tmp";
  std::string path = std::string(base) + "/mivo-" + std::to_string(getpid()) + "-" + name;
  if (WriteBspFile(path, bytes) != 0) return "";
  std::vector<std::string>& paths = temporaryMaps.paths;
  if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  return path;
}

int LoadBytes(const std::vector<uint8_t>& bytes) {
  ResetMapState();
  std::string path = TemporaryMap(bytes);
  if (path.empty()) return 1;
  int opened = OpenBspFile(path.c_str());
  unlink(path.c_str());  // the open stream keeps the data, even in a child that never cleans up
  return opened != 0 ? 1 : LoadLevel();
}

int LoadDraft(const MapDraft& map) { return LoadBytes(BspBytes(map)); }

std::string RealMapsDir() {
  const char* dir = getenv("MIVO_REAL_MAPS");
  return dir != nullptr ? dir : "";
}
