#!/usr/bin/env bash
# The coach's report site at the lab's scale: the database vanta_archive_history_bench fills
# (300 subjects, 150,000 tests, 1,000,000 repetitions), made into a site in a new folder,
# then again with nothing changed, each RUNS times (default 3); prints each run's seconds
# and the medians.
#   bash tests/archive/pg_cluster.sh start /tmp/pgbench
#   VANTA_BENCH_ARCHIVE_URL=$(cat /tmp/pgbench/url) build/bench/vanta_archive_history_bench   # fills it once
#   bash bench/site_bench.sh build/cli/vantacheck-cli "postgresql://postgres@/vanta_history_bench?host=/tmp/pgbench&port=$(cat /tmp/pgbench/port)"
set -euo pipefail
cli=${1:?vantacheck-cli}
url=${2:?the URL of the database vanta_history_bench}
runs=${RUNS:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
seconds() { local t0 t1; t0=$(date +%s.%N); "$cli" site --out "$1" --url "$url" >/dev/null; t1=$(date +%s.%N); awk "BEGIN { printf \"%.1f\", $t1 - $t0 }"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
first=() unchanged=()
for i in $(seq "$runs"); do
  rm -rf "$out/site"
  first+=("$(seconds "$out/site")")
  unchanged+=("$(seconds "$out/site")")
  echo "run $i: first ${first[-1]} s, unchanged ${unchanged[-1]} s"
done
echo "median: first $(printf '%s\n' "${first[@]}" | median) s, unchanged $(printf '%s\n' "${unchanged[@]}" | median) s," \
     "$(du -sh "$out/site" | cut -f1) in $(find "$out/site" -name '*.html' | wc -l) pages"
