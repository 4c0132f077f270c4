#!/usr/bin/env bash
# Runs COMMAND with DISPLAY set to a private Xvfb, and stops the server
# afterwards; ends with COMMAND's status.
#
#   tools/with_xvfb.sh COMMAND [ARG...]     XVFB_SCREEN=WxHxD (1024x768x24)
#
# The server is started with -noreset. Without it (xvfb-run's way) Xvfb
# resets each time its last client leaves, and a client that connects during
# the reset is turned away: a script polling the screen with xdotool, while
# the viewer starts, then leaves SDL no display to open now and then (7 in
# 200 starts here). Xvfb picks a free display itself (-displayfd) and writes
# its number only once it accepts clients.
set -euo pipefail
if [[ $# -eq 0 ]]; then
  echo "usage: tools/with_xvfb.sh COMMAND [ARG...]" >&2
  exit 2
fi

scratch=$(mktemp -d)
server="" command=""
# COMMAND runs as a process group of its own, which ends with this script:
# nothing a failed or interrupted test started (a viewer, its message box)
# outlives it.
StopServer() {
  [[ -z $command ]] || kill -KILL -- "-$command" 2>/dev/null || true
  if [[ -n "$server" ]]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap StopServer EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
  3>"$scratch/display" 2>"$scratch/errors" &
server=$!

# Xvfb normally answers within a second; a busy machine may take far longer.
deadline=$((SECONDS + 120))
until grep -q '^[0-9][0-9]*$' "$scratch/display" 2>/dev/null; do
  if ! kill -0 "$server" 2>/dev/null || ((SECONDS >= deadline)); then
    echo "Xvfb did not start:" >&2
    cat "$scratch/errors" >&2
    exit 1
  fi
  sleep 0.05
done

DISPLAY=":$(head -n 1 "$scratch/display")" setsid "$@" &
command=$!
status=0
wait "$command" || status=$?
exit "$status"
