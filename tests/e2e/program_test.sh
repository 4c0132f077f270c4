#!/usr/bin/env bash
# The real program under X with real key presses: its window, its frames
# against the reference pictures, F12's pictures, resizing, --keys, the
# three ways it ends, the box it shows for a map it cannot open, and a
# window that draws only while something moves.
#
#   tools/with_xvfb.sh tests/e2e/program_test.sh MIVO DEMO_MAP MAPGEN
source "$(dirname "$0")/lib.sh"
mivo=$(realpath "$1") map=$(realpath "$2") mapgen=$(realpath "$3")
cd "$scratch"  # where F12 puts its pictures

start "$map"
await "$title"
info=$(xwininfo -id "$main")
for line in "Absolute upper-left X:  0" "Absolute upper-left Y:  0" "Width: 640" "Height: 480"; do
  grep -qF "$line" <<<"$info" || fail "window is not at (0, 0) and 640 x 480: $info"
done
xprop -id "$main" WM_CLASS | grep -qF '"Mivo"' || fail "class: $(xprop -id "$main" WM_CLASS)"
wait_for shows first || fail "first frame"
keys F12
wait_for shows "$scratch/mivo0000.png" || fail "F12's picture of the first frame"

# Key pad with Num Lock on: forward, forward, turn left, up, right, turn
# right twice, wireframe.
xdotool key Num_Lock
keys KP_8 KP_8 KP_4 KP_Add KP_1 KP_6 KP_6 KP_7
wait_for shows wire || fail "frame after the key pad"
keys F12
wait_for shows "$scratch/mivo0001.png" || fail "F12's second picture"
# Back, down, left; keys without a command; the main keyboard's signs and
# letters; filled again.
keys KP_2 KP_Subtract KP_3 5 x Return space \
  BackSpace period 0 W f
wait_for shows filled || fail "frame after the main keyboard"

# A larger window keeps the 640 x 480 viewport at its lower-left corner and
# the view; the rest is black.
xdotool windowsize "$main" 800 600
wait_for shows filled 640x480+0+120 || fail "frame after resizing"
black 160x600+640+0 && black 640x120+0+0 || fail "outside the viewport is not black"
keys Escape Escape
ended 0

# --pos and E: the frame --shot draws for them; then a click on the
# nailgun's marker: its panel and outline (frames/panel.png); Ctrl+C
# copies the position; I adds a line.
"$mivo" --shot "$scratch/pos.png" --pos 544 400 48 90 -10 --keys E "$map" 2>"$scratch/stderr"
start --pos 544 400 48 90 -10 --keys E "$map"
await "$title"
wait_for shows "$scratch/pos.png" || fail "the frame --pos and E give"
xdotool mousemove 425 225 click 1
wait_for shows panel || fail "the panel of a click on a marker"
keys ctrl+c
wait_for eval '[[ $(clipboard) == "544.00 400.00 48.00 90.00 -10.00" ]]' || fail "Ctrl+C: $(clipboard)"
keys i
wait_for eval '! shows panel' || fail "I showed no numbers line"
keys Escape
ended 0

# The close box ends a viewer that shows its map with status 0; the map
# comes from a pak, and --keys gives the frame the key pad gave.
"$mapgen" pak "$scratch/pak0.pak" maps/start.bsp="$map" >/dev/null
start --keys 884+1667 "$scratch/pak0.pak"
await "$title"
wait_for shows wire || fail "frame after --keys, before the close box"
close "$main"
ended 0

# The demo map as BSP2 shows the same frames, filled and in wireframe;
# SIGTERM ends it with status 0.
"$mapgen" --format bsp2 demo "$scratch/demo2.bsp" >/dev/null
start "$scratch/demo2.bsp"
await "$title"
wait_for shows first || fail "first frame of the BSP2 map"
keys KP_8 KP_8 KP_4 KP_Add KP_1 KP_6 KP_6 KP_7
wait_for shows wire || fail "wireframe of the BSP2 map"
kill -TERM "$viewer"
ended 0

# The map's clock: while it runs and something moves in view (the lit view
# of the alive map's pulsing wall) the window redraws, taking processor
# time; stopped, or in the flat view, it draws nothing and takes next to
# none. Processor time in clock ticks (1/100 s) over two seconds.
"$mapgen" alive "$scratch/alive.bsp" >/dev/null
start --view lit "$scratch/alive.bsp"
await "$title"
ticks() { awk '{print $14 + $15}' "/proc/$viewer/stat"; }
busy() { local before; before=$(ticks); sleep 2; echo $(($(ticks) - before)); }
keys space
((used = $(busy), used >= 10)) || fail "running, the window took $used ticks in 2 s"
keys space
((used = $(busy), used <= 3)) || fail "stopped, the window took $used ticks in 2 s"
keys space l l
((used = $(busy), used <= 3)) || fail "in the flat view, the window took $used ticks in 2 s"
keys Escape
ended 0

# A missing map: the message in a box, and no main window; OK ends with 1.
start /nonexistent/maps/start.bsp
await Error
[[ -z $(window "$title") ]] || fail "the main window shows behind the message"
keys Return
ended 1
echo "program: all checks passed"
