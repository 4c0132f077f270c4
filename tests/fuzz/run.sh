#!/usr/bin/env bash
# Builds the map fuzzer (build-fuzz, with clang) and runs it for SECONDS from
# the maps mapgen writes and the real maps when MIVO_REAL_MAPS names them;
# a fifth of the time goes to the fuzzer of the point and portal files.
# Fails on any finding; the input is left in build-fuzz/findings/.
#
#   tests/fuzz/run.sh SECONDS [libFuzzer flags...]
set -euo pipefail
[[ "${1:-}" =~ ^[0-9]+$ ]] || { echo "usage: tests/fuzz/run.sh SECONDS [flags...]" >&2; exit 2; }
seconds=$1
shift
cd "$(dirname "$0")/../.."
source tools/packages.sh
EnsurePackages clang-14 libclang-rt-14-dev
build=build-fuzz
cmake -S . -B $build -DMIVO_FUZZ=ON -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  >/dev/null
cmake --build $build -j "$(nproc)" --target fuzz_map fuzz_text mapgen >/dev/null
seeds=$build/seeds
rm -rf $build/findings
mkdir -p $seeds $build/corpus $build/findings
for kind in demo room empty alive "grid 40" "--format bsp2 demo" "--format 2psb grid 40"; do
  $build/tools/mapgen $kind "$seeds/${kind//[^a-z0-9]/}.bsp" >/dev/null
done
$build/tools/mapgen pak $seeds/demo.pak maps/start.bsp=$seeds/demo.bsp >/dev/null
# A version 30 map naming mivo.wad, the WAD after it; a map lit through BSPX lumps.
$build/tools/mapgen halflife $seeds/halflife.bsp >/dev/null
$build/tools/mapgen wad $seeds/mivo.wad >/dev/null
cat $seeds/mivo.wad >>$seeds/halflife.bsp && rm $seeds/mivo.wad
$build/tools/mapgen bspx $seeds/bspx.bsp >/dev/null
[[ -d "${MIVO_REAL_MAPS:-}" ]] && install -m 644 "$MIVO_REAL_MAPS"/*.bsp $seeds/
# Inputs are cut to max_len: the big real maps still seed their header and
# first lumps.
status=0
textSeconds=$(((seconds + 4) / 5))
$build/tests/fuzz/fuzz_map -max_total_time="$((seconds - textSeconds))" -dict=tests/fuzz/map.dict \
  -max_len=32768 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix=$build/findings/ "$@" $build/corpus $seeds 2>&1 |
  grep -v --line-buffered -E 'AddressSanitizer failed to allocate|^#[0-9]+.(NEW|REDUCE|pulse) |^Warning: WAD ' ||
  status=${PIPESTATUS[0]}
# The text files: a trail, portals, and the real PRT2 files.
text=$build/text-seeds
mkdir -p $text $build/text-corpus
printf '1 2 3\n1 2 3\n4.5 -6 +7e1\n' >$text/trail.pts
printf 'PRT1\n3\n1\n3 0 1 (0 0 0) (1 0 0) (1 1 0)\n' >$text/prt1.prt
printf 'PRT1-AM\n2\n1\n3\n3 1 0 (0 0 0) (1 0 0) (1 1 0)\n1\n0\n1\n' >$text/am.prt
[[ -d "${MIVO_REAL_MAPS:-}" ]] && install -m 644 "$MIVO_REAL_MAPS"/*.prt $text/
$build/tests/fuzz/fuzz_text -max_total_time="$textSeconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 -artifact_prefix=$build/findings/text- "$@" $build/text-corpus $text 2>&1 |
  grep -v --line-buffered -E '^#[0-9]+.(NEW|REDUCE|pulse) ' || status=${PIPESTATUS[0]}
if [[ $status -ne 0 || -n "$(ls -A $build/findings)" ]]; then
  echo "fuzz: FINDING (status $status):" $build/findings/* >&2
  exit 1
fi
echo "fuzz: no finding in $seconds s"
