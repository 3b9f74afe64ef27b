#!/usr/bin/env bash
# archive index over 1000 test files (3 repetitions of 5000 samples each) against summary
# over the same files: on a cold index (goal: at most 2x summary) and on an unchanged one
# (goal: at most 0.1x). Times the whole processes with farm-bench.
#   bench/archive_index_vs_summary.sh build/cli/vantacheck-cli [RUNS]
set -euo pipefail
cli=$(realpath "${1:?the vantacheck-cli to time}")
runs=${2:-5}
work=$(mktemp -d /tmp/vanta-archive-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tests"
for i in $(seq 1 1000); do
  "$cli" demo "$work/tests/t$i.kvq" --repetitions 3 --samples 5000 --seed "$i" >/dev/null
done
du -sh "$work/tests"

echo "== cold index: archive index (A) vs summary (B)"
farm-bench -n "$runs" --timeout 900 \
  --vs "sh -c 'exec \"$cli\" summary \"$work\"/tests/*.kvq >/dev/null'" \
  -- sh -c "rm -rf '$work/DATA' && exec '$cli' archive index '$work/tests' --data '$work/DATA' >/dev/null"

echo "== unchanged index: archive index (A) vs summary (B)"
"$cli" archive index "$work/tests" --data "$work/DATA" >/dev/null
farm-bench -n "$runs" --timeout 900 \
  --vs "sh -c 'exec \"$cli\" summary \"$work\"/tests/*.kvq >/dev/null'" \
  -- sh -c "exec '$cli' archive index '$work/tests' --data '$work/DATA' >/dev/null"
