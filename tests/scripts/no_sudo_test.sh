#!/usr/bin/env bash
# Without root and without sudo, EnsurePackages tries nothing: it names the
# missing package and the command to run as root, and fails. Run as root, the
# check runs as nobody; the PATH it gets has no sudo (and no apt-get).
#
#   bash tests/scripts/no_sudo_test.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
chmod 755 "$bin"
for tool in bash dirname dpkg-query grep; do ln -s "$(command -v "$tool")" "$bin/$tool"; done
as=()
((EUID != 0)) || as=(runuser -u nobody --)
if out=$("${as[@]}" env -i PATH="$bin" bash -c \
  'cd "$1" && source tools/packages.sh && EnsurePackages mivo-no-such-package' - "$top" 2>&1) ||
  ! grep -q "^Missing Debian packages: .*mivo-no-such-package" <<<"$out" ||
  ! grep -q "^  apt-get update && apt-get install -y .*mivo-no-such-package" <<<"$out"; then
  echo "FAIL: not a failure naming the package and the command for root: $out" >&2
  exit 1
fi
echo "PASS"
