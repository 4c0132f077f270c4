# Sourced by the project's scripts: installs the Debian packages the project
# needs when any is missing, with sudo when not root.
MIVO_PACKAGES=(
  cmake make g++ pkg-config
  libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl1 libegl-mesa0
  libgtest-dev libbenchmark-dev libx11-dev libxdamage-dev
  xvfb xfonts-base xdotool x11-utils x11-apps imagemagick python3-xlib desktop-file-utils
)

EnsurePackages() {
  local missing=()
  local package
  for package in "${MIVO_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
