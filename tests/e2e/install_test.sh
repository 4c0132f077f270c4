#!/usr/bin/env bash
# The install into a prefix, and the Debian package as CPack makes it from
# the same build, unpacked: in both the program, which runs from there, its
# manual page, and what a desktop needs to open .bsp files with it, the
# entry passing desktop-file-validate and the file type taken by
# update-mime-database, the copyright file, and the thumbnailer of .bsp
# files, run as a file manager runs it; the package also has its run-time
# libraries among its dependencies.
#
#   tests/e2e/install_test.sh BUILD
source "$(dirname "$0")/lib.sh"
cmake --install "$1" --prefix "$scratch/prefix" >/dev/null
map=$(realpath "$1/maps/demo.bsp")
(cd "$1" && cpack -G DEB -B "$scratch/deb" >/dev/null) || fail "cpack made no package"
dpkg -x "$scratch"/deb/mivo_*.deb "$scratch/root"
[[ $(dpkg-deb -f "$scratch"/deb/mivo_*.deb Depends) =~ libegl-mesa0.*libsdl2 ]] || fail "Depends: no EGL or SDL"
for tree in "$scratch/prefix" "$scratch/root/usr"; do
  cd "$tree"
  bin/mivo --help >/dev/null || fail "$tree: the installed program does not run"
  zgrep -q '^mivo \\-\\-info MAP|PAK$' share/man/man1/mivo.1.gz && [[ -s share/doc/mivo/copyright ]] ||
    fail "$tree: no manual page or no copyright file"
  entry=share/applications/mivo.desktop
  desktop-file-validate "$entry" || fail "the desktop entry is not valid"
  type=$(sed -n 's/^MimeType=\(.*\);$/\1/p' "$entry")
  update-mime-database share/mime && [[ -f share/mime/$type.xml ]] || fail "$tree: no file type \"$type\""
  [[ -f share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg ]] || fail "no icon"
  # The thumbnailer, run as a file manager runs it: Exec's words with %i, %o
  # and %s filled in, mivo found on the PATH, and no display.
  thumbnailer=share/thumbnailers/mivo.thumbnailer
  [[ $(head -n 1 "$thumbnailer") == "[Thumbnailer Entry]" ]] && grep -qx "TryExec=mivo" "$thumbnailer" &&
    grep -qx "MimeType=$type;" "$thumbnailer" || fail "thumbnailer: $(cat "$thumbnailer")"
  read -ra exec <<<"$(sed -n 's/^Exec=//p' "$thumbnailer")"
  for i in "${!exec[@]}"; do
    word=${exec[i]//%i/$map} && word=${word//%o/$scratch/thumbnail.png} && exec[i]=${word//%s/128}
  done
  rm -f "$scratch/thumbnail.png"
  env -u DISPLAY PATH="$PWD/bin:$PATH" "${exec[@]}" || fail "$tree: thumbnailer: ${exec[*]}"
  [[ $(identify -format %wx%h "$scratch/thumbnail.png") == 128x96 ]] || fail "$tree: thumbnail's size"
done
