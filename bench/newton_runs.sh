#!/usr/bin/env bash
# Whole runs of velmora --method newton on the models of its targets: wall
# time (the least of several runs), peak memory, iterations, and the verdict;
# with --loaded the same runs again while a second process keeps both cores
# busy, and the ratio of the two times.
#
# usage: bench/newton_runs.sh [--loaded] [--runs N] [MODEL ...]
#   small       a cantilever of 500 triangles under an end load (tolerance 1e-9);
#               with hyperfine installed also the mean of 100 runs, in ms
#   cantilever  the cantilever 10 x 1 (mu 1, bulk 10, t 0.5, end load -0.002)
#               of 81 920 triangles, tolerance 1e-9
#   plate       the plate with a hole of examples/plate_with_hole, meshed to
#               about 20 000 triangles and pulled 70 % (its right edge moved by
#               14), bulk 5, tolerance 1e-9 (needs velmora-mesh with gmsh)
#   strip       the strip of 10^6 triangles stretched by 20 %, tolerance 1e-8,
#               then 1e-9; the exact answer is a homogeneous stretch
#   strip10m    the strip of 10^7 triangles (3162 x 1581 cells), tolerance 1e-8
#   arch        the shallow arch of velmora-mesh arch pressed at its crown
#               beyond its limit load, traced through the limit point by
#               --path arclength to 1e-10, against load increments on the
#               cantilever of as many triangles (cells x layers), 160 to 10 240
#   all         small cantilever plate strip (the default)
#   --loaded    also run each model beside two busy loops (one per core)
#   --runs N    runs per model and setting, the least time kept (default 3; 1
#               for the strips)
# The build directory is build/bench (or $VELMORA_BENCH_BUILD).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BENCH_BUILD:-$root/build/bench}
loaded=0
runs=3
models=()
while [ $# -gt 0 ]; do
  case $1 in
    --loaded) loaded=1 ;;
    --runs) runs=$2; shift ;;
    small | cantilever | plate | strip | strip10m | arch) models+=("$1") ;;
    all) models+=(small cantilever plate strip) ;;
    *) echo "usage: $0 [--loaded] [--runs N] [small|cantilever|plate|strip|strip10m|arch|all ...]" >&2; exit 2 ;;
  esac
  shift
done
[ ${#models[@]} -gt 0 ] || models=(small cantilever plate strip)
[ -x /usr/bin/time ] || { echo "$0: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DVELMORA_BENCHMARKS=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target velmora velmora-mesh -j2 >/dev/null
velmora='' velmora_mesh='' step_times=''
# shellcheck source=/dev/null
. "$build/bench/programs.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-newton-XXXXXX")
busy=()
stop_busy() { [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null || true; busy=(); }
trap 'stop_busy; rm -rf "$work"' EXIT

field() { sed -n "s/^[[:space:]]*$1: //p" "$2"; }
seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.3f", s }' <<<"$1"; }

# best DIR ELEMENTS N [OPTION ...]: N runs in DIR of velmora --method newton
# with the options, the least wall time in best_time, the peak memory and
# verdict of that run in best_line.
best() {
  local dir=$1 elements=$2 n=$3 k t rss
  shift 3
  best_time=''
  for ((k = 0; k < n; k++)); do
    (cd "$dir" && /usr/bin/time -v -o time.txt "$velmora" --method newton "$@" >stdout.txt 2>stderr.txt) ||
      { echo "velmora failed:"; cat "$dir/stderr.txt"; return 1; }
    t=$(seconds "$(field 'Elapsed (wall clock) time (h:mm:ss or m:ss)' "$dir/time.txt")")
    if [ -z "$best_time" ] || awk -v a="$t" -v b="$best_time" 'BEGIN { exit !(a < b) }'; then
      best_time=$t
      rss=$(field 'Maximum resident set size (kbytes)' "$dir/time.txt")
      best_line=$(printf '%8.0f bytes per element, %s' "$(awk -v k="$rss" -v e="$elements" 'BEGIN { print k * 1024 / e }')" \
        "$(tr -s ' \n' ' ' <"$dir/stdout.txt")")
    fi
  done
}

# measure NAME DIR ELEMENTS N [OPTION ...]: the quiet line, and with
# --loaded the loaded one.
measure() {
  local name=$1 dir=$2 elements=$3 n=$4 quiet
  shift 4
  best "$dir" "$elements" "$n" "$@"
  quiet=$best_time
  printf '  %-28s %9.3f s  %s\n' "$name" "$quiet" "$best_line"
  grep -v '^$' "$dir/stderr.txt" | sed 's/^/      stderr: /' || true
  if [ $loaded -eq 1 ]; then
    for _ in 1 2; do sh -c 'while :; do :; done' & busy+=($!); done
    best "$dir" "$elements" "$n" "$@"
    stop_busy
    printf '  %-28s %9.3f s  (%.2f times the quiet run)\n' "  beside two busy loops" "$best_time" \
      "$(awk -v a="$best_time" -v b="$quiet" 'BEGIN { print a / b }')"
  fi
}

# The exact answer of the strips: node (x, y) moves by (0.2 x, (l2 - 1) y),
# l2 = 0.8390030505 the lateral stretch that frees the sides (nodes numbered
# row by row, COLUMNS + 1 to a row, DX apart in x and in y).
strip_error() {
  awk -v cols="$2" -v dx="$3" '/^ Node +Displ X/ { f = 1; skip = 1; next } skip { skip = 0; next } f && NF != 4 { f = 0 } f {
         k = $1 - 1; x = (k % (cols + 1)) * dx; y = int(k / (cols + 1)) * dx
         e = $2 - 0.2 * x; if (e < 0) e = -e; if (e > ex) ex = e
         e = $3 + 0.1609969495 * y; if (e < 0) e = -e; if (e > ey) ey = e }
       END { printf "      against the homogeneous stretch: largest error %.3g in x, %.3g in y\n", ex, ey }' "$1"
}

echo "== $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $(date -u +%Y-%m-%dT%H:%MZ)"
for model in "${models[@]}"; do
  dir=$work/$model
  mkdir -p "$dir"
  case $model in
    small)
      "$velmora_mesh" --nx 50 --ny 5 --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 --load-y -0.002 \
        --tolerance 1e-9 --max-iterations 200 -o "$dir/input.txt" 2>/dev/null
      measure "cantilever, 500 triangles" "$dir" 500 $((runs * 3))
      # /usr/bin/time counts in 10 ms; hyperfine, where installed, in microseconds.
      if command -v hyperfine >/dev/null; then
        (cd "$dir" && hyperfine -N -w 10 -r 100 --export-json hyperfine.json "$velmora --method newton" >/dev/null 2>&1)
        /usr/bin/python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))["results"][0]
print("      hyperfine, 100 runs: mean %.1f ms, least %.1f ms" % (1e3 * r["mean"], 1e3 * r["min"]))' "$dir/hyperfine.json"
      fi
      ;;
    cantilever)
      "$velmora_mesh" --nx 640 --ny 64 --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 --load-y -0.002 \
        --tolerance 1e-9 --max-iterations 200 -o "$dir/input.txt" 2>/dev/null
      measure "cantilever, 81 920 triangles" "$dir" 81920 "$runs"
      ;;
    plate)
      sed -e 's/^size_far = .*/size_far = 0.207;/' -e 's/^size_hole = .*/size_hole = 0.0622;/' \
        -e 's/^Physical Curve("load x 3").*/Physical Curve("move x 14") = {2, 3};/' \
        "$root/examples/plate_with_hole/plate_with_hole.geo" >"$dir/plate.geo"
      (cd "$dir" && "$velmora_mesh" import plate.geo --bulk 5 --tolerance 1e-9 -o input.txt 2>/dev/null)
      elements=$(awk '/^:/ { s++ } s == 4 && !n { getline; n = $1 } END { print n }' "$dir/input.txt")
      measure "plate with a hole, 70 %" "$dir" "$elements" "$runs"
      ;;
    arch)
      for cells in "40 2" "80 4" "160 8" "320 16"; do
        read -r nx ny <<<"$cells"
        elements=$((2 * nx * ny))
        mkdir -p "$dir/a$elements" "$dir/m$elements"
        "$velmora_mesh" arch --cells "$nx" --layers "$ny" --force 0.03 -o "$dir/a$elements/input.txt" 2>/dev/null
        measure "arch, $elements triangles" "$dir/a$elements" "$elements" "$runs" --path arclength \
          --history history.csv
        echo "      $(($(wc -l <"$dir/a$elements/history.csv") - 1)) increments of the path"
        "$velmora_mesh" --nx "$nx" --ny "$ny" --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 \
          --load-y -0.002 --tolerance 1e-9 --max-iterations 200 -o "$dir/m$elements/input.txt" 2>/dev/null
        measure "cantilever, $elements triangles" "$dir/m$elements" "$elements" "$runs"
      done
      ;;
    strip | strip10m)
      if [ "$model" = strip ]; then nx=1000 ny=500; else nx=3162 ny=1581; fi
      for tolerance in 1e-8 1e-9; do
        [ "$model" = strip10m ] && [ $tolerance = 1e-9 ] && continue
        "$velmora_mesh" --nx $nx --ny $ny --length 10 --height 5 --stretch 2 --tolerance $tolerance \
          -o "$dir/input.txt" 2>/dev/null
        measure "strip $((2 * nx * ny)), tolerance $tolerance" "$dir" $((2 * nx * ny)) "${STRIP_RUNS:-1}"
        strip_error "$dir/output.txt" $nx "$(awk -v n=$nx 'BEGIN { print 10 / n }')"
      done
      ;;
  esac
done
