// The compiler's diagnostics on the largest real map, e4m4-bsp2-sub64
// (53,092 world faces), from MIVO_REAL_MAPS:
//
//   FrameOverlays/none|trail|portals|both   one flat frame from the player
//       start (DrawLevel, then glFinish, 640 x 480, llvmpipe offscreen)
//       with nothing over it, a 100,000-point trail, the map's own 9,277
//       portals (P), or both; none-turned|trail-turned: turned around, the
//       trail behind the eye, which is what culling it costs
//   LoadTrail/100000     LoadTrail of a point file of 100,000 points,
//                        each written twice as the compiler writes them
//   LoadPortals/200000   LoadPortals of a PRT2 file of 200,000 portals
//                        (the map's own lines over and over), for the map
//
// The trail is the kind a compiler writes: a point every 2 units along a
// walk from portal to portal through the map's own portal file, starting
// at the portal nearest the player start. Medians of the repetitions, and
// each overlay's cost against the frame without it, are printed at the end.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/summary.h"
#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/pak.h"
#include "platform/gl.h"
#include "tests/unit/support.h"
#include "view/camera.h"
#include "view/overlays.h"
#include "view/render.h"
#include "view/upload.h"

namespace {

namespace fs = std::filesystem;

struct Files {
  std::string map, prt, trail, bigPortals;
};
Files Paths;

// Walks from portal to portal, through the clusters they join, writing a
// point every 2 units from one portal's centre to the next: into a cluster
// not yet visited where there is one, else back the way it came, so that
// the trail goes through the whole map as a long leak's would, rather than
// round and round one place.
int WriteTrail(const std::string& path, size_t points) {
  const size_t count = Portals.portals.size();
  std::vector<std::array<float, 3>> centres(count);
  std::vector<std::vector<uint32_t>> byCluster(Portals.clusterCount);
  size_t nearest = 0;
  float best = INFINITY;
  for (size_t i = 0; i < count; ++i) {
    const Portal& p = Portals.portals[i];
    for (uint32_t k = 0; k < p.pointCount; ++k) {
      for (int a = 0; a < 3; ++a) centres[i][a] += Portals.points[3 * (p.firstPoint + k) + a] / float(p.pointCount);
    }
    for (int32_t side : p.sides) byCluster[size_t(side)].push_back(uint32_t(i));
    const float d = std::hypot(centres[i][0] - Level.start.origin[0], centres[i][1] - Level.start.origin[1],
                               centres[i][2] - Level.start.origin[2]);
    if (d < best) best = d, nearest = i;
  }
  FILE* file = fopen(path.c_str(), "w");
  if (file == nullptr) return 1;
  std::vector<uint8_t> visited(Portals.clusterCount, 0);
  std::vector<size_t> walked;  // the portals walked through, for the way back
  uint32_t state = 12345;
  size_t at = nearest;
  int32_t cluster = Portals.portals[at].sides[0];
  visited[size_t(cluster)] = 1;
  for (size_t written = 0; written < points;) {
    std::vector<size_t> ways;
    for (uint32_t way : byCluster[size_t(cluster)]) {
      const Portal& p = Portals.portals[way];
      if (visited[size_t(p.sides[0] == cluster ? p.sides[1] : p.sides[0])] == 0) ways.push_back(way);
    }
    size_t next;
    if (!ways.empty()) {
      state = state * 1664525u + 1013904223u;
      next = ways[(state >> 8) % ways.size()];
      walked.push_back(next);
    } else if (!walked.empty()) {
      next = walked.back();
      walked.pop_back();
    } else {
      std::fill(visited.begin(), visited.end(), 0);  // walked everywhere: again
      continue;
    }
    const Portal& through = Portals.portals[next];
    cluster = through.sides[0] == cluster ? through.sides[1] : through.sides[0];
    visited[size_t(cluster)] = 1;
    const auto &from = centres[at], &to = centres[next];
    const float length = std::hypot(to[0] - from[0], to[1] - from[1], to[2] - from[2]);
    for (float d = 0; d < length && written < points; d += 2, ++written) {
      const float t = d / length;
      const float p[3] = {from[0] + t * (to[0] - from[0]), from[1] + t * (to[1] - from[1]),
                          from[2] + t * (to[2] - from[2])};
      for (int twice = 0; twice < 2; ++twice) fprintf(file, "%f %f %f\n", p[0], p[1], p[2]);
    }
    at = next;
  }
  return fclose(file) == 0 ? 0 : 1;
}

// The map's portal lines over and over up to `count` portals, then its
// clusters' lines.
int WriteBigPortals(const std::string& from, const std::string& path, size_t count) {
  FILE* in = fopen(from.c_str(), "r");
  FILE* out = fopen(path.c_str(), "w");
  if (in == nullptr || out == nullptr) return 1;
  std::vector<std::string> lines;
  char line[4096];
  while (fgets(line, sizeof line, in) != nullptr) lines.emplace_back(line);
  fclose(in);
  const size_t portals = Portals.portals.size();
  fprintf(out, "PRT2\n%s%s%zu\n", lines[1].c_str(), lines[2].c_str(), count);
  for (size_t i = 0; i < count; ++i) fputs(lines[4 + i % portals].c_str(), out);
  for (size_t i = 4 + portals; i < lines.size(); ++i) fputs(lines[i].c_str(), out);
  return fclose(out) == 0 ? 0 : 1;
}

int LoadMapAndFiles() {
  ResetMapState();
  MessagesOnStderr = true;
  if (OpenMap(Paths.map.c_str()) != 0 || LoadLevel() != 0) return 1;
  LoadPortals(Paths.prt);
  return Portals.portals.empty() ? 1 : 0;
}

// Args: the overlays (bit 0 the trail, bit 1 the portals), and whether
// the camera is turned around, so that the trail's runs are culled.
void Frame(benchmark::State& state) {
  Overlays.trail = state.range(0) & 1;
  Overlays.portals = state.range(0) & 2;
  glLoadIdentity();
  PlaceCamera();
  if (state.range(1) != 0) TurnCamera(180.0f);
  DrawLevel();
  glFinish();
  for (auto _ : state) {
    DrawLevel();
    glFinish();
  }
}

void TrailLoad(benchmark::State& state) {
  for (auto _ : state) LoadTrail(Paths.trail, "");
  if (Trail.points.size() < 3 * 99000) state.SkipWithError("the trail did not load whole");
}

void PortalsLoad(benchmark::State& state) {
  for (auto _ : state) LoadPortals(Paths.bigPortals);
  if (Portals.portals.size() != 200000) state.SkipWithError("the portals did not load whole");
  LoadPortals(Paths.prt);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const char* real = getenv("MIVO_REAL_MAPS");
  if (real == nullptr || !fs::exists(fs::path(real) / "e4m4-bsp2-sub64.prt")) {
    fprintf(stderr, "MIVO_REAL_MAPS has no e4m4-bsp2-sub64.bsp and .prt: nothing to measure.\n");
    return 1;
  }
  char scratch[] = "/tmp/mivo-bench-XXXXXX";
  if (mkdtemp(scratch) == nullptr) return 1;
  Paths = {(fs::path(real) / "e4m4-bsp2-sub64.bsp").string(), (fs::path(real) / "e4m4-bsp2-sub64.prt").string(),
           std::string(scratch) + "/trail.pts", std::string(scratch) + "/big.prt"};
  HWND window = OpenGlWindow();
  InitGlState();
  SetupProjection();
  int status = LoadMapAndFiles() != 0 || WriteTrail(Paths.trail, 100000) != 0 ||
               WriteBigPortals(Paths.prt, Paths.bigPortals, 200000) != 0;
  LoadTrail(Paths.trail, "");
  UploadLevel();
  if (status == 0) {
    const char* names[] = {"none", "trail", "portals", "both", "none-turned", "trail-turned"};
    for (int i = 0; i < 6; ++i) {
      benchmark::RegisterBenchmark((std::string("FrameOverlays/") + names[i]).c_str(), Frame)
          ->Args({i % 4, i / 4})->UseRealTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("LoadTrail/100000", TrailLoad)->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadPortals/200000", PortalsLoad)->UseRealTime()->Unit(benchmark::kMillisecond);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto* none = reporter.Find("FrameOverlays/none");
    printf("\ne4m4-bsp2-sub64, flat view from the player start (medians, ms)\n");
    const auto* noneTurned = reporter.Find("FrameOverlays/none-turned");
    for (const char* name : names) {
      const auto* f = reporter.Find(std::string("FrameOverlays/") + name);
      const auto* base = std::string(name).find("turned") != std::string::npos ? noneTurned : none;
      if (f != nullptr && base != nullptr) printf("  %-13s %7.3f  (+%.3f)\n", name, f->realMs, f->realMs - base->realMs);
    }
    for (const char* name : {"LoadTrail/100000", "LoadPortals/200000"}) {
      if (const auto* f = reporter.Find(name)) printf("  %-19s %7.2f\n", name, f->realMs);
    }
  } else {
    fprintf(stderr, "the map, its portals or the files written from them failed\n");
  }
  DestroyWindow(window);
  fs::remove_all(scratch);
  benchmark::Shutdown();
  return status;
}
