// Loading a map against the floor of reading it. "Load" is OpenBspFile and
// LoadLevel with its reference check; "PlainRead" opens the same file, reads
// its header and then the same records the loader reads (the world model's
// record and the whole faces, edges, surface-edge and vertex lumps), each
// with one fread into a buffer of the level array's size, and nothing else.
// Each iteration first gives back what the previous one took (the file and
// the arrays), so both sides pay for the same opens, allocations and frees.
// From the second iteration on, both get warm memory back from the heap, so
// neither pays for page faults; the loader's zero-filling (calloc) is counted
// against the loader.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench/bench_maps.h"
#include "bench/summary.h"
#include "bsp/level.h"

namespace {

struct PlainCopy {
  FILE* file = nullptr;
  void* buffers[5] = {};
};
PlainCopy Plain;

void ReleasePlainCopy() {
  if (Plain.file != nullptr) fclose(Plain.file);
  for (void*& buffer : Plain.buffers) {
    free(buffer);
    buffer = nullptr;
  }
  Plain.file = nullptr;
}

// Returns the number of bytes read, header included, or 0 after a failure.
uint64_t ReadPlainCopy(const char* path) {
  ReleasePlainCopy();
  Plain.file = fopen(path, "rb");
  if (Plain.file == nullptr) return 0;
  BspHeader header;
  if (fread(&header, sizeof header, 1, Plain.file) != 1) return 0;
  const BspLump* lumps = header.lumps;
  // The loader's counts: whole records only, faces and vertices in 16 bits.
  struct {
    int32_t offset;
    size_t size;
  } reads[5] = {
      {lumps[kModelsLump].offset, sizeof(BspModel)},
      {lumps[kFacesLump].offset,
       static_cast<uint16_t>(lumps[kFacesLump].length / sizeof(BspFace)) * sizeof(BspFace)},
      {lumps[kEdgesLump].offset, lumps[kEdgesLump].length / sizeof(BspEdge) * sizeof(BspEdge)},
      {lumps[kSurfEdgesLump].offset,
       lumps[kSurfEdgesLump].length / sizeof(SurfEdge) * sizeof(SurfEdge)},
      {lumps[kVerticesLump].offset,
       static_cast<uint16_t>(lumps[kVerticesLump].length / sizeof(BspVertex)) *
           sizeof(BspVertex)},
  };
  uint64_t total = sizeof header;
  for (int i = 0; i < 5; ++i) {
    Plain.buffers[i] = malloc(reads[i].size);
    if (Plain.buffers[i] == nullptr && reads[i].size != 0) return 0;
    if (fseek(Plain.file, reads[i].offset, SEEK_SET) != 0) return 0;
    if (fread(Plain.buffers[i], 1, reads[i].size, Plain.file) != reads[i].size) return 0;
    total += reads[i].size;
  }
  return total;
}

void SetRates(benchmark::State& state, const BenchMap& map) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * map.bytesLoaded));
  state.counters["faces/s"] =
      benchmark::Counter(map.faceCount, benchmark::Counter::kIsIterationInvariantRate);
}

void Load(benchmark::State& state, const BenchMap* map) {
  for (auto _ : state) {
    if (LoadMap(*map) != 0) {
      state.SkipWithError("the map does not load");
      break;
    }
    benchmark::DoNotOptimize(Level.faces);
  }
  SetRates(state, *map);
  ForgetMap();
}

void PlainRead(benchmark::State& state, const BenchMap* map) {
  if (map->wide || map->path.find(".pak/") != std::string::npos) {
    state.SkipWithError("only loose version 29 maps are read plainly");
    return;
  }
  for (auto _ : state) {
    if (ReadPlainCopy(map->path.c_str()) != map->bytesLoaded) {
      state.SkipWithError("the plain read came up short");
      break;
    }
    benchmark::DoNotOptimize(Plain.buffers[1]);
  }
  SetRates(state, *map);
  ReleasePlainCopy();
}

void PrintSummary(const std::vector<BenchMap>& maps, const MedianReporter& reporter) {
  printf("\nLoad against the plain read of the same lumps (medians; target: ratio <= 1.5)\n");
  printf("%-18s %7s %9s %10s %10s %6s %10s %12s\n", "map", "faces", "MB", "load ms",
         "read ms", "ratio", "load MB/s", "load faces/s");
  for (const BenchMap& map : maps) {
    const MedianReporter::Figures* load = reporter.Find("Load/" + map.name);
    const MedianReporter::Figures* read = reporter.Find("PlainRead/" + map.name);
    if (load == nullptr) continue;
    const double readMs = read != nullptr ? read->realMs : 0.0 / 0.0;
    double mb = static_cast<double>(map.bytesLoaded) / 1e6;
    printf("%-18s %7u %9.3f %10.4f %10.4f %6.2f %10.0f %12.3g\n", map.name.c_str(),
           map.faceCount, mb, load->realMs, readMs, load->realMs / readMs,
           mb / (load->realMs / 1e3), map.faceCount / (load->realMs / 1e3));
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::vector<BenchMap> maps = PrepareBenchMaps();
  if (maps.empty()) return 1;
  for (const BenchMap& map : maps) {
    benchmark::RegisterBenchmark(("Load/" + map.name).c_str(), Load, &map)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    if (map.wide || map.path.find(".pak/") != std::string::npos) continue;
    benchmark::RegisterBenchmark(("PlainRead/" + map.name).c_str(), PlainRead, &map)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
  }
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(maps, reporter);
  RemoveBenchMaps(maps);
  benchmark::Shutdown();
  return 0;
}
