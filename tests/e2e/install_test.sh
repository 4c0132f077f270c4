#!/usr/bin/env bash
# The install into a prefix: the program, which runs from there, what a
# desktop needs to open .bsp files with it, the entry passing
# desktop-file-validate, and the thumbnailer of .bsp files.
#
#   tests/e2e/install_test.sh BUILD
source "$(dirname "$0")/lib.sh"
cmake --install "$1" --prefix "$scratch/prefix" >/dev/null
map=$(realpath "$1/maps/demo.bsp")
cd "$scratch/prefix"
bin/mivo --help >/dev/null || fail "the installed program does not run"
entry=share/applications/mivo.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
type=$(sed -n 's/^MimeType=\(.*\);$/\1/p' "$entry")
grep -qF "<mime-type type=\"$type\">" share/mime/packages/mivo.xml || fail "no file type \"$type\""
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
env -u DISPLAY PATH="$PWD/bin:$PATH" "${exec[@]}" || fail "thumbnailer: ${exec[*]}"
[[ $(identify -format %wx%h "$scratch/thumbnail.png") == 128x96 ]] || fail "thumbnail's size"
