#!/usr/bin/env bash
# The Windows build under Wine against the Linux build, on a private Xvfb:
# the title, the first frame and the frame after each typed key; Esc and the
# close end with status 0; the boxes of a missing map (status 1 after OK),
# --help (0) and a bad option (2). The close is Alt+F4, which Windows itself
# turns into the close box's command (no window manager runs to send one).
#
#   tests/e2e/wine_test.sh MIVO_EXE LINUX_MIVO MAP
#
# Where $MIVO_REAL_MAPS holds the real map libre-e1m1.bsp, that is shown
# instead of MAP. Exits 77 (skipped) without Wine or without MIVO_EXE (no MinGW).
set -euo pipefail
wine=/usr/lib/wine/wine64
[[ -x $wine && -f ${1:-} ]] || { echo "Skipped: needs Wine ($wine) and mivo.exe from MinGW (${1:-})"; exit 77; }
[[ -n ${MIVO_WINE_XVFB:-} ]] || MIVO_WINE_XVFB=1 exec "$(dirname "$0")/../../tools/with_xvfb.sh" "$0" "$@"
exe=$1 linux=$2 map=$3
[[ -f ${MIVO_REAL_MAPS:-/none}/libre-e1m1.bsp ]] && map=$MIVO_REAL_MAPS/libre-e1m1.bsp
unset SDL_VIDEODRIVER
scratch=$(mktemp -d) pid=""
# A fresh prefix; Wine traces only the text of its message boxes, and offers
# to install nothing.
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all,trace+msgbox WINEDLLOVERRIDES="mscoree,mshtml="
# The wineserver of the prefix ends what Wine started here.
trap 'set +e; [[ -z $pid ]] || kill "$pid"; /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$scratch"' EXIT
# The Windows build is given a path with spaces, which must arrive as one argument.
mkdir "$scratch/my maps" && ln -s "$(realpath "$map")" "$scratch/my maps/the map.bsp"
title="Darro's Mivo: Use the Key Pad to move around."
keys=(8 8 4 w)
convert -size 632x453 xc:black "$scratch/linux-1.png"  # before the first frame

Fail() { echo "FAIL: $*" >&2; cat "$scratch"/*.log >&2 2>/dev/null; exit 1; }
WaitFor() {  # LIMIT MESSAGE COMMAND...: polls COMMAND until it succeeds
  local deadline=$((SECONDS + $1)) message=$2; shift 2
  until "$@"; do ((SECONDS < deadline)) || Fail "$message"; sleep 0.1; done
}
Window() { w=$(xdotool search --name "Key Pad" 2>/dev/null | head -n 1); [[ -n $w ]]; }
Box() { b=$(xwininfo -root -tree | awk -v n="\"$1\":" '$2 == n { print $1 }'); [[ -n $b ]]; }
Gone() { ! kill -0 "$pid" 2>/dev/null; }
Alive() { ! Gone || Fail "the program ended before its window or box showed"; "$@"; }
Dismiss() { xdotool windowfocus --sync "$b" key Return 2>/dev/null; Gone; }
Ended() {
  WaitFor 60 "the program did not end" Gone
  local status=0; wait "$pid" || status=$?; pid=""
  ((status == $1)) || Fail "the program ended with status $status, not $1"
}
# Both windows' client areas show the lower-left 632x453 of the 640x480 viewport:
# the Linux one from (0,0), the Windows one inside its frame from (4,23).
Shot() { import -window root "$scratch/screen.png" && convert "$scratch/screen.png" -crop "632x453+$1" +repage "$2"; }
NewFrame() { Shot 0+27 "$2" && ! compare -fuzz 2% -metric AE "$1" "$2" null: 2>/dev/null; }
SameFrame() {  # at most 0.5 % of the pixels differ
  Shot 4+23 "$scratch/windows.png" || return 1
  local differ; differ=$(compare -fuzz 2% -metric AE "$1" "$scratch/windows.png" null: 2>&1) || true
  echo "pixels differing from $(basename "$1"): $differ" >"$scratch/compare.log"
  [[ $differ =~ ^[0-9.e+]+$ ]] && awk -v n="$differ" 'BEGIN { exit !(n <= 1431) }'
}

Typed() {  # CHECK: CHECK 0 on the first frame, then CHECK I after each key I
  for ((i = 0; i <= ${#keys[@]}; i++)); do
    ((i == 0)) || xdotool windowfocus --sync "$w" key "${keys[i - 1]}"
    "$1" "$i"
  done
}
LinuxFrame() { WaitFor 60 "the Linux build drew no frame $1" NewFrame "$scratch/linux$(($1 - 1)).png" "$scratch/linux$1.png"; }
WindowsFrame() { WaitFor 60 "frame $1 differs from the Linux build's" SameFrame "$scratch/linux$1.png"; }
Windows() { "$wine" "$exe" "$@" 2>"$scratch/wine.log" & pid=$!; }

"$linux" "$map" 2>"$scratch/linux.log" & pid=$!
WaitFor 60 "the Linux build showed no window" Alive Window
Typed LinuxFrame
xdotool key Escape && Ended 0

Windows "$scratch/my maps/the map.bsp"
WaitFor 120 "no window titled like '$title'" Alive Window
[[ $(xdotool getwindowname "$w") == "$title" ]] || Fail "title: $(xdotool getwindowname "$w")"
Typed WindowsFrame
xdotool key Escape && Ended 0

Windows "$scratch/my maps/the map.bsp"
WaitFor 60 "no window to close" Alive Window
WindowsFrame 0
xdotool windowfocus --sync "$w" key alt+F4 && Ended 0

Answered() {  # TITLE TEXT STATUS ARGS...: the box is shown, OK ends the program
  Windows "${@:4}"
  WaitFor 60 "no box titled '$1' for ${*:4}" Alive Box "$1"
  WaitFor 60 "OK did not end the program" Dismiss
  Ended "$3"
  grep -qF "$2" "$scratch/wine.log" || Fail "the box for ${*:4} did not say: $2"
}
Answered Error "Error opening bsp file (not found?)" 1 "$scratch/none.bsp"
Answered Mivo "Usage: " 0 --help
Answered Mivo "Usage: " 2 --bogus
echo "Passed: $(basename "$map") under Wine, $SECONDS s"
