// One frame of the starting view at 640 x 480 on Mesa's llvmpipe, in an
// offscreen context: DrawLevel, then glFinish so the time covers the
// rasterising as well as the sending. The first frame drawn in the process
// also pays for llvmpipe compiling its shaders; it is timed once on its own
// and kept out of the per-frame figures.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "bench/bench_maps.h"
#include "bench/summary.h"
#include "bsp/level.h"
#include "platform/gl.h"
#include "tests/unit/support.h"
#include "view/render.h"

namespace {

constexpr double kFrameBudgetMs = 1000.0 / 60.0;

int ShowMap(const BenchMap& map) {
  if (LoadMap(map) != 0) return 1;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  PlaceCamera();
  return 0;
}

void Frame(benchmark::State& state, const BenchMap* map) {
  if (ShowMap(*map) != 0) {
    state.SkipWithError("the map does not load");
    return;
  }
  // Turned around, the same frame sends every corner through the vertex
  // stage and clips them all away: what is left of a frame's time without
  // rasterizing a pixel.
  if (state.range(0) != 0) glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
  DrawLevel();
  glFinish();
  for (auto _ : state) {
    DrawLevel();
    glFinish();
  }
  state.counters["faces/s"] =
      benchmark::Counter(map->worldFaces, benchmark::Counter::kIsIterationInvariantRate);
  ForgetMap();
}

// The process's first DrawLevel, shader compilation included: what the
// program pays before its first picture.
double FirstFrameMs(const BenchMap& map) {
  if (ShowMap(map) != 0) return -1;
  auto start = std::chrono::steady_clock::now();
  DrawLevel();
  glFinish();
  std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  ForgetMap();
  return took.count();
}

void PrintSummary(const std::vector<BenchMap>& maps, const MedianReporter& reporter) {
  printf("\nFrames of the starting view, 640 x 480, llvmpipe (medians; target: %.1f ms)\n",
         kFrameBudgetMs);
  printf("%-18s %8s %10s %12s %10s %s\n", "map", "faces", "ms/frame", "faces/s", "arrays MB",
         "");
  for (const BenchMap& map : maps) {
    const MedianReporter::Figures* frame = reporter.Find("Frame/" + map.name);
    const MedianReporter::Figures* away = reporter.Find("FrameTurnedAway/" + map.name);
    if (frame == nullptr) continue;
    printf("%-18s %8d %10.3f %12.3g %10.1f %s", map.name.c_str(), map.worldFaces,
           frame->realMs, map.worldFaces / (frame->realMs / 1e3), map.triangleBytes / 1e6,
           frame->realMs <= kFrameBudgetMs ? "within" : "OVER");
    if (away != nullptr) printf("  (turned away: %.3f ms)", away->realMs);
    printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::vector<BenchMap> maps = PrepareBenchMaps();
  if (maps.empty()) return 1;
  HWND window = OpenGlWindow();
  if (window == nullptr) {
    RemoveBenchMaps(maps);
    return 1;
  }
  printf("GL_RENDERER: %s\nGL_VERSION: %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));
  InitGlState();
  SetupProjection();
  const BenchMap& first = maps.back();  // the largest real map, or the largest grid
  printf("First frame of the process (%s, shader compilation included): %.1f ms\n\n",
         first.name.c_str(), FirstFrameMs(first));

  for (const BenchMap& map : maps) {
    benchmark::RegisterBenchmark(("Frame/" + map.name).c_str(), Frame, &map)
        ->Arg(0)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    if (map.wide) {
      benchmark::RegisterBenchmark(("FrameTurnedAway/" + map.name).c_str(), Frame, &map)
          ->Arg(1)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(maps, reporter);
  DestroyWindow(window);
  RemoveBenchMaps(maps);
  benchmark::Shutdown();
  return 0;
}
