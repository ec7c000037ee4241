#!/usr/bin/env bash
# bench/count-calls.sh [--files N] [--variants LIST] REV...
#
# Counts the Linux calls and Wine server requests of one sweep of the
# benchmark's trees (bench/count_calls.py), for the working tree's build
# (build/mingw) and for shortcutsweep.exe built from each commit REV, the
# first column the base of the ratios. Load does not change these counts,
# so that they compare builds on a busy machine, or one whose 32-bit
# programs run under qemu-i386, where times say little.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
pass=()
revs=()
while [ $# -gt 0 ]; do
    case "$1" in
    --files | --variants) pass+=("$1" "$2") && shift 2 ;;
    *) revs+=("$1") && shift ;;
    esac
done
[ ${#revs[@]} -gt 0 ] || { echo "usage: bench/count-calls.sh [--files N] [--variants LIST] REV..." >&2; exit 2; }
command -v strace >/dev/null || apt-get install -y strace >&2
work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-calls.XXXXXX")"
source scripts/wine-env.sh
trap 'wine_prefix_destroy "$work/prefix"; rm -rf "$work"' EXIT
columns=()
for rev in "${revs[@]}"; do
    commit="$(git rev-parse --verify "$rev^{commit}")"
    echo "building shortcutsweep.exe of $rev ($commit) ..." >&2
    mkdir -p "$work/$commit/src"
    git archive "$commit" | tar -x -C "$work/$commit/src"
    cmake -S "$work/$commit/src" -B "$work/$commit/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$work/$commit/src/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
    cmake --build "$work/$commit/build" --target shortcutsweep >/dev/null
    columns+=("${commit:0:7}=$work/$commit/build/sweep/shortcutsweep.exe")
done
cmake --preset mingw >/dev/null && cmake --build --preset mingw --target shortcutsweep >/dev/null
columns+=("work=$repo/build/mingw/sweep/shortcutsweep.exe")
wine_prefix_create "$work/prefix" >&2
wine_use_prefix "$work/prefix"
python3 bench/count_calls.py --work "$work" "${pass[@]}" "${columns[@]}"
