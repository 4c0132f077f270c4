// The map fuzzer. Each input is the bytes of a map file, run through what
// the viewer runs on one: OpenBspFile, LoadLevel and, when the level loads,
// DrawLevel into a GL that draws nothing. The sanitizers catch bad reads,
// overflows and leaks; the checks here catch wrong answers that crash
// nothing: a load must succeed exactly when the bytes hold every record it
// reads and every reference drawing follows is sound, must otherwise say
// why in the right words, and a frame must make exactly the GL calls the
// bytes call for: each world face's colour (from an independent copy of the
// colour generator), its polygon and its corners, in order.
//
// The file is a memfd opened through /proc, so OpenBspFile runs unchanged
// and nothing touches the disk.
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bsp/bsp_file.h"
#include "bsp/level.h"
#include "platform/gl.h"
#include "platform/win32.h"
#include "tests/fuzz/fake_gl.h"
#include "view/render.h"

// The prediction below reads the raw bytes as records in place.
static_assert(std::endian::native == std::endian::little);

namespace {

// Under AddressSanitizer, arrays above this size are refused by the
// allocator (see __asan_default_options), so huge lumps take the program's
// allocation failure path quickly instead of mapping gigabytes for every
// input. Built without it (for a coverage report, say), the machine decides.
constexpr uint64_t kAllocationLimitMb = 256;
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MIVO_FUZZ_ALLOCATOR_LIMITED 1
#endif
#endif
#ifdef MIVO_FUZZ_ALLOCATOR_LIMITED
constexpr bool kHugeArraysRefused = true;
#else
constexpr bool kHugeArraysRefused = false;
#endif

const char kReadError[] = "Error reading bsp file (truncated or damaged?)";
const char kReferenceError[] = "Error: bsp file is damaged (bad face, edge or vertex reference).";
const char kEdgesAllocationError[] = "Error allocating edges array.";
const char kSurfEdgesAllocationError[] = "Error allocating edge indices array.";

int mapFile = -1;
std::string mapPath;
std::string shownMessage;
int shownMessages = 0;

// The colour generator's first values, worked out here on their own: face
// i of a frame takes values 3i, 3i + 1 and 3i + 2.
float generated[3 * 65536];

void GenerateColours() {
  uint32_t state = 1;
  for (float& value : generated) {
    state = state * 214013u + 2531011u;
    value = static_cast<float>((state >> 16) & 0x7FFF) / 32768.0f;
  }
}

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "fuzz_map: %s\n", what);
  abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// What loading the bytes must come to, worked out from the bytes alone.
struct Prediction {
  bool opens = false;
  const char* message = nullptr;  // null when the level loads
  // The allocation message the load may show instead, when an array is
  // too big for what the allocator gives.
  const char* allocationMessage = nullptr;
  uint64_t polygons = 0;  // what a frame sends when it loads
  uint64_t corners = 0;
  uint64_t frame = 0;  // the fake GL's hash of the frame's calls
};

class RawMap {
 public:
  RawMap(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Whether `count` records of `size` bytes at `offset` are all in the file,
  // as a reader sees it: a negative offset never reads, an empty read
  // always succeeds.
  bool Holds(int64_t offset, uint64_t recordSize, uint64_t count) const {
    if (offset < 0) return false;
    return count == 0 || static_cast<uint64_t>(offset) + recordSize * count <= size_;
  }

  template <typename T>
  T At(int64_t offset) const {
    T value;
    memcpy(&value, data_ + offset, sizeof(T));
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

Prediction Predict(const uint8_t* data, size_t size) {
  Prediction p;
  if (size < sizeof(BspHeader)) return p;
  p.opens = true;
  const RawMap map(data, size);
  const auto header = map.At<BspHeader>(0);
  const BspLump* lumps = header.lumps;
  const uint64_t faceCount = (lumps[kFacesLump].length / 20) & 0xFFFF;
  const uint64_t edgeCount = lumps[kEdgesLump].length / 4;
  const uint64_t surfEdgeCount = lumps[kSurfEdgesLump].length / 4;
  const uint64_t vertexCount = (lumps[kVerticesLump].length / 12) & 0xFFFF;
  const uint64_t limit = kAllocationLimitMb << 20;

  // In the order LoadLevel reads them.
  p.message = kReadError;
  if (!map.Holds(lumps[kModelsLump].offset, 64, 1)) return p;
  if (!map.Holds(lumps[kFacesLump].offset, 20, faceCount)) return p;
  if (edgeCount * 4 > limit) {
    p.allocationMessage = kEdgesAllocationError;
    if (kHugeArraysRefused) {
      p.message = p.allocationMessage;
      return p;
    }
  }
  if (!map.Holds(lumps[kEdgesLump].offset, 4, edgeCount)) return p;
  if (surfEdgeCount * 4 > limit) {
    p.allocationMessage = kSurfEdgesAllocationError;
    if (kHugeArraysRefused) {
      p.message = p.allocationMessage;
      return p;
    }
  }
  if (!map.Holds(lumps[kSurfEdgesLump].offset, 4, surfEdgeCount)) return p;
  if (!map.Holds(lumps[kVerticesLump].offset, 12, vertexCount)) return p;

  // Every reference a frame follows, walked the way the frame walks it.
  p.message = kReferenceError;
  p.frame = Fold(Fold(0, kTagClear), uint64_t{GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
  const auto world = map.At<BspModel>(lumps[kModelsLump].offset);
  const int64_t faceStart = world.faceStart;
  const int64_t faceTotal = world.faceTotal;
  if (faceTotal > 0) {
    if (faceStart < 0 || faceStart + faceTotal > static_cast<int64_t>(faceCount)) return p;
    for (int64_t f = faceStart; f < faceStart + faceTotal; ++f) {
      const auto face = map.At<BspFace>(lumps[kFacesLump].offset + f * 20);
      const int64_t start = face.surfEdgeStart;
      const int64_t total = face.surfEdgeTotal;
      const float* colour = &generated[3 * (f - faceStart)];
      p.frame = Fold(Fold(Fold(Fold(p.frame, kTagColor), colour[0]), colour[1]), colour[2]);
      p.frame = Fold(Fold(p.frame, kTagBegin), uint64_t{GL_POLYGON});
      ++p.polygons;
      if (total <= 0) {
        p.frame = Fold(p.frame, kTagEnd);
        continue;
      }
      if (start < 0 || start + total > static_cast<int64_t>(surfEdgeCount)) return p;
      for (int64_t j = start; j < start + total; ++j) {
        const int64_t s = map.At<SurfEdge>(lumps[kSurfEdgesLump].offset + j * 4);
        const int64_t e = s > 0 ? s : -s;
        if (e >= static_cast<int64_t>(edgeCount)) return p;
        const auto edge = map.At<BspEdge>(lumps[kEdgesLump].offset + e * 4);
        const uint16_t index = s > 0 ? edge.startVertex : edge.endVertex;
        if (index >= vertexCount) return p;
        const auto v = map.At<BspVertex>(lumps[kVerticesLump].offset + int64_t{index} * 12);
        p.frame = Fold(Fold(Fold(Fold(p.frame, kTagVertex), v.x), v.z), -v.y);
        ++p.corners;
      }
      p.frame = Fold(p.frame, kTagEnd);
    }
  }
  p.message = nullptr;
  return p;
}

// The loaded arrays hold the file's records byte for byte.
void CheckLevelMatches(const uint8_t* data) {
  const BspLump* lumps = BspFile.header.lumps;
  Check(memcmp(&Level.worldModel, data + lumps[kModelsLump].offset, 64) == 0, "world model");
  Check(Level.faceCount == 0 ||
            memcmp(Level.faces, data + lumps[kFacesLump].offset, Level.faceCount * 20ull) == 0,
        "faces differ from the file");
  Check(Level.edgeCount == 0 ||
            memcmp(Level.edges, data + lumps[kEdgesLump].offset, Level.edgeCount * 4ull) == 0,
        "edges differ from the file");
  Check(Level.surfEdgeCount == 0 || memcmp(Level.surfEdges, data + lumps[kSurfEdgesLump].offset,
                                           Level.surfEdgeCount * 4ull) == 0,
        "surface edges differ from the file");
  Check(Level.vertexCount == 0 || memcmp(Level.vertices, data + lumps[kVerticesLump].offset,
                                         Level.vertexCount * 12ull) == 0,
        "vertices differ from the file");
  Check(Level.faceColors != nullptr || Level.faceCount == 0, "colours missing");
}

void Reset() {
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
  FreeLevel();
  Level = {};
  RandomState = 1;
  shownMessage.clear();
  shownMessages = 0;
  ResetFakeGl();
}

}  // namespace

// The viewer's message box, seen by the fuzzer instead of a person.
int MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
  shownMessage = text;
  ++shownMessages;
  return 1;
}

extern "C" const char* __asan_default_options() {
  // Keep in step with kAllocationLimitMb.
  return "allocator_may_return_null=1:max_allocation_size_mb=256";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  mapFile = memfd_create("map.bsp", 0);
  if (mapFile < 0) Fail("memfd_create failed");
  mapPath = "/proc/self/fd/" + std::to_string(mapFile);
  GenerateColours();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reset();
  if (ftruncate(mapFile, 0) != 0) Fail("ftruncate failed");
  if (size != 0 && pwrite(mapFile, data, size, 0) != static_cast<ssize_t>(size))
    Fail("pwrite failed");

  const Prediction expected = Predict(data, size);
  const int opened = OpenBspFile(mapPath.c_str());
  Check((opened == 0) == expected.opens, "OpenBspFile disagrees about the header");
  if (opened != 0) {
    Reset();
    return 0;
  }

  const int loaded = LoadLevel();
  if (loaded == 1 && expected.allocationMessage != nullptr &&
      shownMessage == expected.allocationMessage) {
    Check(shownMessages == 1, "a failed load must show exactly one message");
  } else if (expected.message == nullptr) {
    Check(loaded == 0, "a sound map failed to load");
    Check(shownMessages == 0, "a message was shown for a sound map");
    CheckLevelMatches(data);
    DrawLevel();
    Check(FakeGl.begins == expected.polygons, "a frame must send one polygon per world face");
    Check(FakeGl.vertices == expected.corners, "a frame must send every corner once");
    Check(FakeGl.openPolygons == 0 && FakeGl.misnested == 0, "unbalanced glBegin/glEnd");
    Check(FakeGl.hash == expected.frame, "a frame sent other colours, corners or calls");
  } else {
    Check(loaded == 1, "a damaged map loaded");
    Check(shownMessages == 1, "a failed load must show exactly one message");
    if (shownMessage != expected.message) {
      fprintf(stderr, "fuzz_map: shown \"%s\", expected \"%s\"\n", shownMessage.c_str(),
              expected.message);
      Fail("wrong message");
    }
  }
  Reset();
  return 0;
}
