#!/usr/bin/env bash
# Benchmarks shortcutsweep.exe against the file system's floors under Wine
# and prints the figures (Markdown tables) on standard output; progress goes
# to standard error. Builds the mingw preset first and works in a private
# Wine prefix, made for this run and removed at its end. Debian 12, as root.
#
# Options of this script, taken before the rest go to bench/run.py
# (--help lists those):
#   --build-dir DIR        build in DIR (configured for mingw if it is not)
#                          instead of the mingw preset's build/mingw, and
#                          work in DIR/bench-run instead of build/bench
#   --baseline-commit REV  also build shortcutsweep.exe from commit REV (from
#                          `git archive`, in the work folder) and run it in
#                          the same rounds as the baseline
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"

build=""
baseline=""
pass=()
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir | --baseline-commit)
        [ $# -ge 2 ] || {
            echo "run.sh: $1 needs a value" >&2
            exit 2
        }
        if [ "$1" = --build-dir ]; then build="$2"; else baseline="$2"; fi
        shift 2
        ;;
    *)
        pass+=("$1")
        shift
        ;;
    esac
done

bash scripts/setup.sh >&2
targets=(shortcutsweep bench_floor bench_checked_floor bench_listed_floor bench_empty bench_peek bench_launcher bench_reader bench_calls)
if [ -z "$build" ]; then
    build="$repo/build/mingw"
    work="$repo/build/bench"
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw --target "${targets[@]}" >&2
else
    build="$(realpath -m "$build")"
    work="$build/bench-run"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target "${targets[@]}" >&2
fi
source scripts/wine-env.sh

prefix="$work/wineprefix"
mkdir -p "$work"
trap 'wine_prefix_destroy "$prefix"; rm -rf "$work/tree" "$work/baseline" "$work/sweep-decisions.log"' EXIT
if [ -n "$baseline" ]; then
    commit="$(git rev-parse --verify "$baseline^{commit}")"
    echo "Building the baseline shortcutsweep.exe from $baseline ($commit) ..." >&2
    rm -rf "$work/baseline"
    mkdir -p "$work/baseline/src"
    git archive "$commit" | tar -x -C "$work/baseline/src"
    cmake -S "$work/baseline/src" -B "$work/baseline/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$work/baseline/src/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
    cmake --build "$work/baseline/build" --target shortcutsweep >&2
    pass+=(--baseline-exe "$work/baseline/build/sweep/shortcutsweep.exe")
fi
echo "Preparing a private Wine prefix in $prefix ..." >&2
wine_prefix_create "$prefix"
wine_use_prefix "$prefix"
python3 bench/run.py --build "$build" --work "$work" "${pass[@]}"
