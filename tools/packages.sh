# Sourced by the project's scripts: installs the Debian packages the project
# needs when any is missing, with sudo when not root, and says what it is
# doing. Without root and without sudo it names the command to run as root.
MIVO_PACKAGES=(
  cmake make g++ pkg-config
  libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl1 libegl-mesa0 libstb-dev
  libgtest-dev libbenchmark-dev libx11-dev libxdamage-dev
  xvfb xfonts-base xdotool x11-utils x11-apps imagemagick python3-xlib
  desktop-file-utils shared-mime-info dpkg-dev file  # the desktop install, the .deb
)
source "$(dirname "${BASH_SOURCE[0]}")/progress.sh"

# EnsurePackages [PACKAGE...]: the project's packages and these.
EnsurePackages() {
  local missing=() package
  for package in "${MIVO_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  ((${#missing[@]} > 0)) || return 0
  local by_hand="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  echo "Missing Debian packages: ${missing[*]}"
  local root=()
  if ((EUID != 0)); then
    if ! command -v sudo >/dev/null; then
      echo "Installing them needs root, and there is no sudo here. As root, run" >&2
      echo "  $by_hand" >&2
      echo "and then this script again." >&2
      return 1
    fi
    echo "Installing them with sudo, which may ask for your password."
    # A user sudo does not allow would see its prompt and then only a failed
    # apt-get: ask it first.
    if ! sudo -v; then
      echo "sudo does not let you install them (its reason is above). As root, run" >&2
      echo "  $by_hand" >&2
      echo "and then this script again." >&2
      return 1
    fi
    root=(sudo)
  fi

  # apt-get's log lies in a folder of the user's own: root may not open a
  # file of the user's in /tmp itself (fs.protected_regular, which Debian sets).
  local log started=$SECONDS
  log=$(mktemp -d /tmp/mivo-apt.XXXXXX)/apt-get.log
  local -
  set -o pipefail
  echo "Updating the package lists ..."
  if _MivoApt "  package lists" update; then
    # From "294 newly installed", "Need to get 189 MB of archives." and
    # "After this operation, 727 MB of additional disk space will be used."
    local size
    size=$(LC_ALL=C apt-get install --print-uris -y --no-install-recommends "${missing[@]}" 2>/dev/null |
      sed -n -e 's/^.* \([0-9][0-9]*\) newly installed.*$/\1 packages to install: /p' \
        -e 's/^Need to get \(.*\) of archives\.$/\1 to download, /p' \
        -e 's/^After this operation, \(.*\) of additional.*$/\1 on disk./p' | tr -d '\n') || true
    [[ -z $size ]] || echo "$size"
    _MivoApt "  downloading" install -y --no-install-recommends "${missing[@]}" && {
      echo "Installed in $((SECONDS - started)) s."
      rm -rf "${log%/*}"
      return 0
    }
  fi
  echo "apt-get failed; the end of its output (all of it in $log):" >&2
  tail -n 15 "$log" >&2
  echo "To install the packages by hand, as root: $by_hand" >&2
  return 1
}

# Runs apt-get ARG... as root (EnsurePackages' root and log): its output goes
# to the log, and its status lines (APT::Status-Fd) become lines of progress,
# "LABEL NN%" while it downloads, "  installing NN%" while it unpacks.
_MivoApt() {
  local label=$1
  shift
  "${root[@]}" env DEBIAN_FRONTEND=noninteractive LC_ALL=C sh -c \
    'exec apt-get -q -o APT::Status-Fd=3 "$@" 3>&1 >>"$0" 2>&1 </dev/null' "$log" "$@" |
    while IFS=: read -r kind _ percent _; do
      case $kind in
        dlstatus) printf '%s\t%s\n' "$percent" "$label" ;;
        pmstatus) printf '%s\t  installing\n' "$percent" ;;
      esac
    done | ShowProgress
}
