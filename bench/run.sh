#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/) and runs one of them:
#
#   bench/run.sh load    [benchmark flags]  OpenBspFile + LoadLevel against a plain read
#   bench/run.sh frame   [benchmark flags]  one frame of the starting view on llvmpipe
#   bench/run.sh overlays [benchmark flags] the leak trail and the portals: frames and loads
#   bench/run.sh startup [ROUNDS]           first frame under Xvfb against a bare window
#   bench/run.sh shot [ROUNDS]              mivo --shot's picture against the window's first frame
#
# MIVO_REAL_MAPS names the directory of the real maps (tiny-room, cube,
# libre-e1m1); without it they are skipped. Load and frame report medians of
# 10 repetitions run in random order; start-up runs 30 rounds by default.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
EnsurePackages

build=build-bench
what="${1:-}"
[[ $# -gt 0 ]] && shift

Machine() {
  local mesa
  mesa=$(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo unknown)
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), Mesa ${mesa}, load average $(cut -d' ' -f1-3 /proc/loadavg)"
}

Build() {
  ConfigureBuild "$build" -DMIVO_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release
  BuildTargets "$build" "$@"
}

case "$what" in
  load | frame | overlays)
    Build "bench_$what"
    Machine
    # No display: a map that fails to load reports on stderr instead of
    # waiting for a click; the frame uses the offscreen GL driver.
    env -u DISPLAY SDL_VIDEODRIVER=offscreen "$build/bench/bench_$what" \
      --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
      --benchmark_display_aggregates_only=true "$@"
    ;;
  startup)
    Build mivo demo_map bare_window map_window startup_probe
    rounds="${1:-30}"
    # The viewer on each map, and beside it the yardstick: the same map
    # shown by a program that does nothing else.
    programs=(bare "$build/bench/bare_window"
              -- demo "$build/mivo" "$build/maps/demo.bsp"
              -- "demo (yardstick)" "$build/bench/map_window" "$build/maps/demo.bsp")
    if [[ -n "${MIVO_REAL_MAPS:-}" && -f "$MIVO_REAL_MAPS/libre-e1m1.bsp" ]]; then
      programs+=(-- libre-e1m1 "$build/mivo" "$MIVO_REAL_MAPS/libre-e1m1.bsp"
                 -- "e1m1 (yardstick)" "$build/bench/map_window" "$MIVO_REAL_MAPS/libre-e1m1.bsp")
    else
      echo "MIVO_REAL_MAPS is not set: skipping libre-e1m1."
    fi
    Machine
    tools/with_xvfb.sh \
      "$build/bench/startup_probe" -n "$rounds" "${programs[@]}"
    ;;
  shot)
    Build mivo demo_map bare_window shot_probe startup_probe
    rounds="${1:-30}"
    maps=(demo "$build/maps/demo.bsp")
    windows=(bare "$build/bench/bare_window" -- demo "$build/mivo" "$build/maps/demo.bsp")
    if [[ -n "${MIVO_REAL_MAPS:-}" && -f "$MIVO_REAL_MAPS/libre-e1m1.bsp" ]]; then
      maps+=(libre-e1m1 "$MIVO_REAL_MAPS/libre-e1m1.bsp")
      windows+=(-- libre-e1m1 "$build/mivo" "$MIVO_REAL_MAPS/libre-e1m1.bsp")
    else
      echo "MIVO_REAL_MAPS is not set: skipping libre-e1m1."
    fi
    Machine
    # The picture with no display, full size and as a thumbnail, then the
    # same maps' windows under Xvfb.
    "$build/bench/shot_probe" -n "$rounds" "$build/mivo" "${maps[@]}"
    "$build/bench/shot_probe" -n "$rounds" -s 128 "$build/mivo" "${maps[@]}"
    tools/with_xvfb.sh "$build/bench/startup_probe" -n "$rounds" "${windows[@]}"
    ;;
  *)
    echo "usage: bench/run.sh load|frame|overlays [benchmark flags] | startup|shot [ROUNDS]" >&2
    exit 2
    ;;
esac
