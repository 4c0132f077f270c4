# Sourced by the end-to-end scripts: waiting for conditions, starting the
# viewer, and comparing the screen with the reference frames in frames/.
# The scripts run under tools/with_xvfb.sh: a screen with no window
# manager, where a window sits exactly where its program put it.
set -euo pipefail
title="Darro's Mivo: Use the Key Pad to move around."
frames=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/frames
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; jobs -p | xargs -r kill -9 2>/dev/null || true' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# wait_for COMMAND...: true once COMMAND succeeds, false after MIVO_WAIT
# (60) seconds. The machines are small and busy; a passing run waits far less.
wait_for() {
  local deadline=$((SECONDS + ${MIVO_WAIT:-60}))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# The id of the viewable window named exactly NAME, if there is one.
window() { xwininfo -name "$1" 2>/dev/null | awk '/Window id:/ {id = $4} /IsViewable/ {print id}'; }

# await NAME: waits for a viewable window named exactly NAME; its id goes in
# $main.
await() {
  awaited=$1
  wait_for eval 'main=$(window "$awaited"); [[ -n $main ]]' ||
    fail "no window \"$1\": $(cat "$scratch/stderr")"
}

# keys KEY...: typed into window $main (xdotool's names), bounded in case
# the focus never comes.
keys() { timeout 30 xdotool windowfocus --sync "$main" key --delay 30 "$@"; }

# start ARGS...: the viewer in the background, its pid in $viewer.
start() {
  "$mivo" "$@" 2>"$scratch/stderr" &
  viewer=$!
}

# ended STATUS: the viewer has ended, with STATUS.
ended() {
  wait_for eval '! kill -0 $viewer 2>/dev/null' || fail "the viewer did not end"
  local status=0
  wait "$viewer" || status=$?
  [[ $status -eq $1 ]] || fail "status $status, not $1: $(cat "$scratch/stderr")"
}

# shot GEOMETRY FILE: that part of the screen (WxH+X+Y).
shot() {
  import -window root "$scratch/root.png" 2>/dev/null &&
    convert "$scratch/root.png" -crop "$1" +repage "$2"
}

# shows NAME [GEOMETRY]: the screen's GEOMETRY (the 640x480 at the top
# left) is frames/NAME.png (or the picture NAME, a path), but for a few
# pixels where faces meet.
shows() {
  local picture=$frames/$1.png
  [[ $1 != */* ]] || picture=$1
  local differ
  shot "${2:-640x480+0+0}" "$scratch/shot.png" &&
    differ=$(compare -metric AE -fuzz 2% "$scratch/shot.png" "$picture" null: 2>&1)
  [[ $differ =~ ^[0-9]+$ ]] && ((differ <= 40))
}

# black GEOMETRY: nothing but black there in the screen shows last took.
black() {
  [[ $(convert "$scratch/root.png" -crop "$1" -format '%[fx:maxima]' info:) == 0 ]]
}

# close WINDOW: the close box's request (WM_DELETE_WINDOW), as a window
# manager sends it.
close() {
  /usr/bin/python3 - "$1" <<'EOF'
import sys
from Xlib import X, display, protocol
d = display.Display()
w = d.create_resource_object('window', int(sys.argv[1], 0))
message = d.intern_atom('WM_DELETE_WINDOW')
w.send_event(protocol.event.ClientMessage(window=w, client_type=d.intern_atom('WM_PROTOCOLS'),
             data=(32, [message, X.CurrentTime, 0, 0, 0])))
d.flush()
EOF
}
