#include "tests/damaged/damaged_maps.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "bsp/bsp_file.h"
#include "bsp/level.h"
#include "tests/unit/gl_offscreen.h"
#include "tests/unit/test_maps.h"
#include "view/render.h"

namespace {

// The lines of `text` that are messages of the program's own: tests run
// with no display, so message boxes land on stderr, beside whatever the
// libraries print there.
std::string MessagesIn(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  std::string messages;
  while (std::getline(lines, line)) {
    if (line.rfind("Error", 0) != 0) continue;
    if (!messages.empty()) messages += '\n';
    messages += line;
  }
  return messages;
}

// The bytes in a fresh file of their own. Written here rather than with the
// map writer so that an empty file is written like any other.
std::string WriteTemporaryFile(const std::vector<uint8_t>& bytes) {
  const char* base = getenv("TEST_TMPDIR");
  std::string path = std::string(base != nullptr ? base : "/tmp") + "/mivo-damaged-" +
                     std::to_string(getpid()) + ".bsp";
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return "";
  const bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (fclose(file) != 0 || !written) return "";
  return path;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  return out << "status " << outcome.status << ", "
             << (outcome.message.empty() ? "no message" : "\"" + outcome.message + "\"");
}

MapDraft RoomWithPillar() {
  MapDraft map;
  AddRoom(map, {0, 0, 0}, {1088, 1024, 256});
  AddBlock(map, {480, 600, 0}, {608, 728, 128});
  for (int lump : {0, 2, 4, 5, 6, 8, 9, 10, 11}) {
    map.rawLumps[lump] = std::vector<uint8_t>(24, static_cast<uint8_t>(0xA0 + lump));
  }
  return map;
}

std::vector<uint8_t> WithLump(std::vector<uint8_t> bytes, int lump, int32_t offset,
                              uint32_t length) {
  BspHeader header = HeaderOf(bytes);
  header.lumps[lump] = {offset, length};
  SetHeader(bytes, header);
  return bytes;
}

int UseGlContext() {
  static int status = -1;
  if (status == -1) {
    status = OpenGlContext();
    if (status == 0) {
      InitGlState();
      SetupProjection();
      PlaceCamera();
    }
  }
  return status;
}

Outcome OpenLoadAndDraw(const std::vector<uint8_t>& bytes) {
  ResetMapState();
  const std::string path = WriteTemporaryFile(bytes);
  EXPECT_FALSE(path.empty()) << "cannot write the map";
  const int opened = OpenBspFile(path.c_str());
  unlink(path.c_str());  // an open stream keeps the data
  if (opened != 0) return FailsWith(kOpenError);

  testing::internal::CaptureStderr();
  Outcome outcome;
  outcome.status = LoadLevel();
  outcome.message = MessagesIn(testing::internal::GetCapturedStderr());
  if (outcome.status == 0) DrawLevel();
  return outcome;
}

std::string PresentArrays() {
  std::string present;
  auto add = [&present](const void* array, const char* name) {
    if (array == nullptr) return;
    if (!present.empty()) present += ' ';
    present += name;
  };
  add(Level.faces, "faces");
  add(Level.faceColors, "colours");
  add(Level.edges, "edges");
  add(Level.surfEdges, "surfEdges");
  add(Level.vertices, "vertices");
  return present;
}
