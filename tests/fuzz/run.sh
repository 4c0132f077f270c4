#!/usr/bin/env bash
# Builds the map fuzzer in its own build directory (build-fuzz, with clang)
# and runs it for SECONDS, starting from the maps mapgen writes, the real
# maps when MIVO_REAL_MAPS names them, and every past finding. Fails on any
# finding; the input that caused it is left in build-fuzz/findings/ and
# belongs in tests/fuzz/regressions/ once fixed.
#
#   tests/fuzz/run.sh SECONDS [libFuzzer flags...]
set -euo pipefail
if [[ $# -lt 1 || ! "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: tests/fuzz/run.sh SECONDS [libFuzzer flags...]" >&2
  exit 2
fi
seconds=$1
shift
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
source tools/packages.sh
EnsurePackages clang-14 libclang-rt-14-dev

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVO_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_map fuzz_seeds mapgen >/dev/null

seeds=$build/fuzz/seeds
corpus=$build/fuzz/corpus
findings=$build/fuzz/findings
mkdir -p "$seeds" "$corpus"
rm -rf "$findings"
mkdir -p "$findings"
for kind in demo room empty; do
  "$build/tools/mapgen" "$kind" "$seeds/$kind.bsp" >/dev/null
done
"$build/tools/mapgen" grid 40 "$seeds/grid40.bsp" >/dev/null
"$build/tests/fuzz/fuzz_seeds" "$seeds"
if [[ -n "${MIVO_REAL_MAPS:-}" && -d "$MIVO_REAL_MAPS" ]]; then
  cp -f "$MIVO_REAL_MAPS"/*.bsp "$seeds/"
  chmod u+w "$seeds"/*.bsp
fi

# Inputs longer than max_len are cut to it: the big real map still seeds
# its header and first lumps.
regressions=()
[[ -d tests/fuzz/regressions ]] && regressions=(tests/fuzz/regressions)
# Huge lumps are refused by the allocator on purpose (see fuzz_map.cpp);
# its warning for each would bury the log.
set +e
"$build/tests/fuzz/fuzz_map" \
  -max_total_time="$seconds" \
  -dict=tests/fuzz/map.dict \
  -max_len=32768 \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -print_final_stats=1 \
  -artifact_prefix="$findings/" \
  "$@" \
  "$corpus" "$seeds" "${regressions[@]}" 2>&1 |
  grep -v --line-buffered 'AddressSanitizer failed to allocate'
status=${PIPESTATUS[0]}
set -e

if [[ $status -ne 0 || -n "$(ls -A "$findings")" ]]; then
  echo "fuzz: FINDING (status $status); inputs in $findings:" >&2
  ls -l "$findings" >&2
  exit 1
fi
echo "fuzz: no finding in $seconds s"
