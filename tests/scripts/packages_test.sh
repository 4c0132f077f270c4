#!/usr/bin/env bash
# EnsurePackages, from a copy of the scripts in a scratch folder (so the
# checkout may lie where other users cannot read, as in /root):
#   no-sudo  Without root and without sudo it tries nothing: it names the
#            missing package and the command to run as root, and fails. Run
#            as root, the check runs as nobody, on a PATH without sudo.
#   sudo     A user with password-less sudo installs a package while
#            fs.protected_regular is 2, as on a stock Debian 12: root may then
#            not open a file of that user's in /tmp. The package is
#            coreutils=ITS_VERSION, which dpkg-query does not know by that
#            name and apt-get installs at once; apt reads no package lists but
#            the test's own empty ones (APT_CONFIG). A user whom sudo refuses
#            is told so, with the command for root, and nothing is tried.
#            Needs root, sudo and a writable sysctl; skips (77) without them.
#
#   bash tests/scripts/packages_test.sh no-sudo|sudo
source "$(dirname "$0")/../e2e/lib.sh"
cp -r "$(dirname "$0")/../../tools" "$scratch"
chmod -R go+rX "$scratch" && cd "$scratch"

if [[ $1 == no-sudo ]]; then
  mkdir bin && for tool in bash dirname dpkg-query grep; do ln -s "$(command -v "$tool")" bin; done
  as=() && ((EUID != 0)) || as=(runuser -u nobody --)
  ! out=$("${as[@]}" env -i PATH="$scratch/bin" bash -c \
    'source tools/packages.sh && EnsurePackages mivo-no-such-package' 2>&1) &&
    grep -q "^  apt-get update && apt-get install -y .*mivo-no-such-package" <<<"$out" ||
    fail "not a failure naming the package and the command for root: $out"
  exit 0
fi

skip() { echo "Skipped: $*" && exit 77; }
((EUID == 0)) && command -v sudo >/dev/null || skip "making a user with sudo needs root and sudo"
old=$(sysctl -n fs.protected_regular) || skip "no fs.protected_regular here"
user=mivo-sudo-$$ refused=mivo-nosudo-$$
trap 'sysctl -qw fs.protected_regular=$old; rm -f /etc/sudoers.d/$user
  find /tmp -maxdepth 1 -user $user -exec rm -rf {} +; userdel $user 2>/dev/null
  userdel $refused 2>/dev/null; rm -rf "$scratch"' EXIT
sysctl -qw fs.protected_regular=2 2>/dev/null || skip "fs.protected_regular cannot be set here"
useradd -M -d "$scratch" "$user"
printf '%s ALL=(ALL) NOPASSWD: ALL\nDefaults:%s env_keep += APT_CONFIG\n' "$user" "$user" >"/etc/sudoers.d/$user"
mkdir -p lists/partial
printf '%s;\n' 'Dir::Etc::SourceList "/dev/null"' 'Dir::Etc::SourceParts "/none"' "Dir::State::Lists \"$scratch/lists\"" \
  'Dir::Cache::pkgcache ""' 'Dir::Cache::srcpkgcache ""' >apt.conf

probe=coreutils=$(dpkg-query -W -f='${Version}' coreutils)
out=$(runuser -u "$user" -- env APT_CONFIG="$scratch/apt.conf" bash -c \
  "source tools/packages.sh && EnsurePackages $probe" 2>&1) || fail "status $?: $out"
[[ -z $(find /tmp -maxdepth 1 -user "$user") ]] || fail "left behind: $(find /tmp -maxdepth 1 -user "$user")"

useradd -M -d "$scratch" "$refused"
! out=$(runuser -u "$refused" -- bash -c "source tools/packages.sh && EnsurePackages $probe" 2>&1 </dev/null) &&
  grep -q "^sudo does not let you install them" <<<"$out" &&
  grep -q "^  apt-get update && apt-get install -y .*coreutils=" <<<"$out" && ! grep -q "apt-get failed" <<<"$out" ||
  fail "a user sudo refuses: $out"
