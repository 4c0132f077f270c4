// Reading map bytes back without the writer's help, the same way for real
// and written maps: each face's corners by the renderer's walk, and the way
// its plane and side say it looks. And a load through the viewer's own
// loader, in a child process, since the loader keeps one file per process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "bsp/level.h"
#include "tools/bsp_writer.h"

static_assert(std::endian::native == std::endian::little, "records are read as they lie");

struct D3 {
  double x, y, z;
  D3 operator-(D3 o) const { return {x - o.x, y - o.y, z - o.z}; }
  D3 operator+(D3 o) const { return {x + o.x, y + o.y, z + o.z}; }
  D3 operator*(double k) const { return {x * k, y * k, z * k}; }
  double Dot(D3 o) const { return x * o.x + y * o.y + z * o.z; }
  D3 Cross(D3 o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
};

struct FaceView {
  std::vector<D3> corners;  // in surface-edge order
  D3 front;                 // the plane's normal, turned round when side is 1
  // Below 0 when the corners run clockwise seen from the front: the sum of
  // corner cross products (Newell's normal) points the other way.
  double Turn() const {
    D3 n{0, 0, 0};
    for (size_t i = 0; i < corners.size(); ++i)
      n = n + corners[i].Cross(corners[(i + 1) % corners.size()]);
    return n.Dot(front);
  }
};

template <typename T>
std::vector<T> LumpOf(const std::vector<uint8_t>& bytes, int lump) {
  BspLump at = HeaderOf(bytes).lumps[lump];
  std::vector<T> records(at.length / sizeof(T));
  if (!records.empty()) memcpy(records.data(), &bytes.at(at.offset), records.size() * sizeof(T));
  return records;
}

inline std::vector<FaceView> FacesOf(const std::vector<uint8_t>& bytes) {
  auto planes = LumpOf<BspPlane>(bytes, kPlanesLump);
  auto vertices = LumpOf<BspVertex>(bytes, kVerticesLump);
  auto edges = LumpOf<BspEdge>(bytes, kEdgesLump);
  auto surfEdges = LumpOf<SurfEdge>(bytes, kSurfEdgesLump);
  std::vector<FaceView> views;
  for (const BspFace& face : LumpOf<BspFace>(bytes, kFacesLump)) {
    int16_t planeAndSide[2];  // the first four bytes of a face
    memcpy(planeAndSide, face.unused0, sizeof planeAndSide);
    const float* n = planes.at(planeAndSide[0]).normal;
    FaceView& view = views.emplace_back();
    view.front = D3{n[0], n[1], n[2]} * (planeAndSide[1] ? -1 : 1);
    for (int j = 0; j < face.surfEdgeTotal; ++j) {
      SurfEdge s = surfEdges.at(face.surfEdgeStart + j);
      const BspVertex& v = vertices.at(s > 0 ? edges.at(s).startVertex : edges.at(-s).endVertex);
      view.corners.push_back({v.x, v.y, v.z});
    }
  }
  return views;
}

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// For EXPECT_EXIT(..., ExitedWithCode(0), ""): loads `bytes` with the
// viewer's loader and exits 0 when `check`, run on the loaded Level, has no
// complaint; a complaint goes to stderr, into the test's report.
[[noreturn]] inline void LoadAndExit(const std::vector<uint8_t>& bytes,
                                     const std::function<std::string()>& check) {
  std::string path = testing::TempDir() + "/mivo-tools-" + std::to_string(getpid()) + ".bsp";
  std::string complaint = WriteBspFile(path, bytes) != 0       ? "not written"
                          : OpenBspFile(path.c_str()) != 0 ? "OpenBspFile failed"
                          : LoadLevel() != 0               ? "LoadLevel failed"
                                                           : check();
  unlink(path.c_str());
  FreeLevel();
  fprintf(stderr, "%s\n", complaint.c_str());
  exit(complaint.empty() ? 0 : 1);
}
