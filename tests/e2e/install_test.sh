#!/usr/bin/env bash
# The install into a prefix: the program, which runs from there, and what a
# desktop needs to open .bsp files with it, the entry passing
# desktop-file-validate.
#
#   tests/e2e/install_test.sh BUILD
source "$(dirname "$0")/lib.sh"
cmake --install "$1" --prefix "$scratch/prefix" >/dev/null
cd "$scratch/prefix"
bin/mivo --help >/dev/null || fail "the installed program does not run"
entry=share/applications/mivo.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
type=$(sed -n 's/^MimeType=\(.*\);$/\1/p' "$entry")
grep -qF "<mime-type type=\"$type\">" share/mime/packages/mivo.xml || fail "no file type \"$type\""
[[ -f share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg ]] || fail "no icon"
