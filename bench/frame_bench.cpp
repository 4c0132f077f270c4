// One frame at 640 x 480 on Mesa's llvmpipe, in an offscreen context:
// DrawLevel, then glFinish so the time covers the rasterising as well as the
// sending. Every map is timed in the flat view from its start as the viewer
// draws it (Frame/MAP); the maps worth it also in every other view, with and
// without culling, and turned around (Frame<View>[Unculled][Turned]/MAP),
// and in the flat view with the numbers line and a pick's outline and panel
// (FramePanel/MAP). A pick on them (Pick/MAP) is timed against trying every
// world face (PickEveryFace/MAP).
// The first frame drawn in the process also pays for llvmpipe compiling its
// shaders; it is timed once on its own and kept out of the per-frame figures.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "bench/bench_maps.h"
#include "bench/summary.h"
#include "bsp/level.h"
#include "platform/gl.h"
#include "tests/unit/support.h"
#include "view/camera.h"
#include "view/cull.h"
#include "view/inspect.h"
#include "view/pick.h"
#include "view/render.h"
#include "view/upload.h"
#include "view/views.h"

namespace {

constexpr double kFrameBudgetMs = 1000.0 / 60.0;

struct Variant {
  const char* name;
  ViewMode view;
};
constexpr Variant kViews[] = {{"Flat", {kFlatView, false}},
                              {"Lit", {kLitView, false}},
                              {"Light", {kLightOnlyView, false}},
                              {"Game", {kLitView, true}}};

int ShowMap(const BenchMap& map) {
  if (LoadMap(map) != 0) return 1;
  UploadLevel();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  PlaceCamera();
  return 0;
}

// Args: the view, culling on or off, turned around or not.
void Frame(benchmark::State& state, const BenchMap* map) {
  if (ShowMap(*map) != 0) {
    state.SkipWithError("the map does not load");
    return;
  }
  View = kViews[state.range(0)].view;
  CullFaces = state.range(1) != 0;
  // Turned around: for the grids, every corner goes through the vertex
  // stage and is clipped, and no pixel is drawn.
  if (state.range(2) != 0) TurnCamera(180.0f);
  // The numbers line and the panel of the face at the centre.
  if (state.range(3) != 0) Inspect = {true, false, PickAt(320, 240, false)};
  DrawLevel();
  glFinish();
  for (auto _ : state) {
    DrawLevel();
    glFinish();
  }
  const bool loop = !map->wide && IsFlatView();
  state.counters["faces"] = loop ? map->worldFaces : double(CollectFaces(false).world.size());
  Inspect = {};
  View = kViews[0].view;
  CullFaces = true;
  ForgetMap();
}

// One pick from the start, at pixels spread over the picture, the markers
// shown; arg 0: every world face tried instead of the walk along the tree.
void PickBench(benchmark::State& state, const BenchMap* map) {
  if (ShowMap(*map) != 0) {
    state.SkipWithError("the map does not load");
    return;
  }
  if (state.range(0) == 0) Level.tree.sound = false;
  int i = 0, hits = 0;
  for (auto _ : state) {
    const Pick pick = PickAt(40 + 80 * (i % 8), 30 + 60 * (i / 8 % 8), true);
    hits += pick.kind != kNothingPicked;
    ++i;
  }
  state.counters["hit"] = double(hits) / i;
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

std::string Name(int view, bool culled, bool turned, const BenchMap& map) {
  std::string name = view == 0 && culled && !turned ? "Frame" : std::string("Frame") + kViews[view].name;
  if (!culled) name += "Unculled";
  if (turned) name += "Turned";
  return name + "/" + map.name;
}

void Register(const BenchMap& map, int view, bool culled, bool turned, bool panel = false) {
  const std::string name = panel ? "FramePanel/" + map.name : Name(view, culled, turned, map);
  benchmark::RegisterBenchmark(name.c_str(), Frame, &map)
      ->Args({view, culled ? 1 : 0, turned ? 1 : 0, panel ? 1 : 0})
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

void PrintSummary(const std::vector<BenchMap>& maps, const MedianReporter& reporter) {
  printf("\nFrames at 640 x 480, llvmpipe (medians, ms; faces drawn in brackets; target %.1f ms)\n",
         kFrameBudgetMs);
  printf("%-24s %-6s %18s %18s %18s %18s\n", "map", "view", "culled", "unculled", "turned",
         "turned, unculled");
  for (const BenchMap& map : maps) {
    for (int view = 0; view < int(std::size(kViews)); ++view) {
      if (view > 0 && !map.views) break;
      printf("%-24s %-6s", map.name.c_str(), kViews[view].name);
      for (int turned = 0; turned < 2; ++turned) {
        for (int culled = 1; culled >= 0; --culled) {
          const auto* f = reporter.Find(Name(view, culled != 0, turned != 0, map));
          if (f == nullptr) {
            printf(" %18s", "");
          } else {
            printf(" %9.3f (%6.0f)", f->realMs, f->counters.count("faces") ? f->counters.at("faces") : 0);
          }
        }
      }
      printf("\n");
    }
  }
  printf("\nThe numbers line and a panel, flat view from the start (ms): without, with; "
         "a pick along the tree, trying every face\n");
  for (const BenchMap& map : maps) {
    const auto* without = reporter.Find("Frame/" + map.name);
    const auto* with = reporter.Find("FramePanel/" + map.name);
    const auto* pick = reporter.Find("Pick/" + map.name);
    const auto* every = reporter.Find("PickEveryFace/" + map.name);
    if (without == nullptr || with == nullptr || pick == nullptr || every == nullptr) continue;
    printf("%-24s %9.3f %9.3f %9.4f %9.4f\n", map.name.c_str(), without->realMs, with->realMs,
           pick->realMs, every->realMs);
  }
  printf("\nMemory built at load (MB): surfaces and corners, light pages, textures\n");
  for (const BenchMap& map : maps) {
    printf("%-24s %8.2f %8.2f (%d pages) %8.2f (%d textures)\n", map.name.c_str(),
           map.surfaceBytes / 1e6, map.lightBytes / 1e6, map.lightPages, map.textureBytes / 1e6,
           map.textures);
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
    Register(map, 0, true, false);
    if (map.wide && !map.views) Register(map, 0, true, true);
    if (!map.views) continue;
    Register(map, 0, true, false, true);
    for (int tree : {1, 0}) {
      benchmark::RegisterBenchmark(((tree ? "Pick/" : "PickEveryFace/") + map.name).c_str(), PickBench, &map)
          ->Arg(tree)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
    for (int view = 0; view < int(std::size(kViews)); ++view) {
      for (bool turned : {false, true}) {
        for (bool culled : {true, false}) {
          if (view != 0 || !culled || turned) Register(map, view, culled, turned);
        }
      }
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
