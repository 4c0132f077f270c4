#!/usr/bin/env bash
# EnsurePackages, from a copy of the scripts in a scratch folder (so the
# checkout may lie where other users cannot read, as in /root):
#   no-sudo  Without root and without sudo it tries nothing: it names the
#            missing package and the command to run as root, and fails. Run
#            as root, the check runs as nobody, on a PATH without sudo.
#   sudo     A user with password-less sudo installs a missing package while
#            fs.protected_regular is 2, as on a stock Debian 12: root may then
#            not open a file of that user's in /tmp. The package comes from a
#            local repository that apt reads through APT_CONFIG. Needs root,
#            sudo and a writable sysctl; skips (77) without them.
#
#   bash tests/scripts/packages_test.sh no-sudo|sudo
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
undo=(rm -rf "$scratch")
trap '"${undo[@]}"' EXIT
chmod 755 "$scratch"
cd "$scratch"
mkdir "$scratch/tools" "$scratch/bin"
cp "$top/tools/packages.sh" "$top/tools/progress.sh" "$scratch/tools"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if [[ $1 == no-sudo ]]; then
  for tool in bash dirname dpkg-query grep; do ln -s "$(command -v "$tool")" "$scratch/bin"; done
  as=()
  ((EUID != 0)) || as=(runuser -u nobody --)
  if out=$("${as[@]}" env -i PATH="$scratch/bin" bash -c \
    'source "$1/tools/packages.sh" && EnsurePackages mivo-no-such-package' - "$scratch" 2>&1) ||
    ! grep -q "^Missing Debian packages: .*mivo-no-such-package" <<<"$out" ||
    ! grep -q "^  apt-get update && apt-get install -y .*mivo-no-such-package" <<<"$out"; then
    fail "not a failure naming the package and the command for root: $out"
  fi
  echo "PASS"
  exit 0
fi

skip() {
  echo "Skipped: $*"
  exit 77
}
((EUID == 0)) || skip "making a user with sudo needs root"
command -v sudo >/dev/null || skip "no sudo here (apt-get install sudo)"
old=$(sysctl -n fs.protected_regular) || skip "no fs.protected_regular here"
user=mivo-sudo-$$ probe=mivo-sudo-probe
undo=(eval 'sysctl -qw fs.protected_regular=$old; rm -f /etc/sudoers.d/$user; dpkg -P $probe >/dev/null 2>&1
  find /tmp -maxdepth 1 -user $user -exec rm -rf {} +; userdel $user 2>/dev/null; rm -rf "$scratch"')
sysctl -qw fs.protected_regular=2 2>/dev/null || skip "fs.protected_regular cannot be set here"
useradd -M -d "$scratch" "$user"
printf '%s ALL=(ALL) NOPASSWD: ALL\nDefaults:%s env_keep += APT_CONFIG\n' "$user" "$user" >"/etc/sudoers.d/$user"
chmod 440 "/etc/sudoers.d/$user"

mkdir -p "$scratch/repo/$probe/DEBIAN" "$scratch/lists/partial"
printf 'Package: %s\nVersion: 1\nArchitecture: all\nMaintainer: Mivo <mivo@example.org>\nDescription: a test\n' \
  $probe >"$scratch/repo/$probe/DEBIAN/control"
(cd "$scratch/repo" && dpkg-deb -b $probe . >/dev/null && dpkg-scanpackages . >Packages 2>/dev/null)
echo "deb [trusted=yes] file:$scratch/repo ./" >"$scratch/sources.list"
printf 'Dir::Etc::%s;\n' "SourceList \"$scratch/sources.list\"" 'SourceParts "/none"' >"$scratch/apt.conf"
printf 'Dir::%s;\n' "State::Lists \"$scratch/lists\"" 'Cache::pkgcache ""' 'Cache::srcpkgcache ""' >>"$scratch/apt.conf"

status=0
out=$(runuser -u "$user" -- env APT_CONFIG="$scratch/apt.conf" bash -c \
  'source "$1/tools/packages.sh" && EnsurePackages '$probe - "$scratch" 2>&1) || status=$?
for line in "Installing them with sudo" "1 packages to install" "Installed in"; do
  [[ $status -eq 0 ]] && grep -q "^$line" <<<"$out" || fail "status $status, or no \"$line\": $out"
done
dpkg-query -W -f='${Status}' $probe | grep -q "install ok installed" || fail "$probe is not installed"
[[ -z $(find /tmp -maxdepth 1 -user "$user") ]] || fail "left behind: $(find /tmp -maxdepth 1 -user "$user")"
echo "PASS"
