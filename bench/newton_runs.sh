#!/usr/bin/env bash
# Whole runs of velmora --method newton (and, for comparison, of the default
# L-BFGS run) on generated models: wall time, peak memory, the verdict and
# the factorisations of each run.
#
# usage: bench/newton_runs.sh [--lbfgs] [cantilever|strip|arch|all]
#   cantilever  the 10 x 1 neo-Hookean cantilever (mu 1, bulk 10, t 0.5)
#               under a dead end load, 320 to 20 480 triangles, Newton to
#               1e-9 of the start residue
#   arch        the shallow arch of velmora-mesh arch pressed at its crown
#               beyond its limit load, traced through the limit point by
#               --path arclength, against load increments on the cantilever
#               of as many triangles (cells x layers), 160 to 10 240
#   strip       the 10^6-triangle strip stretched by 20 % (exact answer: a
#               homogeneous stretch), tolerance 1e-8 ($STRIP_TOLERANCE)
#   --lbfgs     also runs the default method on the cantilevers, to 1e-6
# The build directory is build/bench (or $VELMORA_BENCH_BUILD).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BENCH_BUILD:-$root/build/bench}
lbfgs=0
which=all
for arg in "$@"; do
  case $arg in
    --lbfgs) lbfgs=1 ;;
    cantilever | strip | arch | all) which=$arg ;;
    *) echo "usage: $0 [--lbfgs] [cantilever|strip|arch|all]" >&2; exit 2 ;;
  esac
done
[ -x /usr/bin/time ] || { echo "$0: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DVELMORA_BENCHMARKS=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target velmora velmora-mesh -j2 >/dev/null
velmora='' velmora_mesh='' step_times=''
# shellcheck source=/dev/null
. "$build/bench/programs.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-newton-XXXXXX")
trap 'rm -rf "$work"' EXIT

field() { sed -n "s/^[[:space:]]*$1: //p" "$2"; }
seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$1"; }

# run DIR ELEMENTS ARGS...: one run of velmora in DIR, one line of figures.
run() {
  local dir=$1 elements=$2
  shift 2
  (cd "$dir" && /usr/bin/time -v -o time.txt "$velmora" "$@" >stdout.txt 2>stderr.txt) || {
    echo "velmora $* failed:"; cat "$dir/stderr.txt"; return 1; }
  local rss_kb
  rss_kb=$(field 'Maximum resident set size (kbytes)' "$dir/time.txt")
  printf '  %-22s %8.2f s, peak %7.1f MB = %5.0f bytes per element: %s\n' "${*:-lbfgs}" \
    "$(seconds "$(field 'Elapsed (wall clock) time (h:mm:ss or m:ss)' "$dir/time.txt")")" \
    "$(awk -v k="$rss_kb" 'BEGIN { print k * 1024 / 1e6 }')" \
    "$(awk -v k="$rss_kb" -v e="$elements" 'BEGIN { print k * 1024 / e }')" \
    "$(tr -s ' \n' ' ' <"$dir/stdout.txt")"
  grep -v '^$' "$dir/stderr.txt" | sed 's/^/    stderr: /' || true
}

if [ "$which" = arch ] || [ "$which" = all ]; then
  echo "== arch of span 10, rise 0.4, depth 0.2 pressed by 0.03 (limit about 0.0226), arc-length to 1e-10;"
  echo "   cantilever 10 x 1 of as many triangles, end load -0.002, load increments to 1e-9"
  for cells in "40 2" "80 4" "160 8" "320 16"; do
    read -r nx ny <<<"$cells"
    elements=$((2 * nx * ny))
    echo "-- $elements triangles"
    mkdir -p "$work/a$elements" "$work/m$elements"
    "$velmora_mesh" arch --cells "$nx" --layers "$ny" --force 0.03 -o "$work/a$elements/input.txt" 2>/dev/null
    run "$work/a$elements" "$elements" --method newton --path arclength --history history.csv
    echo "    $(($(wc -l <"$work/a$elements/history.csv") - 1)) increments"
    "$velmora_mesh" --nx "$nx" --ny "$ny" --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 \
      --load-y -0.002 --tolerance 1e-9 --max-iterations 200 -o "$work/m$elements/input.txt" 2>/dev/null
    run "$work/m$elements" "$elements" --method newton
  done
fi

if [ "$which" = cantilever ] || [ "$which" = all ]; then
  echo "== cantilever 10 x 1, neo-Hookean mu 1 bulk 10, t 0.5, end load -0.002 in y"
  for cells in "40 4" "80 8" "160 16" "320 32"; do
    read -r nx ny <<<"$cells"
    elements=$((2 * nx * ny))
    echo "-- $elements triangles"
    mkdir -p "$work/c$elements"
    "$velmora_mesh" --nx "$nx" --ny "$ny" --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 \
      --load-y -0.002 --tolerance 1e-9 --max-iterations 200 -o "$work/c$elements/input.txt"
    run "$work/c$elements" "$elements" --method newton
    if [ $lbfgs -eq 1 ]; then
      "$velmora_mesh" --nx "$nx" --ny "$ny" --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 \
        --load-y -0.002 --tolerance 1e-6 --max-iterations 200000 -o "$work/c$elements/input.txt"
      run "$work/c$elements" "$elements"
    fi
  done
fi

if [ "$which" = strip ] || [ "$which" = all ]; then
  echo "== strip 1000 x 500 cells (10^6 triangles), stretched by 2 over the length 10, tolerance ${STRIP_TOLERANCE:-1e-8}"
  mkdir -p "$work/strip"
  "$velmora_mesh" --nx 1000 --ny 500 --length 10 --height 5 --stretch 2 --tolerance "${STRIP_TOLERANCE:-1e-8}" \
    -o "$work/strip/input.txt"
  run "$work/strip" 1000000 --method newton
  # The exact answer is a homogeneous stretch: node (x, y) moves by 0.2 x in
  # x and by (l2 - 1) y in y, l2 = 0.8390030505 the lateral stretch that
  # frees the sides (nodes numbered row by row, 0.01 apart).
  awk '/^ Node +Displ X/ { f = 1; skip = 1; next } skip { skip = 0; next } f && NF != 4 { f = 0 } f {
         k = $1 - 1; x = (k % 1001) * 0.01; y = int(k / 1001) * 0.01
         e = $2 - 0.2 * x; if (e < 0) e = -e; if (e > ex) ex = e
         e = $3 + 0.1609969495 * y; if (e < 0) e = -e; if (e > ey) ey = e }
       END { printf "  against the homogeneous stretch: largest error %.3g in x, %.3g in y\n", ex, ey }' \
    "$work/strip/output.txt"
fi
