#!/usr/bin/env bash
# Benchmarks shortcutsweep.exe against the file system's floor under Wine
# and prints the figures (Markdown tables) on standard output; progress goes
# to standard error. Builds the mingw preset first and works in a private
# Wine prefix, made for this run and removed at its end. Options are passed
# to bench/run.py (--help lists them). Debian 12, as root.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
bash scripts/setup.sh >&2
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target shortcutsweep bench_floor bench_empty bench_peek bench_launcher bench_reader bench_calls >&2
source scripts/wine-env.sh

work="$repo/build/bench"
prefix="$work/wineprefix"
mkdir -p "$work"
echo "Preparing a private Wine prefix in $prefix ..." >&2
wine_prefix_create "$prefix"
trap 'wine_prefix_destroy "$prefix"; rm -rf "$work/tree"' EXIT
wine_use_prefix "$prefix"
python3 bench/run.py --build "$repo/build/mingw" --work "$work" "$@"
