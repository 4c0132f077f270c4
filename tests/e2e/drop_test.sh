#!/usr/bin/env bash
# Maps dropped on the real program's window through X drag and drop: a good
# one shows as a start with it does, whatever was on show; a damaged one, or
# one too short to open, shows its message, and after OK the map on show is
# still there and moves with the keys, the arrows and the mouse. Then its
# file is rewritten, as a compiler does: each good map shows from the same
# view, a damaged one is reported on stderr and ignored, and R reports it in
# a box. No map file stays open. A point file beside it shows its trail as it
# comes, changes and goes.
#
#   tools/with_xvfb.sh tests/e2e/drop_test.sh MIVO DEMO_MAP MAPGEN
source "$(dirname "$0")/lib.sh"
mivo=$1 map=$2
"$3" room "$scratch/room.bsp" >/dev/null
head -c 2000 "$map" >"$scratch/damaged.bsp"
head -c 100 "$map" >"$scratch/short.bsp"
cp "$map" "$scratch/watched.bsp"

# Another map, moved, turned and drawn as wireframe, all of which the drop ends.
start "$scratch/room.bsp"
await "$title"
viewer_window=$main
xdotool key Num_Lock
keys KP_8 KP_4 KP_7
drop "$main" "$scratch/watched.bsp" || fail "the window did not take the map"
wait_for shows first || fail "the dropped map's first frame"

for bad in damaged short; do
  drop "$viewer_window" "$scratch/$bad.bsp" || fail "the window did not take the $bad map"
  await Error
  keys Return
  wait_for shows first || fail "the map on show is gone after the $bad map"
done
main=$viewer_window
# 8 8 4 + 1 6 6 7: an arrow, a wheel notch, a drag of 160 pixels, Page Up ...
keys Up
xdotool mousemove 320 240 click 4 mousedown 1 mousemove 160 240 mouseup 1
keys Prior KP_1 Right
xdotool mousedown 1 mousemove 320 240 mouseup 1
keys KP_7
wait_for shows wire || fail "the keys and the mouse after the bad maps"

cp "$scratch/room.bsp" "$scratch/watched.bsp"
wait_for eval '! shows wire' || fail "the rewritten map did not show"
shot 640x480+0+0 "$scratch/room-wire.png"
head -c 2000 "$map" >"$scratch/watched.bsp"
wait_for grep -qF "Error reading bsp file" "$scratch/stderr" || fail "no message on stderr"
shows "$scratch/room-wire.png" && [[ -z $(window Error) ]] || fail "the damaged map was shown"
cp "$map" "$scratch/new.bsp" && mv "$scratch/new.bsp" "$scratch/watched.bsp"
wait_for shows wire || fail "the map moved over the file, from the same view"
head -c 100 "$map" >"$scratch/watched.bsp"
keys r
await Error
keys Return
main=$viewer_window
wait_for shows wire || fail "the map on show is gone after R"
[[ -z $(find /proc/"$viewer"/fd -lname '*.bsp') ]] || fail "map files left open"
# The compiler's point file appears beside the map on show, changes and
# goes: the trail follows it.
printf '400 600 0\n700 600 100\n' >"$scratch/watched.pts"
wait_for eval '! shows wire' || fail "the trail did not show"
shot 640x480+0+0 "$scratch/trail.png"
printf '400 600 100\n700 600 0\n' >"$scratch/watched.pts"
wait_for eval '! shows "$scratch/trail.png"' || fail "the trail did not change"
rm "$scratch/watched.pts"
wait_for shows wire || fail "the trail did not go"
keys Escape
ended 0
