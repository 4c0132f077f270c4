#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds, and opens the demo
# map (or MAP) in the viewer. With no display it saves the first frame as a
# PNG instead (mivo --shot, which needs no display) and prints its path.
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
echo "No display: rendering the first frame as a picture instead."
status=0
build/mivo --shot "$shot" "$map" || status=$?
if [[ $status -ne 0 ]]; then
  echo "The viewer ended with status $status." >&2
  exit "$status"
fi
echo "$shot"
