// Loading the level: allocate each array at its lump's exact record count,
// read the lump into it in one go, colour the faces, then check every
// reference that drawing follows. Any failure is shown to the user here.
#include "bsp/level.h"

#include <cstdlib>

#include "platform/win32.h"

struct Level Level = {};
uint32_t RandomState = 1;

namespace {

const char kReadError[] = "Error reading bsp file (truncated or damaged?)";
const char kReferenceError[] = "Error: bsp file is damaged (bad face, edge or vertex reference).";

int Fail(const char* message) {
  MessageBoxA(nullptr, message, nullptr, MB_OK);
  return 1;
}

// Zero-filled, at exactly `count` records. An empty lump gives an empty
// array, never a failure, whatever the allocator makes of zero bytes.
template <typename T>
T* AllocateRecords(uint32_t count) {
  void* memory = calloc(count, sizeof(T));
  if (memory == nullptr && count != 0) return nullptr;
  return static_cast<T*>(memory);
}

// Every reference that DrawLevel follows must land inside its array: the
// world model's face range, each of its faces' surface-edge range, each
// surface edge's edge and that edge's vertex. Sums are taken in 64 bits.
bool ReferencesAreSound() {
  int64_t faceStart = Level.worldModel.faceStart;
  int64_t faceTotal = Level.worldModel.faceTotal;
  if (faceTotal <= 0) return true;
  if (faceStart < 0 || faceStart + faceTotal > Level.faceCount) return false;
  for (int64_t f = faceStart; f < faceStart + faceTotal; ++f) {
    const BspFace& face = Level.faces[f];
    int64_t start = face.surfEdgeStart;
    int64_t total = face.surfEdgeTotal;
    if (total <= 0) continue;
    if (start < 0 || start + total > Level.surfEdgeCount) return false;
    for (int64_t j = start; j < start + total; ++j) {
      int64_t s = Level.surfEdges[j];
      int64_t edge = s > 0 ? s : -s;  // zero walks edge 0 from its end
      if (edge >= Level.edgeCount) return false;
      uint16_t vertex = s > 0 ? Level.edges[edge].startVertex : Level.edges[edge].endVertex;
      if (vertex >= Level.vertexCount) return false;
    }
  }
  return true;
}

// The player start, when the entities lump can be read at all: a lump that
// is missing, outside the file or too large to hold leaves none, and is not
// an error.
PlayerStart ReadPlayerStart() {
  const uint32_t length = BspFile.header.lumps[kEntitiesLump].length;
  char* text = static_cast<char*>(malloc(length != 0 ? length : 1));
  PlayerStart start{};
  if (text != nullptr && ReadEntities(text) == 0) start = FindPlayerStart(text, length);
  free(text);
  return start;
}

}  // namespace

int NextRandom() {
  RandomState = RandomState * 214013u + 2531011u;
  return static_cast<int>((RandomState >> 16) & 0x7FFF);
}

float RandomUnit() { return static_cast<float>(NextRandom()) / 32768.0f; }

int LoadLevel() {
  if (ReadModel(&Level.worldModel, 0) != 0) return Fail(kReadError);

  Level.faceCount = CountFaces();
  Level.faces = AllocateRecords<BspFace>(Level.faceCount);
  if (Level.faces == nullptr) return Fail("Error allocating faces array.");
  if (ReadFaces(Level.faces) != 0) return Fail(kReadError);

  Level.faceColors = AllocateRecords<FaceColor>(Level.faceCount);
  if (Level.faceColors == nullptr) return Fail("Error allocating face color array.");
  for (uint32_t i = 0; i < Level.faceCount; ++i) {
    Level.faceColors[i].red = RandomUnit();
    Level.faceColors[i].green = RandomUnit();
    Level.faceColors[i].blue = RandomUnit();
  }

  Level.edgeCount = CountEdges();
  Level.edges = AllocateRecords<BspEdge>(Level.edgeCount);
  if (Level.edges == nullptr) return Fail("Error allocating edges array.");
  if (ReadEdges(Level.edges) != 0) return Fail(kReadError);

  Level.surfEdgeCount = CountSurfEdges();
  Level.surfEdges = AllocateRecords<SurfEdge>(Level.surfEdgeCount);
  if (Level.surfEdges == nullptr) return Fail("Error allocating edge indices array.");
  if (ReadSurfEdges(Level.surfEdges) != 0) return Fail(kReadError);

  Level.vertexCount = CountVertices();
  Level.vertices = AllocateRecords<BspVertex>(Level.vertexCount);
  if (Level.vertices == nullptr) return Fail("Error allocating vertices array.");
  if (ReadVertices(Level.vertices) != 0) return Fail(kReadError);

  if (!ReferencesAreSound()) return Fail(kReferenceError);
  Level.start = ReadPlayerStart();
  return 0;
}

void FreeLevel() {
  free(Level.faces);
  Level.faces = nullptr;
  free(Level.edges);
  Level.edges = nullptr;
  free(Level.surfEdges);
  Level.surfEdges = nullptr;
  free(Level.vertices);
  Level.vertices = nullptr;
  free(Level.faceColors);
  Level.faceColors = nullptr;
}
