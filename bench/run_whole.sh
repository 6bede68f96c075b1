#!/usr/bin/env bash
# Whole runs of velmora on generated strips: wall time, CPU time, peak memory
# and page faults of the program (/usr/bin/time -v), then the same run through
# step_times for the seconds of each step, whose files must equal the
# program's byte for byte.
#
# usage: bench/run_whole.sh [--keep] [ELEMENTS ...]
#   ELEMENTS  10000, 100000 or 1000000 (default: 100000 1000000)
#   --keep    leave the run directories (printed) instead of removing them
# The build directory is build/bench (or $VELMORA_BENCH_BUILD); it is
# configured (Release, benchmarks on) when it does not exist yet.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BENCH_BUILD:-$root/build/bench}
keep=0
sizes=()
for arg in "$@"; do
  case $arg in
    --keep) keep=1 ;;
    10000 | 100000 | 1000000) sizes+=("$arg") ;;
    *) echo "usage: $0 [--keep] [10000|100000|1000000 ...]" >&2; exit 2 ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)

[ -x /usr/bin/time ] || { echo "$0: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DVELMORA_BENCHMARKS=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target velmora velmora-mesh step_times -j2 >/dev/null
velmora='' velmora_mesh='' step_times=''
# shellcheck source=/dev/null
. "$build/bench/programs.sh"   # sets velmora, velmora_mesh, step_times
for program in "$velmora" "$velmora_mesh" "$step_times"; do
  [ -x "$program" ] || { echo "$0: $program was not built" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-whole-XXXXXX")
if [ $keep -eq 1 ]; then echo "run directories in $work"; else trap 'rm -rf "$work"' EXIT; fi

# The strips of the benchmarks (bench/bench_models.cpp): unit square cells,
# the end x = 0 held in x, every z held, the other end pulled by x forces of
# 0.01 per unit height; 20 iterations of the minimiser.
shape() {
  case $1 in
    10000) echo "100 50" ;;
    100000) echo "250 200" ;;
    1000000) echo "1000 500" ;;
  esac
}

# Seconds from /usr/bin/time's "h:mm:ss" or "m:ss.ss".
seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$1"; }
field() { sed -n "s/^[[:space:]]*$1: //p" "$2"; }

status=0
declare -A wall
for elements in "${sizes[@]}"; do
  read -r nx ny <<<"$(shape "$elements")"
  load=$(awk -v ny="$ny" 'BEGIN { printf "%.17g", 0.01 * ny }')
  dir=$work/$elements
  mkdir -p "$dir/velmora" "$dir/steps"
  "$velmora_mesh" --nx "$nx" --ny "$ny" --load-x "$load" --max-iterations 20 -o "$dir/velmora/input.txt"
  cp "$dir/velmora/input.txt" "$dir/steps/input.txt"

  echo "== $elements elements ($nx x $ny cells), input.txt $(stat -c %s "$dir/velmora/input.txt") bytes"
  (cd "$dir/velmora" && /usr/bin/time -v -o ../time.txt "$velmora" >stdout.txt 2>stderr.txt) || {
    echo "velmora failed:"; cat "$dir/velmora/stderr.txt"; status=1; continue; }
  elapsed=$(seconds "$(field 'Elapsed (wall clock) time (h:mm:ss or m:ss)' "$dir/time.txt")")
  user=$(field 'User time (seconds)' "$dir/time.txt")
  sys=$(field 'System time (seconds)' "$dir/time.txt")
  rss_kb=$(field 'Maximum resident set size (kbytes)' "$dir/time.txt")
  faults=$(field 'Minor (reclaiming a frame) page faults' "$dir/time.txt")
  wall[$elements]=$elements:$elapsed
  out_bytes=$(cat "$dir/velmora"/{ansys.txt,autocad.scr,output.txt} | wc -c)
  printf 'velmora   %8.2f s wall, %.2f s user, %.2f s system; peak %.1f MB = %.0f bytes per element; %.1f MB written; %d page faults\n' \
    "$elapsed" "$user" "$sys" "$(awk -v k="$rss_kb" 'BEGIN { print k * 1024 / 1e6 }')" \
    "$(awk -v k="$rss_kb" -v e="$elements" 'BEGIN { print k * 1024 / e }')" \
    "$(awk -v b="$out_bytes" 'BEGIN { print b / 1e6 }')" "$faults"
  tr -d '\n' <"$dir/velmora/stdout.txt"; echo
  [ -s "$dir/velmora/stderr.txt" ] && sed 's/^/velmora stderr: /' "$dir/velmora/stderr.txt"

  echo "-- per step (step_times, the same steps with a clock between them)"
  "$step_times" "$dir/steps" >"$dir/steps/stdout.txt" 2>"$dir/steps/times.txt" || {
    echo "step_times failed:"; cat "$dir/steps/times.txt"; status=1; continue; }
  cat "$dir/steps/times.txt"
  same=yes
  for f in ansys.txt autocad.scr output.txt stdout.txt; do
    cmp -s "$dir/velmora/$f" "$dir/steps/$f" || { echo "DIFFERENT: $f"; same=no; status=1; }
  done
  echo "files byte-identical to velmora's: $same"
done

if [ -n "${wall[100000]:-}" ] && [ -n "${wall[1000000]:-}" ]; then
  awk -v a="${wall[100000]#*:}" -v b="${wall[1000000]#*:}" \
    'BEGIN { if (a > 0) printf "== growth 10^5 -> 10^6 elements: %.2f times the wall time\n", b / a }'
fi
exit $status
