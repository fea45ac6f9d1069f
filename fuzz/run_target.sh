#!/usr/bin/env bash
# Runs one fuzz target for SECONDS on its corpus (grown by earlier runs) and its seeds.
# Usage: fuzz/run_target.sh TARGET SECONDS [BUILD_FOLDER]   (default: build-fuzz)
# Ends non-zero when the target found something; the input is then in
# BUILD_FOLDER/fuzz/artifacts/TARGET/.
set -euo pipefail
target=$1
seconds=$2
build=${3:-"$(dirname "$0")/../build-fuzz"}
out="$build/fuzz"
program="$out/bin/$target"
if [[ ! -x "$program" ]]; then
  echo "Fehler: Fuzz-Ziel \"$program\" gibt es nicht (Fuzz-Build fehlt?)." >&2
  exit 2
fi
mkdir -p "$out/corpus/$target" "$out/artifacts/$target"
read -r -a own <"$out/args/$target"
exec "$program" "${own[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 \
  -timeout=20 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target/" \
  "$out/corpus/$target" "$out/seeds/$target"
