#!/usr/bin/env bash
# A longer run of one fuzz target: builds the fuzz build (build-fuzz) when needed and runs TARGET
# for SECONDS (default 600) on its corpus and seeds.
# Usage: fuzz/run_long.sh TARGET [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?"Aufruf: fuzz/run_long.sh ZIEL [SEKUNDEN]"}
seconds=${2:-600}
if [[ ! -f build-fuzz/build.ninja ]]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DVELDRONA_FUZZ=ON \
    -DVELDRONA_BENCH=OFF -DVELDRONA_WITH_UI=OFF >/dev/null
fi
cmake --build build-fuzz -j2 --target "$target" veldrona_fuzz_seeds >/dev/null
exec fuzz/run_target.sh "$target" "$seconds" build-fuzz
