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
mivo=valgrind  # its report goes where the viewer's stderr goes, which a failure shows
start --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --child-silent-after-fork=yes \
  --num-callers=40 --suppressions="$top/tests/fuzz/valgrind.supp" --log-fd=2 \
  "$build/mivo" "$build/maps/demo.bsp"
await "$title"
wait_for shows first || fail "no first frame"
drop "$main" "$build/maps/demo.bsp"  # taken before the Esc that follows it
keys Escape
ended 0  # 99: memcheck found errors
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost" "$scratch/stderr" || true
echo "valgrind: no error, no leak from the program's code"
