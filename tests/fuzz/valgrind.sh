#!/usr/bin/env bash
# The end-to-end path once under valgrind's memcheck: the viewer opens MAP,
# loads it, draws its first frame under Xvfb and ends on Esc. Fails on any
# memory error, any leak outside the libraries named in valgrind.supp, or
# an exit status other than 0. The map must show something at the starting
# view (the default, the demo map, does): a drawn frame is how the script
# knows the window is ready for the key.
#
#   tests/fuzz/valgrind.sh [MAP]     MIVO_BUILD=DIR picks the build (build)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
title="Darro's Mivo: Use the Key Pad to move around."
# Seconds for each wait: valgrind is slow, and the machine busy. Its leak
# check at exit takes longest.
start_limit=300
exit_limit=600

if [[ "${1:-}" == "--under-xvfb" ]]; then
  program=$2 map=$3 log=$4
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible \
    --child-silent-after-fork=yes --num-callers=40 \
    --suppressions="$top/tests/fuzz/valgrind.supp" --log-file="$log" \
    "$program" "$map" &
  viewer=$!
  trap 'kill "$viewer" 2>/dev/null || true' EXIT

  # wait_for SECONDS CONDITION: polls CONDITION every 0.2 s until it holds,
  # the viewer has ended, a message box shows, or SECONDS have passed.
  wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
      if ! kill -0 "$viewer" 2>/dev/null; then
        echo "valgrind: the viewer ended while waiting for: $*" >&2
        return 1
      fi
      if xwininfo -name Error >/dev/null 2>&1; then
        echo "valgrind: the viewer shows a message box instead of its window" >&2
        return 1
      fi
      if ((SECONDS >= deadline)); then
        echo "valgrind: gave up after ${limit} s waiting for: $*" >&2
        return 1
      fi
      sleep 0.2
    done
  }
  viewer_ended() {
    ! kill -0 "$viewer" 2>/dev/null
  }
  window=""
  window_mapped() {
    window=$(xdotool search --onlyvisible --name "^${title//./\\.}\$" 2>/dev/null | head -n 1)
    [[ -n "$window" ]]
  }
  frame_drawn() {
    local brightest
    brightest=$(import -window "$window" -format '%[max]' info: 2>/dev/null) || return 1
    [[ -n "$brightest" && "$brightest" != 0 ]]
  }
  status=0
  if wait_for "$start_limit" window_mapped && wait_for "$start_limit" frame_drawn; then
    xdotool windowfocus --sync "$window" key Escape
    wait_for "$exit_limit" viewer_ended || status=1
  else
    status=1
  fi
  if ((status != 0)); then
    # Say what is on the screen (a message box titled "Error", say), then
    # end the viewer: it may be waiting for a click that never comes.
    echo "valgrind: windows on the screen:" >&2
    xwininfo -root -children 2>/dev/null | grep '^ *0x' >&2 || true
    kill -KILL "$viewer" 2>/dev/null || true
  fi
  set +e
  wait "$viewer"
  viewer_status=$?
  set -e
  trap - EXIT
  ((status == 0)) || exit 1
  exit "$viewer_status"
fi

cd "$top"
source tools/packages.sh
EnsurePackages valgrind
build=${MIVO_BUILD:-build}
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target mivo demo_map >/dev/null
map=$(realpath "${1:-$build/maps/demo.bsp}")
log=$build/valgrind.log

status=0
tools/with_xvfb.sh "$0" --under-xvfb "$(realpath "$build/mivo")" "$map" "$log" || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost" "$log" || true
case $status in
  0) echo "valgrind: no error, no leak from the program's code ($log)" ;;
  99) echo "valgrind: memcheck found errors; see $log" >&2; exit 1 ;;
  *) echo "valgrind: the run failed (status $status); see $log" >&2; exit 1 ;;
esac
