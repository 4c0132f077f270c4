#!/usr/bin/env bash
# The program where no window can be shown: the command line, and each
# message on stderr with its status.
#
#   tests/e2e/cli_test.sh MIVO DEMO_MAP MAPGEN
source "$(dirname "$0")/lib.sh"
mivo=$1 map=$2 mapgen=$3
export DISPLAY= SDL_VIDEODRIVER=offscreen

# expect STATUS TEXT ARGS...: the program ends with STATUS and says TEXT.
expect() {
  local status=$1 text=$2 got=0
  shift 2
  timeout 60 "$mivo" "$@" >"$scratch/out" 2>"$scratch/err" || got=$?
  [[ $got -eq $status ]] || fail "$*: status $got, not $status"
  grep -qF -- "$text" "$scratch/out" "$scratch/err" || fail "$*: no \"$text\" in $(cat "$scratch/err")"
}

expect 0 "Usage:" --help
[[ ! -s $scratch/err ]] || fail "--help wrote to stderr"
expect 2 "Usage:" --fast
expect 2 "Usage:" a.bsp b.bsp
expect 2 "Usage:" --view bright "$map"
expect 2 "Usage:" --size 128 "$map"
expect 2 "Usage:" --shot "$scratch/x.png" --size 0 "$map"
# An option's value that is an option's name, and an option given twice.
expect 2 "Usage:" --shot --no-watch "$map"
expect 2 "Usage:" --shot "$scratch/a.png" --shot "$scratch/b.png" "$map"
expect 2 "Usage:" --keys 8 --view lit --keys 2 "$map"
for time in -1 soon nan inf 1s; do expect 2 "Usage:" --time "$time" "$map"; done
expect 2 "Usage:" --time 1 --time 2 "$map"
[[ ! -e --no-watch && ! -e $scratch/b.png ]] || fail "a usage error wrote a picture"
[[ ! -s $scratch/out ]] || fail "a usage error wrote to stdout"
expect 1 "Error opening bsp file (not found?)" /nonexistent/maps/start.bsp
head -c 2000 "$map" >"$scratch/cut.bsp"
expect 1 "Error reading bsp file (truncated or damaged?)" "$scratch/cut.bsp"
# With no display at all, SDL would fall back to a window nobody sees.
SDL_VIDEODRIVER= expect 1 "Error creating the main window (no display?)" "$map"

# --shot with no display at all: the first frame, replacing an old file;
# the frame after the key pad's keys; shrunk as ImageMagick's area
# averaging shrinks the first frame.
picture() { env -u DISPLAY -u SDL_VIDEODRIVER timeout 60 "$mivo" --shot "$@" 2>"$scratch/err"; }
echo old >"$scratch/first.png"
picture "$scratch/first.png" "$map" && identical "$scratch/first.png" "$frames/first.png" ||
  fail "--shot: $(cat "$scratch/err")"
picture "$scratch/wire.png" --keys 884+1667 "$map" && identical "$scratch/wire.png" "$frames/wire.png" ||
  fail "--shot --keys: $(cat "$scratch/err")"
for size in 128x96 100x75; do
  picture "$scratch/small.png" --size "${size%x*}" "$map" &&
    [[ $(identify -format %wx%h "$scratch/small.png") == "$size" ]] &&
    convert "$frames/first.png" -scale "$size" "$scratch/scaled.png" &&
    [[ $(compare -metric AE -fuzz 1% "$scratch/small.png" "$scratch/scaled.png" null: 2>&1) == 0 ]] ||
    fail "--size ${size%x*}: $(cat "$scratch/err")"
done
# --time: the back wall of the alive map pulses (style 2), light 64 while
# still, the pattern's "a" at 0.05 s and its "z" (25/12) at 2.55 s.
"$mapgen" alive "$scratch/alive.bsp" >/dev/null
for case in :404040 0.05:000000 2.55:858585; do
  time=${case%:*} want=${case#*:} got=none
  picture "$scratch/t.png" --view light ${time:+--time "$time"} "$scratch/alive.bsp" &&
    got=$(convert "$scratch/t.png" -format '%[hex:p{320,380}]' info:) && [[ $got == "$want" ]] ||
    fail "--time $time: $got, not $want"
done

# A picture that cannot be written (also as root): nothing left behind.
mkdir "$scratch/folder"
expect 1 "Error writing the picture $map/x.png (Not a directory)." --shot "$map/x.png" "$map"
expect 1 "Error writing the picture $scratch/folder (" --shot "$scratch/folder" "$map"
expect 1 "Error opening bsp file (not found?)" --shot "$scratch/none.png" /nonexistent/maps/start.bsp
[[ -z $(ls -A "$scratch/folder") && ! -e $scratch/folder.part && ! -e $scratch/none.png ]] ||
  fail "a failed --shot left a file"

# --info on a map, on a map in a pak, on a pak, and on a damaged map.
expect 0 "player start: 544 288 32, angle 90" --info "$map"
for line in "^format: version 29 \(Quake\)$" "^ 7 faces +[0-9]+ +6620 +331$" \
  "^world model: 331 faces$" "^references: all sound$"; do
  grep -qE -- "$line" "$scratch/out" || fail "--info: no \"$line\" in $(cat "$scratch/out")"
done
size=$(stat -c %s "$map")
"$mapgen" pak "$scratch/pak0.pak" progs.dat="$scratch/cut.bsp" maps/start.bsp="$map" >/dev/null
expect 0 "entry maps/start.bsp of $scratch/pak0.pak, $size bytes at 2012" --info "$scratch/pak0.pak/maps/start.bsp"
expect 0 "pak of 2 entries" --info "$scratch/pak0.pak"
grep -qzE "maps/start.bsp +$size bytes.*progs.dat +2000 bytes" "$scratch/out" || fail "--info on a pak"
expect 1 "Error reading bsp file (truncated or damaged?)" --info "$scratch/cut.bsp"
head -c 3000 "$scratch/pak0.pak" >"$scratch/cut.pak"
expect 1 "Error reading pak file (truncated or damaged?)" --info "$scratch/cut.pak"

# The real maps, where MIVO_REAL_MAPS has them: faces, world faces, start.
while read -r name faces world start; do
  [[ -f ${MIVO_REAL_MAPS:-/none}/$name ]] || continue
  expect 0 "player start: $start" --info "$MIVO_REAL_MAPS/$name"
  grep -qE "^ 7 faces .* $faces\$" "$scratch/out" && grep -q "world model: $world faces" \
    "$scratch/out" || fail "$name: $(cat "$scratch/out")"
done <<'EOF'
tiny-room.bsp 6 6 0 -2 -544, angle 0
cube.bsp 6 6 56 -208 136, angle 0
libre-e1m1.bsp 11102 10175 464 2048 -200, angle 0
clay-bsp2.bsp 10407 7058 0 -407 -42, angle 90
EOF
# Light and the tree, as --info reports them.
real=${MIVO_REAL_MAPS:-/none}
[[ ! -f $real/libre-e1m1.bsp ]] || expect 0 "light: mono (the light lump)" --info "$real/libre-e1m1.bsp"
[[ ! -f $real/e4m4-bsp2-sub64.bsp ]] || expect 0 "leaves: 8291; visibility: yes" --info "$real/e4m4-bsp2-sub64.bsp"
[[ ! -f $real/cube.bsp ]] || expect 0 "leaves: 7; visibility: none" --info "$real/cube.bsp"
# What a failing command under with_xvfb.sh left running ends with it.
! "$(dirname "$0")"/../../tools/with_xvfb.sh bash -c 'sleep 600 & echo $! >"$0"; exit 3' "$scratch/left" &&
  wait_for eval '! kill -0 "$(cat "$scratch/left")" 2>/dev/null' || fail "with_xvfb.sh: status 0, or a process left"
echo "cli: all checks passed"
