#!/usr/bin/env bash
# Builds everything and runs every test; then the plain code again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the acquisition link under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer (plain code)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTA_BUILD_GUI=OFF -DVANTA_BUILD_BENCH=OFF \
      "-DVANTA_SANITIZE=address;undefined" >/dev/null
cmake --build build-asan -j "$(nproc)"
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" -L core

if grep -q 'LABELS link' tests/device/CMakeLists.txt 2>/dev/null; then
  echo "== ThreadSanitizer (acquisition link)"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTA_BUILD_GUI=OFF -DVANTA_BUILD_BENCH=OFF \
        -DVANTA_SANITIZE=thread >/dev/null
  cmake --build build-tsan -j "$(nproc)"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir build-tsan --output-on-failure -L link
fi
