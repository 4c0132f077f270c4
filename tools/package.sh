#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds a release in
# build-package/, and leaves in the checkout the Debian package
# mivo_VERSION_amd64.deb (what `cmake --install` installs, under /usr) and,
# where MinGW-w64 is installed, mivo_VERSION_windows.zip: mivo.exe
# (stripped), the README as text and the licence.
#
#   tools/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# > 0)); then
  echo "Usage: tools/package.sh" >&2
  exit 2
fi
source tools/packages.sh
EnsurePackages

# The changelog is dated by the last commit, so that the same sources give
# the same package; the program is built with Debian's hardening flags (not
# in the environment, where the Windows build would take them too).
export SOURCE_DATE_EPOCH DEB_BUILD_MAINT_OPTIONS=hardening=+all
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
build=build-package
rm -rf "$build"
ConfigureBuild "$build" -DCMAKE_BUILD_TYPE=Release -DMIVO_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
targets=(mivo manpage)
grep -q '^MIVO_MINGW_CXX:FILEPATH=/' "$build/CMakeCache.txt" && targets+=(mivo_windows)
BuildTargets "$build" "${targets[@]}"

echo "Making the Debian package ..."
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  echo "CPack could not make the package; its output:" >&2
  cat "$build/cpack.log" >&2
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=mivo_${version}_$(dpkg --print-architecture).deb
mv "$build/$deb" .
echo "$PWD/$deb"

[[ -f $build/windows/mivo.exe ]] || exit 0
echo "Making the Windows zip ..."
folder=$build/zip/mivo-$version
mkdir -p "$folder"
x86_64-w64-mingw32-strip -o "$folder/mivo.exe" "$build/windows/mivo.exe"
sed 's/$/\r/' README.md >"$folder/README.txt"
sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
zip=mivo_${version}_windows.zip
rm -f "$zip"
(cd "$build/zip" && cmake -E tar cf "$OLDPWD/$zip" --format=zip "mivo-$version")
echo "$PWD/$zip"
