#!/usr/bin/env bash
# The Windows build under Wine beside the Linux build: its title; its first
# frame and its frame after each typed key, which must be the Linux build's
# (Wine gives the 640 x 480 window, frame included, a 632 x 453 client area
# at (4, 23): the lower-left part of the Linux frame); F12's picture of
# that; --pos, a click and its panel, and Ctrl+C; Esc and Alt+F4 (the
# close box's command) end it with 0; a map
# rewritten on disk shows, a damaged one goes to the debugger's output and
# is ignored; --shot's picture, the Linux build's; the boxes of a missing
# map (1 after OK), a picture that cannot be written (1), --help (0) and a
# bad option (2). Exits 77, skipped, without Wine or without mivo.exe.
#
#   tools/with_xvfb.sh tests/e2e/wine_test.sh MIVO_EXE MIVO MAP MAPGEN
wine=/usr/lib/wine/wine64
[[ -x $wine && -f ${1:-} ]] || { echo "Skipped: needs Wine ($wine) and mivo.exe (${1:-})"; exit 77; }
source "$(dirname "$0")/lib.sh"
exe=$(realpath "$1") linux=$(realpath "$2") map=$(realpath "$3") demo=$(realpath "$3")
[[ -f ${MIVO_REAL_MAPS:-/none}/libre-e1m1.bsp ]] && map=$MIVO_REAL_MAPS/libre-e1m1.bsp
unset SDL_VIDEODRIVER
# A fresh prefix that offers to install nothing; Wine traces only the text
# of its message boxes and of OutputDebugStringA, which is how the test reads them.
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all,trace+msgbox,warn+debugstr \
  WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k; rm -rf "$scratch"; jobs -p | xargs -r kill -9' EXIT
# A path with spaces, which must arrive as one argument.
mkdir "$scratch/my maps" && ln -s "$(realpath "$map")" "$scratch/my maps/the map.bsp"
cd "$scratch"  # where F12 puts its pictures
keys=(8 8 4 w)

# changed FRAME: the Linux build's frame FRAME, once it differs from the one before.
changed() {
  shot 632x453+0+27 "$scratch/linux$1.png" &&
    ! compare -metric AE "$scratch/linux$1.png" "$scratch/linux$(($1 - 1)).png" null: 2>/dev/null
}
convert -size 632x453 xc:black "$scratch/linux-1.png"
mivo=$linux
start "$map"
await "$title"
for i in 0 1 2 3 4; do
  ((i == 0)) || keys "${keys[i - 1]}"
  wait_for changed "$i" || fail "the Linux build drew no frame $i"
done
keys Escape
ended 0

mivo=$wine
for end in Escape alt+F4; do
  start "$exe" "$scratch/my maps/the map.bsp"
  await "$title"
  for i in 0 1 2 3 4; do
    ((i == 0)) || keys "${keys[i - 1]}"
    wait_for shows "$scratch/linux$i.png" 632x453+4+23 || fail "frame $i differs from Linux's"
    [[ $end == Escape ]] || break
  done
  if [[ $end == Escape ]]; then
    keys F12
    wait_for shows "$PWD/mivo0000.png" 632x453+4+23 || fail "F12's picture"
  fi
  keys "$end"
  ended 0
done

# The room rewritten as the demo map, which shows from the room's (the same)
# starting view; then damaged, which changes nothing on the screen.
"$4" room "$scratch/watched.bsp" >/dev/null
convert "$frames/first.png" -crop 632x453+0+27 +repage "$scratch/first.png"
start "$exe" "$scratch/watched.bsp"
await "$title"
cp "$demo" "$scratch/watched.bsp"
wait_for shows "$scratch/first.png" 632x453+4+23 || fail "the rewritten map did not show"
head -c 2000 "$demo" >"$scratch/watched.bsp"
wait_for grep -q "debugstr.*Error reading bsp file" "$scratch/stderr" || fail "no debug output"
shows "$scratch/first.png" 632x453+4+23 && [[ -z $(window Error) ]] || fail "the damaged map showed"
keys Escape
ended 0

# --pos and E, then a click on the nailgun's marker: the frame --shot
# gives (its lower-left part), then the panel at the top of what the client
# area shows, as the Linux build shows them in a window of that size.
start=(--pos 544 400 48 90 -10 --keys E "$demo")
"$linux" --shot "$scratch/pos.png" "${start[@]}" &&
  convert "$scratch/pos.png" -crop 632x453+0+27 +repage "$scratch/pos0.png" || fail "--shot --pos"
mivo=$linux
start "${start[@]}"
await "$title"
xdotool windowsize "$main" 632 453
wait_for shows "$scratch/pos0.png" 632x453+0+0 || fail "the Linux build at 632 x 453"
xdotool mousemove 425 200 click 1
wait_for eval '! shows "$scratch/pos0.png" 632x453+0+0' && shot 632x453+0+0 "$scratch/panel.png" ||
  fail "the Linux build's panel"
keys Escape
ended 0
mivo=$wine
start "$exe" "${start[@]}"
await "$title"
wait_for shows "$scratch/pos0.png" 632x453+4+23 || fail "--pos"
xdotool mousemove 429 223 click 1
wait_for shows "$scratch/panel.png" 632x453+4+23 || fail "the panel of a click"
keys ctrl+c
wait_for eval '[[ $(clipboard) == "544.00 400.00 48.00 90.00 -10.00" ]]' || fail "Ctrl+C: $(clipboard)"
keys Escape
ended 0

# box TITLE TEXT STATUS ARGS...: the program shows TEXT in a box; OK ends it with STATUS.
box() {
  start "$exe" "${@:4}"
  await "$1"
  keys Return
  ended "$3"
  grep -qF "$2" "$scratch/stderr" || fail "the box for ${*:4} did not say: $2"
}
"$wine" "$exe" --shot "$scratch/windows.png" "$map" && "$linux" --shot "$scratch/linux.png" "$map" &&
  identical "$scratch/windows.png" "$scratch/linux.png" || fail "--shot"

box Error "Error opening bsp file (not found?)" 1 "$scratch/none.bsp"
box Error "Error writing the picture $map/x.png" 1 --shot "$map/x.png" "$map"
box Mivo "Usage: " 0 --help
box Mivo "Usage: " 2 --bogus
echo "windows: all checks passed ($(basename "$map"), $SECONDS s)"
