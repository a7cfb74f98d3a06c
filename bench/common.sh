# What the benchmark scripts share: the tools compared against (installed for
# the benchmarks only), the build, and interleaved timing. Sourced, not run.

# bench_setup PACKAGE...: installs what is missing, the project's own
# dependencies, and builds; sets BUILD and a WORK folder removed at exit.
bench_setup() {
  local need=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
  done
  if [ ${#need[@]} -gt 0 ]; then
    local SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
  fi
  scripts/install-deps
  scripts/build >/dev/null
  BUILD="${QUORIX_BUILD_DIR:-build}"
  WORK="$(mktemp -d)"
  trap 'rm -rf "$WORK"' EXIT
}

# bench_rounds RUNS NAME...: runs the commands cmd[NAME] once each per round,
# in turn, so that a machine that speeds up or slows down touches them all
# alike; the times, in milliseconds, go into times[NAME].
declare -A cmd=() times=()
bench_rounds() {
  local runs="$1" n start end
  shift
  for _ in $(seq 1 "$runs"); do
    for n in "$@"; do
      start=$(date +%s%N)
      eval "${cmd[$n]}" >/dev/null 2>&1
      end=$(date +%s%N)
      times[$n]+="$(( (end - start) / 1000000 )) "
    done
  done
}

median() { printf '%s\n' ${times[$1]} | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
size() { stat -c %s "$1"; }
# peak_kb COMMAND...: the command's peak resident memory in KB.
peak_kb() { /usr/bin/time -f '%M' -o "$WORK/.peak" "$@" >/dev/null 2>&1; cat "$WORK/.peak"; }
