#!/usr/bin/env bash
# archive index over 1000 test files (3 repetitions of 5000 samples each) against summary
# over the same files: on a cold index (goal: at most 2x summary) and on an unchanged one
# (goal: at most 0.1x). Times the whole processes in turn, pair by pair, and prints the
# medians of wall time and the median of the pairs' ratios.
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

# Runs A and B in turn RUNS times; each pair's wall-clock ratio A/B, and the medians.
compare() {  # A-command B-command (each a string for sh -c)
  python3 - "$runs" "$1" "$2" <<'PY'
import statistics, subprocess, sys, time
runs, a, b = int(sys.argv[1]), sys.argv[2], sys.argv[3]
def wall(cmd):
    t = time.perf_counter()
    subprocess.run(["sh", "-c", cmd], check=True)
    return time.perf_counter() - t
pairs = [(wall(a), wall(b)) for _ in range(runs)]
ta = statistics.median(p[0] for p in pairs)
tb = statistics.median(p[1] for p in pairs)
r = statistics.median(p[0] / p[1] for p in pairs)
print(f"A median {ta:.3f} s, B median {tb:.3f} s, median ratio A/B {r:.2f} ({runs} pairs)")
PY
}

echo "== cold index: archive index (A) vs summary (B)"
compare "rm -rf '$work/DATA' && exec '$cli' archive index '$work/tests' --data '$work/DATA' >/dev/null" \
        "exec '$cli' summary '$work'/tests/*.kvq >/dev/null"

echo "== unchanged index: archive index (A) vs summary (B)"
"$cli" archive index "$work/tests" --data "$work/DATA" >/dev/null
compare "exec '$cli' archive index '$work/tests' --data '$work/DATA' >/dev/null" \
        "exec '$cli' summary '$work'/tests/*.kvq >/dev/null"
