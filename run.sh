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

ConfigureBuild build -DCMAKE_BUILD_TYPE=RelWithDebInfo
BuildTargets build demo_map mivo
map="${1:-build/maps/demo.bsp}"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec build/mivo "$map"
fi

shot="$PWD/build/first-frame.png"
echo "No display: rendering the first frame under Xvfb instead."
rm -f "$shot"
status=0
MIVO_MAP="$map" MIVO_SHOT="$shot" tools/with_xvfb.sh bash -c '
  # A picture of `window` once it shows more than one colour.
  snap() {
    import -window "$1" "$MIVO_SHOT" 2>/dev/null &&
      [[ $(convert "$MIVO_SHOT" -format "%k" info: 2>/dev/null || echo 0) -gt 1 ]]
  }
  build/mivo "$MIVO_MAP" &
  viewer=$!
  for _ in $(seq 600); do
    kill -0 $viewer 2>/dev/null || break
    main=$(xdotool search --onlyvisible --name "Darro.s Mivo" 2>/dev/null | head -n 1)
    if [[ -n "$main" ]] && snap "$main"; then
      kill -TERM $viewer
      break
    fi
    # The viewer could not show the map and says why in a box: keep a
    # picture of the box, then press its OK.
    box=$(xwininfo -name Error 2>/dev/null | awk "/Window id:/ {print \$4}")
    if [[ -n "$box" ]] && snap "$box"; then
      xdotool windowfocus "$box" key Return
      break
    fi
    sleep 0.1
  done
  wait $viewer
' || status=$?
if [[ $status -ne 0 ]]; then
  echo "The viewer ended with status $status." >&2
  [[ -f "$shot" ]] && echo "Its message: $shot" >&2
  exit "$status"
fi
echo "$shot"
