#!/usr/bin/env bash
# The whole path once under valgrind's memcheck: the viewer opens the demo
# map, draws its first frame under Xvfb, opens the same map again dropped
# on its window, and ends on Esc. Fails on any memory
# error, any leak outside the libraries named in valgrind.supp, or a status
# other than 0.
#
#   tests/fuzz/valgrind.sh          MIVO_BUILD=DIR picks the build (build)
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${MIVO_BUILD:-$top/build}")
if [[ -z "${DISPLAY:-}" ]]; then
  source "$top/tools/packages.sh"
  EnsurePackages valgrind
  cmake -S "$top" -B "$build" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target mivo demo_map >/dev/null
  exec "$top/tools/with_xvfb.sh" "$0"
fi
source "$top/tests/e2e/lib.sh"
MIVO_WAIT=600  # valgrind is slow, and its leak check at exit slower still
log=$build/valgrind.log
mivo=valgrind
start --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --child-silent-after-fork=yes \
  --num-callers=40 --suppressions="$top/tests/fuzz/valgrind.supp" --log-file="$log" \
  "$build/mivo" "$build/maps/demo.bsp"
await "$title"
wait_for shows first || fail "no first frame"
drop "$main" "$build/maps/demo.bsp"  # taken before the Esc that follows it
keys Escape
wait_for eval '! kill -0 $viewer 2>/dev/null' || fail "the viewer did not end"
status=0
wait "$viewer" || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost" "$log" || true
[[ $status -eq 0 ]] || fail "status $status (99: memcheck found errors); see $log"
echo "valgrind: no error, no leak from the program's code ($log)"
