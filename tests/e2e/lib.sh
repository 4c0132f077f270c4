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

# identical PICTURE PICTURE: not a pixel differs.
identical() { [[ $(compare -metric AE "$1" "$2" null: 2>&1) == 0 ]]; }

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
w.send_event(protocol.event.ClientMessage(window=w, client_type=d.intern_atom('WM_PROTOCOLS'),
             data=(32, [d.intern_atom('WM_DELETE_WINDOW'), X.CurrentTime, 0, 0, 0])))
d.flush()
EOF
}

# clipboard: the text the X clipboard (CLIPBOARD) holds, as its owner gives it.
clipboard() {
  timeout 10 /usr/bin/python3 - <<'EOF'
from Xlib import X, display
d = display.Display()
w = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
w.convert_selection(d.intern_atom('CLIPBOARD'), d.intern_atom('UTF8_STRING'), d.intern_atom('MIVO'), X.CurrentTime)
while d.next_event().type != X.SelectionNotify: pass
p = w.get_full_property(d.intern_atom('MIVO'), X.AnyPropertyType)
print(p.value.decode() if p else '')
EOF
}

# drop WINDOW FILE: FILE dragged from a file manager and dropped on the
# middle of WINDOW (X drag and drop, the file offered as text/uri-list);
# true once the window has taken it.
drop() {
  timeout "${MIVO_WAIT:-60}" /usr/bin/python3 - "$1" "$(realpath "$2")" <<'EOF2'
import sys, urllib.parse
from Xlib import X, display, protocol
d = display.Display()
target = d.create_resource_object('window', int(sys.argv[1], 0))
source = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
source.set_selection_owner(d.intern_atom('XdndSelection'), X.CurrentTime)
# Sends NAME; then, but for XdndEnter, serves the file until the window answers,
# and returns the answer's flags.
def send(name, *data):
    target.send_event(protocol.event.ClientMessage(window=target, client_type=d.intern_atom(name),
                                                   data=(32, [source.id, *data, 0, 0, 0][:5])))
    while name != 'XdndEnter':
        e = d.next_event()
        if e.type == X.ClientMessage: return e.data[1][1]
        if e.type == X.SelectionRequest:
            uri = 'file://' + urllib.parse.quote(sys.argv[2]) + '\r\n'
            e.requestor.change_property(e.property, e.target, 8, uri.encode())
            e.requestor.send_event(protocol.event.SelectionNotify(time=e.time, requestor=e.requestor,
                selection=e.selection, target=e.target, property=e.property))
send('XdndEnter', 5 << 24, d.intern_atom('text/uri-list'))
if not send('XdndPosition', 0, 320 << 16 | 240, X.CurrentTime, d.intern_atom('XdndActionCopy')) & 1:
    sys.exit('the window refuses the drop')
send('XdndDrop', 0, X.CurrentTime)
EOF2
}
