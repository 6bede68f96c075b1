#!/usr/bin/env bash
# Runs one fuzz target of build/fuzz for a given time on its seed corpus:
#   fuzz/run.sh reader|run SECONDS [more libFuzzer options]
# The corpus grows in build/fuzz/corpus/TARGET (kept between runs); the
# seeds are the models of examples/ and tests/data/reference/ and the
# regression inputs of fuzz/regressions/TARGET. A finding is written to
# build/fuzz/findings/TARGET/ and makes the script fail; keep the input in
# fuzz/regressions/TARGET/ once it is fixed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
target=${1:?target: reader or run}
seconds=${2:?seconds}
shift 2

case "$target" in
  reader) max_len=4096 ;;
  run) max_len=2048 ;;
  *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac

build="$top/build/fuzz"
program="$build/fuzz/${target}_fuzz"
[ -x "$program" ] || { echo "$program is missing: run 'cmake --workflow --preset fuzz' first" >&2; exit 2; }
corpus="$build/corpus/$target"
findings="$build/findings/$target"
mkdir -p "$corpus" "$findings"

# One process on one core; every path absolute, because the run target
# changes its working directory while a run goes on.
exec "$program" "$corpus" "$build/fuzz/seeds" "$here/regressions/$target" \
  -dict="$here/velmora.dict" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
  -artifact_prefix="$findings/" -print_final_stats=1 "$@"
