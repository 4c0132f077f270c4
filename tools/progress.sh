# Sourced by the project's scripts: short progress lines for the long steps
# of a first run (installing packages, building).

# Reads lines "PERCENT<tab>LABEL" and shows them as "LABEL NN%": in place on
# a terminal; otherwise one line at each tenth and at least one every 10 s,
# so that a log never goes quiet for long. Figures only go forward (each
# target of a build starts again from its own).
ShowProgress() {
  local percent label shown="" last=-10 printed=-10 at=$SECONDS status wait
  while true; do
    wait=$((at + 10 - SECONDS))
    ((wait > 0)) || wait=1
    IFS=$'\t' read -r -t "$wait" percent label && status=0 || status=$?
    ((status <= 128)) || percent=$last label=$shown
    ((status == 0 || status > 128)) || break
    percent=${percent%%.*}
    [[ $percent =~ ^[0-9]+$ ]] || continue
    if [[ $label != "$shown" ]]; then
      [[ -t 1 && -n $shown ]] && printf '\n'
      shown=$label last=-10 printed=-10
    fi
    ((percent > last || status > 128)) || continue
    last=$percent
    if [[ -t 1 ]]; then
      printf '\r%s %3d%%' "$label" "$percent"
      at=$SECONDS
    elif ((percent / 10 != printed / 10 || SECONDS - at >= 10 || status > 128)); then
      printf '%s %3d%%\n' "$label" "$percent"
      printed=$percent at=$SECONDS
    fi
  done
  [[ -t 1 && -n $shown ]] && printf '\n'
  return 0
}

# Builds TARGETs (all when none) in the configured build directory DIR.
# Make's own lines give way to "Building in DIR/ NN%"; a build with nothing
# to do prints nothing. Compiler messages still go to stderr.
BuildTargets() {
  local dir=$1 line
  shift
  local targets=()
  (($# == 0)) || targets=(--target "$@")
  local -
  set -o pipefail
  cmake --build "$dir" -j "$(nproc)" "${targets[@]}" |
    while IFS= read -r line; do
      # "[ 42%] Building CXX object ...", "Linking ...", "Writing ...", but
      # not "Built target ...", which is all an up-to-date build says.
      if [[ $line =~ ^\[\ *([0-9]+)%\]\ (.*) && ${BASH_REMATCH[2]} != "Built target "* ]]; then
        printf '%s\tBuilding in %s/\n' "${BASH_REMATCH[1]}" "$dir"
      fi
    done | ShowProgress
}

# Configures the build directory DIR with the cmake ARGs, saying so the first
# time (it takes a while); later runs are quiet.
ConfigureBuild() {
  local dir=$1
  shift
  [[ -f $dir/CMakeCache.txt ]] || echo "Configuring the build in $dir/ ..."
  cmake -S . -B "$dir" "$@" >/dev/null
}
