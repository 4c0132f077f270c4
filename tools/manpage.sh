#!/usr/bin/env bash
# Writes the manual page mivo.1 (gzipped) from the program's usage text, so
# that the page lists every option the program has. The usage lines (those
# naming the program) become the synopsis; of the rest, lines that start at
# the margin are set as running text, indented lines (the keys, say) as they
# are printed.
#
#   tools/manpage.sh MIVO VERSION OUT.gz
set -euo pipefail
mivo=$1 version=$2 out=$3
usage=$(exec -a mivo "$mivo" --help)
program='
  { gsub(/\\/, "\\e"); gsub(/-/, "\\-") }
  /^[.'\'']/ { $0 = "\\&" $0 }
  NR == 1 { print ".SH SYNOPSIS\n.nf" }
  !described && /^(Usage:)? +mivo/ { sub(/^(Usage:)? +/, ""); print; next }
  !described { print ".fi\n.SH DESCRIPTION"; described = 1 }
  /^$/ { if (verbatim) print ".fi"; verbatim = 0; print ".PP"; next }
  /^ / && !verbatim { print ".nf"; verbatim = 1 }
  /^[^ ]/ && verbatim { print ".fi"; verbatim = 0 }
  { print }
  END { if (verbatim) print ".fi" }'
{
  printf '.TH MIVO 1 "" "mivo %s" "User Commands"\n' "$version"
  printf '.SH NAME\nmivo \\- show a compiled Quake map in a window\n'
  awk "$program" <<<"$usage"
} | gzip -9n >"$out"
