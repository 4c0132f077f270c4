// Loading the level: allocate each array at its lump's exact record count,
// read the lump into it in one go, colour the faces, then check every
// reference that drawing follows. Any failure is shown to the user here.
// Version 29 and BSP2 maps load the same way, each into arrays of its own
// records; BSP2 maps then get their triangle arrays.
#include "bsp/level.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "bsp/light.h"
#include "bsp/surfaces.h"
#include "bsp/textures.h"
#include "bsp/tree.h"
#include "platform/win32.h"

struct Level Level = {};
uint32_t RandomState = 1;
bool MessagesOnStderr = false;

namespace {

const char kReadError[] = "Error reading bsp file (truncated or damaged?)";
const char kReferenceError[] = "Error: bsp file is damaged (bad face, edge or vertex reference).";
const char kTrianglesError[] = "Error allocating triangle arrays.";
const char kSharedCornersError[] =
    "Error: bsp file is damaged (its faces walk far more corners than it holds).";

int Fail(const char* message) {
  ShowMessage(message);
  return 1;
}

// The version as its four characters when all are printable ("IBSP"),
// else as a number.
int FailUnsupported(int32_t version) {
  char text[64];
  const auto bytes = static_cast<uint32_t>(version);
  const char c[4] = {char(bytes & 0xFF), char(bytes >> 8 & 0xFF), char(bytes >> 16 & 0xFF),
                     char(bytes >> 24)};
  bool printable = true;
  for (char ch : c) printable = printable && isprint(static_cast<unsigned char>(ch));
  if (printable) {
    snprintf(text, sizeof text, "Error: unsupported bsp version (%.4s).", c);
  } else {
    snprintf(text, sizeof text, "Error: unsupported bsp version (%d).", static_cast<int>(version));
  }
  return Fail(text);
}

// Zero-filled, at exactly `count` records. An empty lump gives an empty
// array, never a failure, whatever the allocator makes of zero bytes.
template <typename T>
T* AllocateRecords(uint64_t count) {
  void* memory = calloc(count, sizeof(T));
  if (memory == nullptr && count != 0) return nullptr;
  return static_cast<T*>(memory);
}

// Each format's records: how many the file holds, and their reader.
uint32_t CountOf(const BspFace*) { return CountFaces(); }
uint32_t CountOf(const Bsp2Face*) { return CountBsp2Faces(); }
uint32_t CountOf(const BspEdge*) { return CountEdges(); }
uint32_t CountOf(const Bsp2Edge*) { return CountBsp2Edges(); }
int Read(BspFace* faces) { return ReadFaces(faces); }
int Read(Bsp2Face* faces) { return ReadBsp2Faces(faces); }
int Read(BspEdge* edges) { return ReadEdges(edges); }
int Read(Bsp2Edge* edges) { return ReadBsp2Edges(edges); }

// The vertex at which a face's walk along surface edge `s` begins. Zero
// walks edge 0 from its end.
template <typename Edge>
uint32_t CornerOf(const Edge* edges, SurfEdge s) {
  return s > 0 ? edges[s].startVertex : edges[-int64_t{s}].endVertex;
}

// Every reference that drawing follows must land inside its array: the
// face range, each of its faces' surface-edge range, each surface edge's
// edge and that edge's vertex. Sums are taken in 64 bits.
template <typename Face, typename Edge>
bool ReferencesAreSound(const Face* faces, const Edge* edges, int64_t faceStart,
                        int64_t faceTotal) {
  if (faceTotal <= 0) return true;
  if (faceStart < 0 || faceStart + faceTotal > Level.faceCount) return false;
  for (int64_t f = faceStart; f < faceStart + faceTotal; ++f) {
    const Face& face = faces[f];
    int64_t start = face.surfEdgeStart;
    int64_t total = face.surfEdgeTotal;
    if (total <= 0) continue;
    if (start < 0 || start + total > Level.surfEdgeCount) return false;
    for (int64_t j = start; j < start + total; ++j) {
      int64_t s = Level.surfEdges[j];
      int64_t edge = s > 0 ? s : -s;
      if (edge >= Level.edgeCount) return false;
      if (CornerOf(edges, Level.surfEdges[j]) >= Level.vertexCount) return false;
    }
  }
  return true;
}

// Faces, colours, edges, surface edges and vertices, in that order, each
// count stored before its array is allocated; then the reference check.
template <typename Face, typename Edge>
int LoadRecords(Face*& faces, Edge*& edges, bool wide) {
  Level.faceCount = CountOf(faces);
  faces = AllocateRecords<Face>(Level.faceCount);
  if (faces == nullptr) return Fail("Error allocating faces array.");
  if (Read(faces) != 0) return Fail(kReadError);

  Level.faceColors = AllocateRecords<FaceColor>(Level.faceCount);
  if (Level.faceColors == nullptr) return Fail("Error allocating face color array.");
  for (uint32_t i = 0; i < Level.faceCount; ++i) {
    Level.faceColors[i].red = RandomUnit();
    Level.faceColors[i].green = RandomUnit();
    Level.faceColors[i].blue = RandomUnit();
  }

  Level.edgeCount = CountOf(edges);
  edges = AllocateRecords<Edge>(Level.edgeCount);
  if (edges == nullptr) return Fail("Error allocating edges array.");
  if (Read(edges) != 0) return Fail(kReadError);

  Level.surfEdgeCount = CountSurfEdges();
  Level.surfEdges = AllocateRecords<SurfEdge>(Level.surfEdgeCount);
  if (Level.surfEdges == nullptr) return Fail("Error allocating edge indices array.");
  if (ReadSurfEdges(Level.surfEdges) != 0) return Fail(kReadError);

  Level.vertexCount = wide ? CountBsp2Vertices() : CountVertices();
  Level.vertices = AllocateRecords<BspVertex>(Level.vertexCount);
  if (Level.vertices == nullptr) return Fail("Error allocating vertices array.");
  if ((wide ? ReadBsp2Vertices(Level.vertices) : ReadVertices(Level.vertices)) != 0) {
    return Fail(kReadError);
  }
  if (CornersOf(Level.worldModel.faceStart, Level.worldModel.faceTotal) > CornerBudget()) {
    return Fail(kSharedCornersError);
  }
  if (!FacesAreSound(Level.worldModel.faceStart, Level.worldModel.faceTotal)) {
    return Fail(kReferenceError);
  }
  return 0;
}

template <typename T>
void Release(T*& array) {
  free(array);
  array = nullptr;
}

void ReleaseViewData() {
  Level.texInfos = {};
  Level.surfaces = {};
  Level.corners = {};
  Level.models = {};
  Level.brushes = {};
  Level.entities = {};
  Level.entityPairs = {};
  Level.entityText = {};
  Level.points = {};
  Level.triggers = {};
  Level.light = {};
  Level.textures = {};
  Level.textureEntryCount = 0;
  Level.texturesShown = 0;
  Level.wads = {};
  Level.palette = {};
  Level.paletteSource = {};
  Level.tree = {};
}

// The entities, the player start among them, when the entities lump can be
// read at all: a lump that is missing, outside the file or too large to
// hold leaves none, and is not an error.
MapEntities ReadEntitiesLump() {
  // Checked against the map's bytes before anything is allocated for it.
  std::vector<uint8_t> text;
  if (ReadLumpBytes(kEntitiesLump, &text) != 0) return {};
  return ReadMapEntities(reinterpret_cast<const char*>(text.data()), text.size(),
                         static_cast<uint32_t>(Level.models.size()));
}

// What the views beyond the flat view need: light, textures, surfaces and
// the tree. None of it refuses a map, except that a BSP2 map, whose flat
// view draws from the surfaces, needs them built.
int LoadViewData() {
  try {
    ReadModels(&Level.models);
    MapEntities entities = ReadEntitiesLump();
    Level.start = entities.start;
    Level.brushes = std::move(entities.brushes);
    Level.entities = std::move(entities.entities);
    Level.entityPairs = std::move(entities.pairs);
    Level.entityText = std::move(entities.text);
    Level.points = std::move(entities.points);
    Level.triggers = std::move(entities.triggers);
    Level.look = entities.look;
    ReadLightSamples();
    ReadLumpArray(kTexInfoLump, &Level.texInfos);
    ReadTextures();
    if (BuildSurfaces() != 0) throw std::bad_alloc();
    ReadTree();
  } catch (const std::bad_alloc&) {
    if (Level.format == kBsp2Format) return Fail(kTrianglesError);
    ReleaseViewData();
  }
  return 0;
}

}  // namespace

void ShowMessage(const char* message) {
  if (MessagesOnStderr) {
    fprintf(stderr, "%s\n", message);
    OutputDebugStringA((std::string(message) + "\n").c_str());  // Windows has no stderr to see
  } else {
    MessageBoxA(nullptr, message, nullptr, MB_OK);
  }
}

void ShowNote(const std::string& line) {
  fprintf(stderr, "%s\n", line.c_str());
  OutputDebugStringA((line + "\n").c_str());
}

int NextRandom() {
  RandomState = RandomState * 214013u + 2531011u;
  return static_cast<int>((RandomState >> 16) & 0x7FFF);
}

float RandomUnit() { return static_cast<float>(NextRandom()) / 32768.0f; }

int LoadLevel() {
  Level.format = FormatOf(BspFile.header.version);
  if (Level.format == kUnsupportedFormat) return FailUnsupported(BspFile.header.version);
  if (ReadModel(&Level.worldModel, 0) != 0) return Fail(kReadError);
  const bool wide = Level.format == kBsp2Format;
  if ((wide ? LoadRecords(Level.wideFaces, Level.wideEdges, true)
            : LoadRecords(Level.faces, Level.edges, false)) != 0) {
    return 1;
  }
  return LoadViewData();
}

void FreeLevel() {
  Release(Level.faces);
  Release(Level.edges);
  Release(Level.surfEdges);
  Release(Level.vertices);
  Release(Level.faceColors);
  Release(Level.wideFaces);
  Release(Level.wideEdges);
  ReleaseViewData();
}

bool FacesAreSound(int64_t start, int64_t total) {
  return Level.format == kBsp2Format
             ? ReferencesAreSound(Level.wideFaces, Level.wideEdges, start, total)
             : ReferencesAreSound(Level.faces, Level.edges, start, total);
}

uint64_t CornersOf(int64_t start, int64_t total) {
  if (total <= 0 || start < 0 || start + total > Level.faceCount) return 0;
  uint64_t corners = 0;
  for (int64_t f = start; f < start + total; ++f) {
    const int64_t n = Level.format == kBsp2Format ? Level.wideFaces[f].surfEdgeTotal
                                                  : Level.faces[f].surfEdgeTotal;
    corners += n > 0 ? static_cast<uint64_t>(n) : 0;
  }
  return corners;
}
