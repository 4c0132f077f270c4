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
# --pos: three numbers at least, five at most, each a finite number.
for position in "1 2" "1 2 x" "1 2 nan" "1 2 3 4 5 6"; do
  expect 2 "Usage:" --pos $position "$map"
done
expect 2 "Usage:" --pos 1 2 3 --pos 4 5 6 "$map"
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
# --pos at the spot and heading the keys 884+166 reach gives their frame,
# but for a few pixels where faces meet.
picture "$scratch/pos.png" --pos 563.6962 331.473 52 80 "$map" &&
  picture "$scratch/keys.png" --keys 884+166 "$map" &&
  [[ $(compare -metric AE -fuzz 2% "$scratch/pos.png" "$scratch/keys.png" null: 2>&1) -le 40 ]] ||
  fail "--pos: $(cat "$scratch/err")"
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
  "^world model: 331 faces$" "^references: all sound$" \
  "^point entities: 6 \(1 lights, 1 monsters, 2 items, 2 others\)$"; do
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

# The compiler's files beside the map as given, not beside a link's target:
# the trail from MAP.pts, else MAP.lin, in --info and in the first frame,
# which K takes back to the frame without it; portals that count the map's
# leaves, or other leaves, ignored with the line that says so.
cp "$map" "$scratch/leak.bsp"
ln -s "$scratch/leak.bsp" "$scratch/link.bsp"
printf '480 400 0\n480 400 0\n560 500 40\n' >"$scratch/leak.lin"
printf 'PRT1\n0\n0\n' >"$scratch/leak.prt"
expect 0 "leak trail: 2 points ($scratch/leak.lin)" --info "$scratch/leak.bsp"
grep -qxF "portals: 0 ($scratch/leak.prt, PRT1)" "$scratch/out" || fail "--info: $(cat "$scratch/out")"
expect 0 "leak trail: none" --info "$scratch/link.bsp"
picture "$scratch/leak.png" "$scratch/leak.bsp" && ! identical "$scratch/leak.png" "$frames/first.png" &&
  picture "$scratch/hidden.png" --keys K "$scratch/leak.bsp" &&
  identical "$scratch/hidden.png" "$frames/first.png" || fail "--shot of the trail: $(cat "$scratch/err")"
printf '1 2 3\nx\n' >"$scratch/leak.pts"
printf 'PRT1\n5\n0\n' >"$scratch/leak.prt"
expect 0 "Ignoring $scratch/leak.pts: line 2: not three finite numbers" --info "$scratch/leak.bsp"
grep -qxF "leak trail: none" "$scratch/out" && grep -qF "Ignoring $scratch/leak.prt: line 2: 5 leaves" "$scratch/err" &&
  grep -qxF "portals: ignored ($scratch/leak.prt: line 2: 5 leaves, not the map's 0)" "$scratch/out" ||
  fail "--info of ignored files: $(cat "$scratch/out" "$scratch/err")"

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
[[ ! -f $real/libre-e1m1.bsp ]] ||
  expect 0 "point entities: 284 (135 lights, 61 monsters, 29 items, 59 others)" --info "$real/libre-e1m1.bsp"
[[ ! -f $real/e4m4-bsp2-sub64.bsp ]] || expect 0 "leaves: 8291; visibility: yes" --info "$real/e4m4-bsp2-sub64.bsp"
[[ ! -f $real/e4m4-bsp2-sub64.prt ]] ||
  expect 0 "portals: 9277 ($real/e4m4-bsp2-sub64.prt, PRT2)" --info "$real/e4m4-bsp2-sub64.bsp"
[[ ! -f $real/cube.bsp ]] || expect 0 "leaves: 7; visibility: none" --info "$real/cube.bsp"
# The culling the views use: the visible sets, the portals beside the map, both or none.
while read -r name culling; do
  [[ ! -f $real/$name ]] || expect 0 "culling: $culling" --info "$real/$name"
done <<'EOF'
e4m4-bsp2-sub64.bsp visible sets and portals
e4m4-bsp2-sub64-novis.bsp portals only (no vis data)
libre-e1m1.bsp visible sets
cube.bsp none
EOF
# A version 30 map whose texture lies in the WAD it names, and light through BSPX lumps.
mkdir -p "$scratch/hl/maps" "$scratch/valve"
"$mapgen" halflife "$scratch/hl/maps/h.bsp" >/dev/null
expect 0 "wads: none found; missing: MIVO.wad" --info "$scratch/hl/maps/h.bsp"
grep -qx "Warning: WAD MIVO.wad not found; its textures show their flat colour." "$scratch/err" || fail "no warning"
"$mapgen" wad "$scratch/valve/mivo.wad" >/dev/null
expect 0 "wads: MIVO.wad (1 textures used)" --info "$scratch/hl/maps/h.bsp"
grep -q "^textures: 1 of 1 shown" "$scratch/out" || fail "--info: $(cat "$scratch/out")"
"$mapgen" bspx "$scratch/x.bsp" >/dev/null
expect 0 "light: coloured HDR (LIGHTING_E5BGR9), decoupled (DECOUPLED_LM)" --info "$scratch/x.bsp"
# What a failing command under with_xvfb.sh left running ends with it.
! "$(dirname "$0")"/../../tools/with_xvfb.sh bash -c 'sleep 600 & echo $! >"$0"; exit 3' "$scratch/left" &&
  wait_for eval '! kill -0 "$(cat "$scratch/left")" 2>/dev/null' || fail "with_xvfb.sh: status 0, or a process left"
echo "cli: all checks passed"
