#!/usr/bin/env bash
# Long runs of every fuzz target, one after another (never two at once): builds the fuzz build
# (build-fuzz) when needed, runs each target for SECONDS (default 600) on its corpus and seeds,
# and ends with a table: target, executions, result. The output of each run is kept in
# build-fuzz/fuzz/logs/<target>.log; what a run found is in build-fuzz/fuzz/artifacts/<target>/.
# Usage: fuzz/run_all_long.sh [SECONDS] [TARGET...]   (default: every target)
# Ends non-zero when any target found something.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
if [[ ! -f build-fuzz/build.ninja ]]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DVELDRONA_FUZZ=ON \
    -DVELDRONA_BENCH=OFF -DVELDRONA_WITH_UI=OFF >/dev/null || exit 2
fi
cmake --build build-fuzz -j2 >/dev/null || {
  echo "Fehler: der Fuzz-Build schlägt fehl." >&2
  exit 2
}
out=build-fuzz/fuzz
if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  mapfile -t targets < <(ls "$out/args" | sort)
fi
mkdir -p "$out/logs"
rows=()
failed=0
for target in "${targets[@]}"; do
  log="$out/logs/$target.log"
  echo "$(date '+%H:%M:%S') $target: $seconds Sekunden ..."
  fuzz/run_target.sh "$target" "$seconds" build-fuzz >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [[ $rc -eq 0 ]]; then
    result="ohne Befund"
  else
    failed=1
    artifact=$(grep -o "artifact_prefix=[^;]*; Test unit written to [^ ]*" "$log" | tail -1 |
      sed 's/.*Test unit written to //')
    finding=$(grep -m1 "Fuzz-Befund:\|ERROR: \(AddressSanitizer\|LeakSanitizer\|libFuzzer\)\|runtime error:" "$log")
    result="BEFUND (Code $rc): ${finding:-siehe $log} ${artifact:+-> $artifact}"
  fi
  rows+=("$(printf '%-22s %14s  %s' "$target" "${runs:-?}" "$result")")
  echo "${rows[-1]}"
done
echo
printf '%-22s %14s  %s\n' "Ziel" "Ausführungen" "Ergebnis"
printf '%s\n' "${rows[@]}"
exit $failed
