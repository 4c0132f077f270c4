#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds, and runs the whole
# test suite. `./test.sh --sanitize` does the same with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build of its own.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
EnsurePackages

build=build
flags=()
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build-sanitize
  flags+=(-DMIVO_SANITIZE=ON)
fi

ConfigureBuild "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"
BuildTargets "$build"
cd "$build"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
