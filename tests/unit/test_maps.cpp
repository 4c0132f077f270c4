#include "tests/unit/test_maps.h"

#include <unistd.h>

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

std::string TemporaryMap(const std::vector<uint8_t>& bytes, const char* name) {
  const char* base = getenv("TEST_TMPDIR");
  if (base == nullptr) base = "/tmp";
  std::string path = std::string(base) + "/mivo-" + std::to_string(getpid()) + "-" + name;
  if (WriteBspFile(path, bytes) != 0) return "";
  return path;
}

int LoadBytes(const std::vector<uint8_t>& bytes) {
  ResetMapState();
  std::string path = TemporaryMap(bytes);
  if (path.empty() || OpenBspFile(path.c_str()) != 0) return 1;
  int status = LoadLevel();
  unlink(path.c_str());  // the open stream keeps the data
  return status;
}

int LoadDraft(const MapDraft& map) { return LoadBytes(BspBytes(map)); }

std::string RealMapsDir() {
  const char* dir = getenv("MIVO_REAL_MAPS");
  return dir != nullptr ? dir : "";
}
