#!/usr/bin/env bash
# velmora --method newton against FEniCSx on the same meshes, with the same
# stopping test, at equal accuracy.
#
# usage: bench/peer/compare.sh [small|all|strip4|strip5|strip6|cantilever]...
#   small       the strips of 10^4 and 10^5 triangles (a quick check, 1 to 2 minutes)
#   all         (default) the strips of 10^4, 10^5 and 10^6 triangles and the
#               cantilever of 81 920 triangles (15 to 30 minutes on 2 vCPUs,
#               most of it FEniCSx on the 10^6 strip: 12 solves of 35 to 55 s)
#   strip4, strip5, strip6, cantilever   one model each
#
# Models, written by velmora-mesh:
#   strip N     --nx NX --ny NY --length 10 --height 5 --stretch 2 --tolerance 1e-9
#               NX x NY = 100 x 50 (10^4 triangles), 316 x 158 (99 856), 1000 x 500 (10^6);
#               the exact answer is the homogeneous stretch (node (x, y) moves by
#               (0.2 x, (l2 - 1) y), l2 the lateral stretch that frees the sides)
#   cantilever  --nx 640 --ny 64 --length 10 --height 1 --mu 1 --bulk 10
#               --thickness 0.5 --load-y -0.002 --tolerance 1e-9 --max-iterations 200
#
# What is timed, for each model:
#   velmora   the whole run, `velmora --method newton` in the model's directory
#             (reading, set-up, Newton, the three files), wall time by
#             /usr/bin/time, the least of $REPEATS runs (each a new process)
#   FEniCSx   bench/peer/fenicsx_solve.py: the SNES solve call alone (Newton
#             with MUMPS), without Python's start-up, the mesh, the forms and
#             their JIT compilation; $REPEATS solves from zero in one process,
#             each with a new SNES and so a new MUMPS analysis; the least
# The ratio is FEniCSx's solve time over velmora's whole run.
#
# Accuracy: both stop at velmora's test, the largest out-of-balance force at a
# free degree of freedom at most tolerance x the same at the start point
# (1e-9 here). For the strips the table gives each code's largest nodal
# displacement error against the closed form (velmora's from output.txt,
# printed with 9 significant digits, so its figures include up to half a unit
# of the last digit: 5e-10 for |u| < 1, 5e-9 for 1 <= |u| < 10; in brackets
# the error beyond that rounding, a lower bound); for every model the largest
# difference between the two codes' displacements (velmora's as printed). A
# strip is at equal accuracy ("both within") when FEniCSx's error and
# velmora's lower bound are within $ACCURACY (default 4e-9): output.txt cannot
# show more, so a "yes" holds to its print precision, a "no" for certain.
#
# FEniCSx is given its best: each of the MUMPS orderings that Debian's
# MUMPS 5.5 offers for this (AMD and PORD; it is built without METIS and
# SCOTCH) and each OpenBLAS thread count of $PEER_OPENBLAS_THREADS, the least
# time of all; the table names the setting that gave it.
#
# One process at a time; MUMPS and PETSc run as one process without an MPI
# launcher. Threads: velmora runs with the environment as given (OpenBLAS
# and CHOLMOD's OpenMP at their defaults unless set: one thread per core);
# FEniCSx with OPENBLAS_NUM_THREADS and OMP_NUM_THREADS set to each of
# $PEER_OPENBLAS_THREADS in turn (default "1 2"), one process each. The
# table's header states both.
#
# Environment:
#   REPEATS=3                   runs of velmora and solves of FEniCSx per model
#   ACCURACY=4e-9               the error against the closed form both must meet
#   VELMORA_TOLERANCE=1e-9      velmora's tolerance (FEniCSx keeps 1e-9): a
#                               tighter one shows velmora's time at equal
#                               accuracy where 1e-9 stops it short of it
#   VELMORA, VELMORA_MESH       the programs (default build/release/...; built if missing)
#   PEER_OPENBLAS_THREADS="1 2" OpenBLAS (and OpenMP) threads of the FEniCSx
#                               processes, one process per value
#   PEER_ARGS=                  more arguments for fenicsx_solve.py, e.g.
#                               "--ordering pord" (instead of amd,pord) or
#                               "-- -log_view" (PETSc's timings, in fenicsx-*.log)
#   WORK=DIR                    keep the models and logs in DIR (default: a
#                               temporary directory, removed at the end)
#
# Needs Debian's python3-dolfinx (for /usr/bin/python3) and /usr/bin/time.
# Output: progress lines, then a Markdown table on standard output; the same
# table is written to $WORK/table.md when WORK is given.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
peer=$root/bench/peer
python=/usr/bin/python3
velmora=${VELMORA:-$root/build/release/velmora/velmora}
velmora_mesh=${VELMORA_MESH:-$root/build/release/mesh/velmora-mesh}
repeats=${REPEATS:-3}
accuracy=${ACCURACY:-4e-9}
velmora_tolerance=${VELMORA_TOLERANCE:-1e-9}
peer_threads=${PEER_OPENBLAS_THREADS:-1 2}
read -r -a peer_args <<<"${PEER_ARGS:-}"

models=()
for arg in "${@:-all}"; do
  case $arg in
    small) models+=(strip4 strip5) ;;
    all) models+=(strip4 strip5 strip6 cantilever) ;;
    strip4 | strip5 | strip6 | cantilever) models+=("$arg") ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: $0 [small|all|strip4|strip5|strip6|cantilever]..." >&2; exit 2 ;;
  esac
done

[ -x /usr/bin/time ] || { echo "$0: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
"$python" -c 'import dolfinx' 2>/dev/null ||
  { echo "$0: $python cannot import dolfinx (apt-get install python3-dolfinx)" >&2; exit 1; }
if [ ! -x "$velmora" ] || [ ! -x "$velmora_mesh" ]; then
  [ -z "${VELMORA:-}${VELMORA_MESH:-}" ] || { echo "$0: $velmora or $velmora_mesh is missing" >&2; exit 1; }
  cmake --build "$root/build/release" --target velmora velmora-mesh -j2 >/dev/null
fi

if [ -n "${WORK:-}" ]; then
  work=$WORK
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-peer-XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi

# model_arguments NAME: velmora-mesh's arguments for the model NAME.
model_arguments() {
  case $1 in
    strip4) echo "--nx 100 --ny 50 --length 10 --height 5 --stretch 2 --tolerance 1e-9" ;;
    strip5) echo "--nx 316 --ny 158 --length 10 --height 5 --stretch 2 --tolerance 1e-9" ;;
    strip6) echo "--nx 1000 --ny 500 --length 10 --height 5 --stretch 2 --tolerance 1e-9" ;;
    cantilever) echo "--nx 640 --ny 64 --length 10 --height 1 --mu 1 --bulk 10 --thickness 0.5 --load-y -0.002 --tolerance 1e-9 --max-iterations 200" ;;
  esac
}

seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$1"; }
field() { local v; v=$(tr ' ' '\n' <<<"$2" | sed -n "s/^$1=//p"); echo "${v:--}"; }
least() { tr ' ' '\n' | sort -g | head -1; }

threads_note="velmora: OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-unset} OMP_NUM_THREADS=${OMP_NUM_THREADS:-unset} (unset: one thread per core); FEniCSx: OPENBLAS_NUM_THREADS = OMP_NUM_THREADS = each of \"$peer_threads\""
echo "== $(date '+%Y-%m-%d %H:%M') on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')" >&2
echo "== threads: $threads_note" >&2
echo "== runs of each: $repeats; tolerance: velmora $velmora_tolerance, FEniCSx 1e-9; work directory $work" >&2

table=/dev/null
[ -z "${WORK:-}" ] || table=$work/table.md
rows=()
for name in "${models[@]}"; do
  dir=$work/$name
  mkdir -p "$dir"
  read -r -a gen <<<"$(model_arguments "$name")"
  gen=("${gen[@]/#1e-9/$velmora_tolerance}")  # the value after --tolerance
  "$velmora_mesh" "${gen[@]}" -o "$dir/input.txt" 2>/dev/null
  elements=$(awk '/^:/ { s++ } s == 4 && /^:/ { getline; print $1; exit }' "$dir/input.txt")
  echo "-- $name: $elements triangles (velmora-mesh ${gen[*]})" >&2

  # velmora: whole runs, each a new process.
  times=()
  for ((r = 1; r <= repeats; r++)); do
    (cd "$dir" && /usr/bin/time -f '%e' -o time.txt "$velmora" --method newton >stdout.txt 2>stderr.txt) || {
      echo "velmora failed on $name:" >&2; cat "$dir/stderr.txt" >&2; exit 1; }
    times+=("$(seconds "$(tail -1 "$dir/time.txt")")")
  done
  velmora_time=$(printf '%s\n' "${times[@]}" | least)
  velmora_iterations=$(awk '/Minor =/ { print $3 }' "$dir/stdout.txt")
  velmora_verdict=$(awk '/Minor =/ { $1 = $2 = $3 = ""; sub(/^ +/, ""); print }' "$dir/stdout.txt")
  [ "$velmora_verdict" = Optimal ] || velmora_iterations="$velmora_iterations ($velmora_verdict)"
  echo "   velmora: ${times[*]} s; $velmora_iterations iterations, $velmora_verdict" >&2

  exact=()
  velmora_error=- velmora_beyond=-
  if [[ $name == strip* ]]; then
    exact=(--exact-stretch)
    read -r velmora_error _ velmora_beyond _ < <("$python" "$peer/stretch_error.py" "$dir/input.txt" "$dir/output.txt")
  fi

  # FEniCSx: one process per thread setting, $repeats solves per MUMPS
  # ordering in each; the least of all.
  line='' fenicsx_time='' fenicsx_config=''
  for threads in $peer_threads; do
    one=$(cd "$dir" && OPENBLAS_NUM_THREADS=$threads OMP_NUM_THREADS=$threads \
      "$python" "$peer/fenicsx_solve.py" input.txt --tolerance 1e-9 --repeat "$repeats" "${exact[@]}" --against output.txt \
      "${peer_args[@]}" 2>"fenicsx-$threads.log") || {
      echo "fenicsx_solve.py failed on $name:" >&2; tail -20 "$dir/fenicsx-$threads.log" >&2; echo "$one" >&2; exit 1; }
    echo "   fenicsx, $threads thread(s): $one" >&2
    t=$(field solve "$one")
    if [ -z "$fenicsx_time" ] || awk -v a="$t" -v b="$fenicsx_time" 'BEGIN { exit !(a < b) }'; then
      line=$one fenicsx_time=$t fenicsx_config="$(field ordering "$one"), $threads thr."
    fi
  done
  fenicsx_iterations=$(field iterations "$line")
  [ "$(field reason "$line")" = CONVERGED_FNORM_ABS ] || fenicsx_iterations="$fenicsx_iterations ($(field reason "$line"))"
  ratio=$(awk -v f="$fenicsx_time" -v v="$velmora_time" 'BEGIN { printf "%.2f", f / v }')
  equal=-
  if [ "$velmora_error" != - ]; then
    equal=$(awk -v a="$velmora_beyond" -v b="$(field error_exact "$line")" -v t="$accuracy" \
      'BEGIN { print (a <= t && b <= t) ? "yes" : "no" }')
  fi
  rows+=("| $name | $elements | $velmora_time | $velmora_iterations | $fenicsx_time ($fenicsx_config) | $(field setup "$line") | $fenicsx_iterations | $ratio | $velmora_error ($velmora_beyond) | $(field error_exact "$line") | $equal | $(field error_velmora "$line") |")
done

{
  echo
  echo "$(date '+%Y-%m-%d %H:%M'), load average at the end $(cut -d' ' -f1-3 /proc/loadavg); $threads_note; least of $repeats; tolerance velmora $velmora_tolerance, FEniCSx 1e-9"
  echo
  echo "| model | triangles | velmora whole run, s | its iterations | FEniCSx solve, s (setting) | FEniCSx set-up, s | its iterations | FEniCSx / velmora | velmora error (beyond rounding) | FEniCSx error | both within $accuracy | between the two |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} | tee "$table"
