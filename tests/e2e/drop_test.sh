#!/usr/bin/env bash
# Maps dropped on the real program's window through X drag and drop: a good
# one shows as a start with it does, whatever was on show; a damaged one, or
# one too short to open, shows its message, and after OK the map on show is
# still there and still moves with the keys.
#
#   tools/with_xvfb.sh tests/e2e/drop_test.sh MIVO DEMO_MAP MAPGEN
source "$(dirname "$0")/lib.sh"
mivo=$1 map=$2
"$3" room "$scratch/room.bsp" >/dev/null
head -c 2000 "$map" >"$scratch/damaged.bsp"
head -c 100 "$map" >"$scratch/short.bsp"

# Another map, moved, turned and drawn as wireframe, all of which the drop ends.
start "$scratch/room.bsp"
await "$title"
viewer_window=$main
xdotool key Num_Lock
keys KP_8 KP_4 KP_7
drop "$main" "$map" || fail "the window did not take the map"
wait_for shows first || fail "the dropped map's first frame"

for bad in damaged short; do
  drop "$viewer_window" "$scratch/$bad.bsp" || fail "the window did not take the $bad map"
  await Error
  keys Return
  wait_for shows first || fail "the map on show is gone after the $bad map"
done
main=$viewer_window
keys KP_8 KP_8 KP_4 KP_Add KP_1 KP_6 KP_6 KP_7
wait_for shows wire || fail "the keys after the bad maps"
# Of the four files, only the map on show is still open.
open=$(find /proc/"$viewer"/fd -lname '*.bsp' -printf '%l\n')
[[ $open == "$(realpath "$map")" ]] || fail "files left open: $open"
keys Escape
ended 0
