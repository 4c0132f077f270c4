// Reading the map file: one procedure serves every reader. Records are
// copied byte for byte in a single read per lump; on a big-endian host the
// fields are swapped in place afterwards.
#include "bsp/bsp_file.h"

#include <algorithm>
#include <bit>
#include <climits>

struct BspFile BspFile = {};

namespace {

template <typename T>
void SwapInPlace(T& value) {
  if constexpr (std::endian::native == std::endian::big) {
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    for (size_t i = 0; i < sizeof(T) / 2; ++i) {
      unsigned char t = bytes[i];
      bytes[i] = bytes[sizeof(T) - 1 - i];
      bytes[sizeof(T) - 1 - i] = t;
    }
  } else {
    (void)value;
  }
}

// Reads up to `count` records of `size` bytes at `offset` into `destination`
// in one read. Succeeds only for a whole read, and then puts the file
// position back where it was; a short read leaves the position where the
// read stopped and the destination holding exactly the bytes that were read.
int ReadRecords(void* destination, int64_t offset, size_t size, size_t count) {
  if (BspFile.stream == nullptr) return 1;
  // A negative offset (from the header or from a negative model index)
  // cannot be sought to; nothing is read.
  if (offset < 0 || offset > LONG_MAX) return 1;
  BspFile.savedPosition = static_cast<int32_t>(ftell(BspFile.stream));
  if (offset > LONG_MAX - BspFile.start ||
      fseek(BspFile.stream, static_cast<long>(BspFile.start + offset), SEEK_SET) != 0) {
    return 1;
  }
  // The map's own bytes end at its size: reading stops there as at the end
  // of a file.
  const uint64_t inMap = offset < BspFile.size ? static_cast<uint64_t>(BspFile.size - offset) : 0;
  const uint64_t wanted = std::min<uint64_t>(uint64_t{size} * count, inMap);
  size_t bytes =
      wanted == 0 ? 0 : fread(destination, 1, static_cast<size_t>(wanted), BspFile.stream);
  if (bytes / size != count) return 1;
  fseek(BspFile.stream, BspFile.savedPosition, SEEK_SET);
  return 0;
}

// Reads a whole lump of `count` records, then puts each record's fields in
// the host's byte order.
template <typename T, typename SwapFields>
int ReadLump(T* destination, int lump, uint32_t count, SwapFields swapFields) {
  if (ReadRecords(destination, BspFile.header.lumps[lump].offset, sizeof(T), count) != 0) return 1;
  if constexpr (std::endian::native == std::endian::big) {
    for (uint32_t i = 0; i < count; ++i) swapFields(destination[i]);
  } else {
    (void)swapFields;
  }
  return 0;
}

void SwapVertex(BspVertex& vertex) {
  SwapInPlace(vertex.x);
  SwapInPlace(vertex.y);
  SwapInPlace(vertex.z);
}

}  // namespace

int ReadBspHeader(BspHeader* header) {
  if (ReadRecords(header, 0, sizeof(BspHeader), 1) != 0) return 1;
  if constexpr (std::endian::native == std::endian::big) {
    SwapInPlace(header->version);
    for (BspLump& lump : header->lumps) {
      SwapInPlace(lump.offset);
      SwapInPlace(lump.length);
    }
  }
  return 0;
}

int OpenBspEntry(const char* path, int64_t start, int64_t size) {
  if (BspFile.stream != nullptr) return 1;
  FILE* stream = fopen(path, "rb");
  if (stream == nullptr) return 1;
  // The stream stays here even when the header comes up short: the file is
  // then open with a partly read header, and a later open still refuses.
  BspFile.stream = stream;
  BspFile.start = start;
  BspFile.size = size;
  return ReadBspHeader(&BspFile.header);
}

int OpenBspFile(const char* path) { return OpenBspEntry(path, 0, INT64_MAX); }

void CloseBspFile() {
  if (BspFile.stream != nullptr) fclose(BspFile.stream);
  BspFile = {};
}

int ReadModel(BspModel* model, int16_t index) {
  int64_t offset = int64_t{BspFile.header.lumps[kModelsLump].offset} +
                   int64_t{index} * int64_t{sizeof(BspModel)};
  if (BspFile.header.lumps[kModelsLump].offset < 0) return 1;
  if (ReadRecords(model, offset, sizeof(BspModel), 1) != 0) return 1;
  SwapInPlace(model->faceStart);
  SwapInPlace(model->faceTotal);
  return 0;
}

uint16_t CountFaces() {
  return static_cast<uint16_t>(BspFile.header.lumps[kFacesLump].length / sizeof(BspFace));
}

uint32_t CountEdges() { return BspFile.header.lumps[kEdgesLump].length / sizeof(BspEdge); }

uint32_t CountSurfEdges() { return BspFile.header.lumps[kSurfEdgesLump].length / sizeof(SurfEdge); }

uint16_t CountVertices() {
  return static_cast<uint16_t>(BspFile.header.lumps[kVerticesLump].length / sizeof(BspVertex));
}

BspFormat FormatOf(int32_t version) {
  if (version == 29 || version == 30) return kBsp29Format;
  if (version == kBsp2Version || version == k2psbVersion) return kBsp2Format;
  return kUnsupportedFormat;
}

uint32_t CountBsp2Faces() { return BspFile.header.lumps[kFacesLump].length / sizeof(Bsp2Face); }

uint32_t CountBsp2Edges() { return BspFile.header.lumps[kEdgesLump].length / sizeof(Bsp2Edge); }

uint32_t CountBsp2Vertices() {
  return BspFile.header.lumps[kVerticesLump].length / sizeof(BspVertex);
}

int ReadBsp2Faces(Bsp2Face* faces) {
  return ReadLump(faces, kFacesLump, CountBsp2Faces(), [](Bsp2Face& face) {
    SwapInPlace(face.surfEdgeStart);
    SwapInPlace(face.surfEdgeTotal);
  });
}

int ReadBsp2Edges(Bsp2Edge* edges) {
  return ReadLump(edges, kEdgesLump, CountBsp2Edges(), [](Bsp2Edge& edge) {
    SwapInPlace(edge.startVertex);
    SwapInPlace(edge.endVertex);
  });
}

int ReadBsp2Vertices(BspVertex* vertices) {
  return ReadLump(vertices, kVerticesLump, CountBsp2Vertices(), SwapVertex);
}

int ReadFaces(BspFace* faces) {
  return ReadLump(faces, kFacesLump, CountFaces(), [](BspFace& face) {
    SwapInPlace(face.surfEdgeStart);
    SwapInPlace(face.surfEdgeTotal);
  });
}

int ReadEdges(BspEdge* edges) {
  return ReadLump(edges, kEdgesLump, CountEdges(), [](BspEdge& edge) {
    SwapInPlace(edge.startVertex);
    SwapInPlace(edge.endVertex);
  });
}

int ReadSurfEdges(SurfEdge* surfEdges) {
  return ReadLump(surfEdges, kSurfEdgesLump, CountSurfEdges(),
                  [](SurfEdge& surfEdge) { SwapInPlace(surfEdge); });
}

int ReadVertices(BspVertex* vertices) {
  return ReadLump(vertices, kVerticesLump, CountVertices(), SwapVertex);
}

int ReadEntities(char* text) {
  return ReadRecords(text, BspFile.header.lumps[kEntitiesLump].offset, 1,
                     BspFile.header.lumps[kEntitiesLump].length);
}
