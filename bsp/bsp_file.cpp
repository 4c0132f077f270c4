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

template <typename... Fields>
void SwapAll(Fields&... fields) {
  (SwapInPlace(fields), ...);
}

void SwapFields(BspTexInfo& r) {
  for (int i = 0; i < 4; ++i) SwapAll(r.s[i], r.t[i]);
  SwapAll(r.texture, r.flags);
}
void SwapFields(BspPlane& r) { SwapAll(r.normal[0], r.normal[1], r.normal[2], r.dist, r.type); }
template <typename I, typename B, typename C>
void SwapFields(TreeNodeRecord<I, B, C>& r) {
  SwapAll(r.plane, r.children[0], r.children[1], r.firstFace, r.faceCount);
  for (int i = 0; i < 3; ++i) SwapAll(r.mins[i], r.maxs[i]);
}
template <typename B, typename C>
void SwapFields(TreeLeafRecord<B, C>& r) {
  SwapAll(r.contents, r.visOffset, r.firstMarkSurface, r.markSurfaceCount);
  for (int i = 0; i < 3; ++i) SwapAll(r.mins[i], r.maxs[i]);
}
void SwapFields(BspModel& r) {
  for (int i = 0; i < 3; ++i) SwapAll(r.mins[i], r.maxs[i], r.origin[i]);
  for (int32_t& node : r.headNodes) SwapInPlace(node);
  SwapAll(r.visLeafCount, r.faceStart, r.faceTotal);
}
void SwapFields(uint8_t&) {}
void SwapFields(uint16_t& r) { SwapInPlace(r); }
void SwapFields(uint32_t& r) { SwapInPlace(r); }

// Whether `count` bytes at `offset` lie inside the map as it really is.
bool InMap(int64_t offset, int64_t count) {
  return BspFile.stream != nullptr && offset >= 0 && count >= 0 && offset <= BspFile.length &&
         count <= BspFile.length - offset;
}

template <typename T>
int ReadArray(int64_t offset, int64_t bytes, std::vector<T>* records) {
  records->clear();
  const int64_t count = bytes / int64_t{sizeof(T)};
  if (!InMap(offset, bytes)) return 1;
  records->resize(static_cast<size_t>(count));
  if (count > 0 && ReadRecords(records->data(), offset, sizeof(T), static_cast<size_t>(count)) != 0) {
    records->clear();
    return 1;
  }
  for (T& record : *records) SwapFields(record);  // nothing to do on a little-endian host
  return 0;
}

template <typename T>
int ReadLumpOf(int lump, std::vector<T>* records) {
  const BspLump& at = BspFile.header.lumps[lump];
  return ReadArray(at.offset, at.length, records);
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
  // Lumps are checked against what is really there before anything is
  // allocated for them.
  const long end = fseek(stream, 0, SEEK_END) == 0 ? ftell(stream) : -1;
  BspFile.length = std::clamp<int64_t>(end - start, 0, size);
  rewind(stream);
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
  SwapFields(*model);
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
    SwapAll(face.plane, face.side, face.surfEdgeStart, face.surfEdgeTotal, face.texInfo,
            face.lightOffset);
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
    SwapAll(face.plane, face.side, face.surfEdgeStart, face.surfEdgeTotal, face.texInfo,
            face.lightOffset);
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

int ReadModels(std::vector<BspModel>* models) { return ReadLumpOf(kModelsLump, models); }

int ReadLumpBytes(int lump, std::vector<uint8_t>* bytes) { return ReadLumpOf(lump, bytes); }
int ReadLumpArray(int lump, std::vector<BspTexInfo>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<BspPlane>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<BspNode>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<Bsp2Node>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<PsbNode>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<BspLeaf>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<Bsp2Leaf>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<PsbLeaf>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<uint16_t>* records) { return ReadLumpOf(lump, records); }
int ReadLumpArray(int lump, std::vector<uint32_t>* records) { return ReadLumpOf(lump, records); }

int ReadMapBytes(int64_t offset, int64_t count, std::vector<uint8_t>* bytes) {
  return ReadArray(offset, count, bytes);
}
