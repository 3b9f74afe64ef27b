#!/usr/bin/env bash
# Builds everything and runs every test; then the plain code again under AddressSanitizer
# and UndefinedBehaviorSanitizer, the acquisition link and the reading and analysis on
# every core under ThreadSanitizer, and the fuzz targets of the two file readers and the
# session journal's reader for a short fixed time each (FUZZ_SECONDS, 30); last the Debian
# package is built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."

# The suites run as an unprivileged user even where this script runs as root (CI does):
# root writes into read-only folders, so a test of one would prove nothing. The build
# trees stay root's; the user gets the test log folder and a home and temp dir of its own.
run_tests() {  # build tree, then ctest's options
  local tree=$1
  shift
  if [ "$(id -u)" -ne 0 ]; then
    ctest --test-dir "$tree" "$@"
    return
  fi
  local user=nobody group scratch status=0
  group=$(id -gn "$user")
  scratch=$(mktemp -d)
  chown "$user:$group" "$scratch"
  mkdir -p "$tree/Testing"
  chown -R "$user:$group" "$tree/Testing"
  setpriv --reuid="$user" --regid="$group" --clear-groups \
    env HOME="$scratch" TMPDIR="$scratch" XDG_RUNTIME_DIR="$scratch" ctest --test-dir "$tree" "$@" || status=$?
  rm -rf "$scratch"
  return "$status"
}

bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# The label "archive" brings its own PostgreSQL cluster: ctest starts one for it in
# build/Testing/pg (tests/archive/pg_cluster.sh, as the unprivileged user) and stops it.
run_tests build --output-on-failure -j "$(nproc)"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer (plain code)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTA_BUILD_GUI=OFF -DVANTA_BUILD_BENCH=OFF \
      "-DVANTA_SANITIZE=address;undefined" >/dev/null
cmake --build build-asan -j "$(nproc)"
run_tests build-asan --output-on-failure -j "$(nproc)" -L core

if grep -q 'LABELS link' tests/device/CMakeLists.txt 2>/dev/null; then
  echo "== ThreadSanitizer (acquisition link)"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTA_BUILD_GUI=OFF -DVANTA_BUILD_BENCH=OFF \
        -DVANTA_SANITIZE=thread >/dev/null
  cmake --build build-tsan -j "$(nproc)"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests build-tsan --output-on-failure -L link
  echo "== ThreadSanitizer (tests read and analysed on every core)"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests build-tsan --output-on-failure \
      -R '^(TestFileTest|Analysis|Records)\.'
fi

echo "== Fuzzing the test-file, settings and journal readers (libFuzzer, ${FUZZ_SECONDS:-30} s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTA_BUILD_FUZZ=ON \
      -DVANTA_BUILD_GUI=OFF -DVANTA_BUILD_BENCH=OFF -DVANTA_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_test_file fuzz_settings_file fuzz_journal
for target in test_file settings_file journal; do
  # New inputs go to a scratch folder: the committed seed corpus stays as it is. A finding
  # is kept as build-fuzz/crash-* and fails the run.
  found=$(mktemp -d)
  status=0
  build-fuzz/fuzz/fuzz_$target "$found" fuzz/corpus/$target -max_total_time="${FUZZ_SECONDS:-30}" \
      -artifact_prefix=build-fuzz/ -print_final_stats=1 > "$found.log" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added))' "$found.log" | sed "s/^/fuzz_$target: /"
  else
    cat "$found.log"
  fi
  rm -rf "$found" "$found.log"
  [ "$status" -eq 0 ] || { echo "fuzz_$target found a fault (the input is in build-fuzz/)"; exit 1; }
done

echo "== Debian package (built, then checked by lintian and desktop-file-validate)"
bash scripts/package.sh
