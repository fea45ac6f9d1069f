#!/usr/bin/env bash
# Builds everything and runs every test: once in the normal build, once under AddressSanitizer
# and UndefinedBehaviorSanitizer (without the windows), then a short run of every fuzz target
# (clang with libFuzzer, build-fuzz/). Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 1800

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELDRONA_SANITIZE=ON \
  -DVELDRONA_WITH_UI=OFF -DVELDRONA_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 3600

# Every reader of outside data for a few seconds on its corpus (label "fuzz"; fuzz/README.md).
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_CXX_COMPILER=clang++-14 -DVELDRONA_FUZZ=ON -DVELDRONA_WITH_UI=OFF \
  -DVELDRONA_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
ctest --test-dir build-fuzz -j"$jobs" -L fuzz --output-on-failure
echo "Alle Tests bestanden."
