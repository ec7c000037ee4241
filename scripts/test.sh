#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Installs what is
# missing first (Debian 12 or 13, as root).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
ctest --preset mingw "$@"
