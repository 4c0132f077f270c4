#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds, and opens the demo
# map (or MAP) in the viewer. With no display it renders the first frame
# under Xvfb instead, saves it as a PNG and prints its path.
#
#   ./run.sh [MAP]
set -euo pipefail
cd "$(dirname "$0")"
if [[ $# -gt 1 || "${1:-}" == -* ]]; then
  echo "Usage: ./run.sh [MAP]" >&2
  exit 2
fi
source tools/packages.sh
EnsurePackages

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target mivo demo_map >/dev/null
map="${1:-build/maps/demo.bsp}"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec build/mivo "$map"
fi

shot="$PWD/build/first-frame.png"
echo "No display: rendering the first frame under Xvfb instead."
status=0
MIVO_MAP="$map" MIVO_SHOT="$shot" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  setsid build/mivo "$MIVO_MAP" &
  viewer=$!
  # Wait for the window, then for a frame that is more than one colour.
  for _ in $(seq 300); do
    kill -0 $viewer 2>/dev/null || { wait $viewer; exit $?; }
    # A box titled "Error" means the map could not be shown.
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Error\""; then
      kill -TERM -- -$viewer 2>/dev/null
      echo "The viewer could not show $MIVO_MAP: it put up an error box." >&2
      echo "Run it with a display to read the message." >&2
      exit 1
    fi
    if xdotool search --name "Darro.s Mivo" >/dev/null 2>&1; then
      import -window root -crop 640x480+0+0 +repage "$MIVO_SHOT" 2>/dev/null || true
      colours=$(convert "$MIVO_SHOT" -format "%k" info: 2>/dev/null || echo 0)
      [[ "$colours" -gt 1 ]] && break
    fi
    sleep 0.1
  done
  kill -TERM $viewer
  wait $viewer
' || status=$?
if [[ $status -ne 0 ]]; then
  echo "The viewer ended with status $status." >&2
  exit "$status"
fi
echo "$shot"
