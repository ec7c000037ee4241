#!/usr/bin/env bash
# check-reproducible.sh [--working-tree]
#
# Builds the programs twice from the same sources, in two folders at
# different paths, and checks that the two builds are identical byte for
# byte (cmp), printing the SHA-256 of each program.
#
# The sources are the committed tree (HEAD, through git archive), or with
# --working-tree the tracked and untracked, not ignored, files as they are
# now. Each build is configured with the mingw toolchain file and
# -DBUILD_TESTING=OFF. When the bytes differ, the difference in the PE
# headers (objdump -x) is shown.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mode=head
case "${1:-}" in
"") ;;
--working-tree) mode=working-tree ;;
*)
    echo "usage: $0 [--working-tree]" >&2
    exit 2
    ;;
esac

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-reproducible.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Two places that differ in length and depth.
first="$work/a"
second="$work/another/much/longer/path/to/the/second/tree"
programs=(sweep/shortcutsweep.exe keeper/svckeeper.exe check/sweepcheck.exe)

export_sources() {
    mkdir -p "$1"
    if [ "$mode" = head ]; then
        git archive --format=tar HEAD | tar -x -C "$1"
    else
        git ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
            tar --null -T - -cf - | tar -x -C "$1"
    fi
}

build() {
    local tree="$1"
    cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
    local targets=()
    for program in "${programs[@]}"; do
        local target
        target="$(basename "$program" .exe)"
        if cmake --build "$tree/build" --target help | grep -q "^$target:"; then
            targets+=("$target")
        fi
    done
    cmake --build "$tree/build" --target "${targets[@]}" >/dev/null
}

echo "sources: $mode ($(git rev-parse --short HEAD))"
for tree in "$first" "$second"; do
    export_sources "$tree"
    build "$tree"
done

status=0
compared=0
for program in "${programs[@]}"; do
    a="$first/build/$program"
    b="$second/build/$program"
    if [ ! -e "$a" ] && [ ! -e "$b" ]; then
        continue
    fi
    compared=$((compared + 1))
    sha256sum "$a" "$b" | sed "s|$work/||"
    if cmp "$a" "$b"; then
        echo "$(basename "$program"): identical"
    else
        echo "$(basename "$program"): DIFFERENT; PE headers:"
        diff <(i686-w64-mingw32-objdump -x "$a" | sed "s|$first/||") \
            <(i686-w64-mingw32-objdump -x "$b" | sed "s|$second/||") | head -40 || true
        status=1
    fi
done
if [ "$compared" -eq 0 ]; then
    echo "no program was built" >&2
    status=1
fi
exit "$status"
