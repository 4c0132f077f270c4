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
// The map's clock: at spots of the real maps where something moves, the
// frame still and with the clock running at 60 frames a second
// (Clock<View>Still and Clock<View>Running/MAP[@start]), with the light
// composed again per frame and the time it took.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "bench/bench_maps.h"
#include "bench/summary.h"
#include "bsp/level.h"
#include "platform/gl.h"
#include "tests/unit/support.h"
#include "view/camera.h"
#include "view/cull.h"
#include "view/flood.h"
#include "view/inspect.h"
#include "view/pick.h"
#include "view/motion.h"
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

// The spots a frame is timed from: the start, the start turned around, and
// for the maps worth it three more, the middles of the first empty leaves
// (that hold their own middle) at a quarter, a half and three quarters of
// the way through the world's leaves, each looking the way the start does.
constexpr int kFrameSpots = 5;
const char* const kSpotNames[kFrameSpots] = {"", "Turned", "Spot2", "Spot3", "Spot4"};

void PlaceAtSpot(int spot) {
  if (spot == 1) TurnCamera(180.0f);
  if (spot < 2 || Level.tree.leaves.empty()) return;
  // The world's leaves; those after them are the brush models'.
  const size_t count = std::min<size_t>(Level.tree.leaves.size(), Level.tree.visLeafCount + 1);
  for (size_t l = count * size_t(spot - 1) / 4; l < count; ++l) {
    const TreeLeaf& leaf = Level.tree.leaves[l];
    const float middle[3] = {(leaf.mins[0] + leaf.maxs[0]) / 2, (leaf.mins[1] + leaf.maxs[1]) / 2,
                             (leaf.mins[2] + leaf.maxs[2]) / 2};
    if (leaf.contents != -1 || leaf.markCount == 0 || LeafOf(middle) != int64_t(l)) continue;
    SetCamera(middle, Level.start.found ? Level.start.angle : 90.0f, 0.0f);
    return;
  }
}

// Where the spots of `map` lie: "X Y Z yaw" each, as --pos takes them.
void PrintSpots(const BenchMap& map) {
  if (ShowMap(map) != 0) return;
  printf("Spots of %s:", map.name.c_str());
  for (int spot = 0; spot < kFrameSpots; ++spot) {
    glLoadIdentity();
    PlaceCamera();
    PlaceAtSpot(spot);
    float at[3], yaw, pitch;
    CameraPosition(at, &yaw, &pitch);
    printf(" %s %.0f %.0f %.0f %.0f;", spot == 0 ? "start" : kSpotNames[spot], at[0] + 0.0f,
           at[1] + 0.0f, at[2] + 0.0f, yaw);
  }
  printf("\n");
  ForgetMap();
}

// The culling a frame is timed with.
enum Culling { kNoCulling, kSetsOnly, kFullCulling };

// Args: the view, the culling, the spot, the numbers line and a panel.
void Frame(benchmark::State& state, const BenchMap* map) {
  if (ShowMap(*map) != 0) {
    state.SkipWithError("the map does not load");
    return;
  }
  View = kViews[state.range(0)].view;
  CullFaces = state.range(1) != kNoCulling;
  CullPortals = state.range(1) == kFullCulling;
  PlaceAtSpot(int(state.range(2)));
  // The numbers line and the panel of the face at the centre.
  if (state.range(3) == 1) Inspect = {true, false, PickAt(320, 240, false)};
  // Texels and light in passes of their own, as without multitexturing.
  UseMultitexture = state.range(3) != 2;
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
  CullFaces = CullPortals = UseMultitexture = true;
  ForgetMap();
}

// What culling alone costs a frame (the flood through the portals and the
// walk of the tree) from spot `range(0)`; the flood's portals and clusters
// as counters.
void CullBench(benchmark::State& state, const BenchMap* map) {
  if (ShowMap(*map) != 0) {
    state.SkipWithError("the map does not load");
    return;
  }
  PlaceAtSpot(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(CollectFaces(false).world.size());
  state.counters["portals"] = LastFlood.portalsTried;
  state.counters["clusters"] = LastFlood.clustersReached;
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

std::string Name(int view, int culling, int spot, const BenchMap& map) {
  std::string name = std::string("Frame") + (view == 0 && culling == kFullCulling && spot == 0 ? "" : kViews[view].name);
  if (culling == kNoCulling) name += "Unculled";
  if (culling == kSetsOnly) name += "NoPortals";
  return name + kSpotNames[spot] + "/" + map.name;
}

// Where the clock is timed: a map, a view and an eye (map point and yaw),
// or the map's player start.
struct Spot {
  const char* map;
  int view;
  bool start;
  float eye[3];
  float yaw;
};
constexpr Spot kSpots[] = {
    {"libre-e1m1", 3, true, {}, 0},                  // nothing moves in view
    {"libre-e1m1", 3, false, {-1005, 536, 254}, 0},  // styled lights and a teleporter
    {"e4m4-bsp2-sub64", 1, true, {}, 0},
    {"e4m4-bsp2-sub64", 1, false, {-1064, 991, 216.5f}, 270},  // a hall of styled lights
};

std::string ClockName(const Spot& spot, bool running) {
  return std::string("Clock") + kViews[spot.view].name + (running ? "Running/" : "Still/") +
         spot.map + (spot.start ? "@start" : "");
}

// The processor time of the whole process, llvmpipe's threads included: on
// a busy machine a steadier measure of a frame's work than the wall clock.
double ProcessCpuMs() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Args: running or still.
void Clock(benchmark::State& state, const BenchMap* map, const Spot* spot) {
  if (ShowMap(*map) != 0) {
    state.SkipWithError("the map does not load");
    return;
  }
  View = kViews[spot->view].view;
  if (!spot->start) SetCamera(spot->eye, spot->yaw, 0);
  const bool running = state.range(0) != 0;
  ShownTime = {running, 1.0};
  DrawLevel();
  glFinish();
  double lightMs = 0, blocks = 0, frames = 0;
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state) {
    if (running) ShownTime.seconds += 1 / 60.0;
    DrawLevel();
    glFinish();
    lightMs += LastLightRefresh.ms;
    blocks += LastLightRefresh.blocks;
    ++frames;
  }
  state.counters["cpu_ms"] = (ProcessCpuMs() - cpuStart) / frames;
  state.counters["light_ms"] = lightMs / frames;
  state.counters["blocks"] = blocks / frames;
  state.counters["moves"] = FrameMoves() ? 1 : 0;
  ShownTime = {};
  View = kViews[0].view;
  ForgetMap();
}

// `extra`: 1 with the numbers line and a panel, 2 with texels and light in
// passes of their own.
void Register(const BenchMap& map, int view, int culling, int spot, int extra = 0) {
  const std::string name = extra == 1   ? "FramePanel/" + map.name
                           : extra == 2 ? std::string("Frame") + kViews[view].name + "Passes/" + map.name
                                        : Name(view, culling, spot, map);
  benchmark::RegisterBenchmark(name.c_str(), Frame, &map)
      ->Args({view, culling, spot, extra})
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

void PrintSummary(const std::vector<BenchMap>& maps, const MedianReporter& reporter) {
  printf("\nFrames at 640 x 480, llvmpipe (medians, ms; faces drawn in brackets; target %.1f ms)\n",
         kFrameBudgetMs);
  printf("culled: by the visible sets and the portals; sets: by the visible sets alone\n");
  printf("%-26s %-6s %-7s %18s %18s %18s\n", "map", "view", "spot", "culled", "sets", "unculled");
  for (const BenchMap& map : maps) {
    for (int view = 0; view < int(std::size(kViews)); ++view) {
      if (view > 0 && !map.views) break;
      for (int spot = 0; spot < kFrameSpots; ++spot) {
        if (reporter.Find(Name(view, kFullCulling, spot, map)) == nullptr) continue;
        printf("%-26s %-6s %-7s", map.name.c_str(), kViews[view].name, spot == 0 ? "start" : kSpotNames[spot]);
        for (int culling : {kFullCulling, kSetsOnly, kNoCulling}) {
          const auto* f = reporter.Find(Name(view, culling, spot, map));
          if (f == nullptr) {
            printf(" %18s", "");
          } else {
            printf(" %9.3f (%6.0f)", f->realMs, f->counters.count("faces") ? f->counters.at("faces") : 0);
          }
        }
        printf("\n");
      }
    }
  }
  printf("\nLit and game views from the start, light in one pass and in passes of its own (ms)\n");
  for (const BenchMap& map : maps) {
    for (int view : {1, 3}) {
      const auto* one = reporter.Find(Name(view, kFullCulling, 0, map));
      const auto* passes = reporter.Find(std::string("Frame") + kViews[view].name + "Passes/" + map.name);
      if (one == nullptr || passes == nullptr) continue;
      printf("%-26s %-6s %9.3f %9.3f\n", map.name.c_str(), kViews[view].name, one->realMs, passes->realMs);
    }
  }
  printf("\nCulling alone, a frame (ms; portals tried, clusters reached)\n");
  for (const BenchMap& map : maps) {
    for (int spot = 0; spot < kFrameSpots; ++spot) {
      const auto* f = reporter.Find(std::string("Cull") + kSpotNames[spot] + "/" + map.name);
      if (f == nullptr) continue;
      printf("%-26s %-7s %9.3f (%.0f, %.0f)\n", map.name.c_str(), spot == 0 ? "start" : kSpotNames[spot],
             f->realMs, f->counters.at("portals"), f->counters.at("clusters"));
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
  printf(
      "\nThe map's clock: the frame still and running (medians, ms), light composed again a "
      "frame\n");
  printf("%-30s %-6s %9s %9s %7s %9s %9s %7s %9s %8s\n", "map", "view", "still", "running", "ratio",
         "cpu still", "running", "ratio", "light ms", "blocks");
  for (const Spot& spot : kSpots) {
    const auto* still = reporter.Find(ClockName(spot, false));
    const auto* running = reporter.Find(ClockName(spot, true));
    if (still == nullptr || running == nullptr) continue;
    const double stillCpu = still->counters.at("cpu_ms"), runningCpu = running->counters.at("cpu_ms");
    printf("%-30s %-6s %9.3f %9.3f %7.2f %9.3f %9.3f %7.2f %9.3f %8.1f%s\n",
           (std::string(spot.map) + (spot.start ? " (start)" : "")).c_str(), kViews[spot.view].name,
           still->realMs, running->realMs, running->realMs / still->realMs, stillCpu, runningCpu,
           runningCpu / stillCpu, running->counters.at("light_ms"), running->counters.at("blocks"),
           running->counters.at("moves") != 0 ? "" : " (nothing moves)");
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
    if (map.portals) PrintSpots(map);
  }
  for (const BenchMap& map : maps) {
    Register(map, 0, kFullCulling, 0);
    if (map.wide && !map.views) Register(map, 0, kFullCulling, 1);
    if (!map.views) continue;
    Register(map, 0, kFullCulling, 0, 1);
    for (int view : {1, 3}) Register(map, view, kFullCulling, 0, 2);
    for (int tree : {1, 0}) {
      benchmark::RegisterBenchmark(((tree ? "Pick/" : "PickEveryFace/") + map.name).c_str(), PickBench, &map)
          ->Arg(tree)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
    const bool portals = map.portals;
    for (int spot = 0; spot < kFrameSpots; ++spot) {
      if (spot >= 2 && !portals) break;
      benchmark::RegisterBenchmark((std::string("Cull") + kSpotNames[spot] + "/" + map.name).c_str(),
                                   CullBench, &map)
          ->Arg(spot)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      for (int view = 0; view < int(std::size(kViews)); ++view) {
        for (int culling : {kFullCulling, kSetsOnly, kNoCulling}) {
          if (culling == kSetsOnly && !portals) continue;
          if (view != 0 || culling != kFullCulling || spot != 0) Register(map, view, culling, spot);
        }
      }
    }
  }
  for (const Spot& spot : kSpots) {
    for (const BenchMap& map : maps) {
      if (map.name != spot.map) continue;
      for (bool running : {false, true}) {
        benchmark::RegisterBenchmark(ClockName(spot, running).c_str(), Clock, &map, &spot)
            ->Arg(running ? 1 : 0)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
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
