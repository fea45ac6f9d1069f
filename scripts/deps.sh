#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Usage: scripts/deps.sh [--with-ui]
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
          unixodbc-dev libsqliteodbc libsqlite3-dev clang-14 libclang-rt-14-dev)
if [[ "${1:-}" == "--with-ui" ]]; then
  packages+=(qt6-base-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installiere fehlende Pakete: ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || true
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
