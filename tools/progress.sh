# Sourced by the project's scripts: short progress lines for the long steps
# of a first run (installing packages, building).

# Reads lines "PERCENT<tab>LABEL" and shows them as "LABEL NN%": in place on
# a terminal; otherwise one line at each tenth, and at least every 10 s while
# the figure moves, so that a log never goes quiet for long. Figures only go
# forward (each target of a build starts again from its own).
ShowProgress() {
  local percent label shown="" last=-10 at=$SECONDS
  while IFS=$'\t' read -r percent label; do
    percent=${percent%%.*}
    if [[ $label != "$shown" ]]; then
      [[ -t 1 && -n $shown ]] && printf '\n'
      shown=$label
      last=-10
    fi
    ((percent > last)) || continue
    if [[ -t 1 ]]; then
      printf '\r%s %3d%%' "$label" "$percent"
    elif ((percent / 10 != last / 10 || SECONDS - at >= 10)); then
      printf '%s %3d%%\n' "$label" "$percent"
      at=$SECONDS
    fi
    last=$percent
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
