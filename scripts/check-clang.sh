#!/usr/bin/env bash
# Compiles every source file a second time, with clang, for syntax and
# warnings only: code that gcc accepts but another compiler (Visual Studio's
# among them) would question shows up here. Uses the defines of the build
# and the C++ headers of the mingw-w64 toolchain the programs are built with.
# Ends with a non-zero status on the first file with a warning or error.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

triplet=i686-w64-mingw32
cxx_headers=/usr/lib/gcc/$triplet/12-posix/include/c++
gtest_headers=/usr/src/googletest/googletest/include
clang_headers="$(clang++ -print-resource-dir)/include"

for dir in "$cxx_headers" "$cxx_headers/$triplet" /usr/$triplet/include "$gtest_headers"; do
    if [ ! -d "$dir" ]; then
        echo "check-clang: missing $dir (run scripts/setup.sh)" >&2
        exit 1
    fi
done

# Only the cross toolchain's headers: never the host's own C or C++ headers.
flags=(
    "--target=$triplet" -fsyntax-only -std=c++17 -Wall -Wextra -Werror
    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601
    -DVANTREL_PROGRAM_VERSION='"0.00"' # CMake takes the real one from each program's .rc file
    -nostdinc -nostdinc++
    -isystem "$cxx_headers" -isystem "$cxx_headers/$triplet" -isystem "$cxx_headers/backward"
    -isystem "$clang_headers" -isystem "/usr/$triplet/include"
)

# One include root, the project's own: every include names its folder
# ("common/modFiles.h", "sweep/modMain.h"), as in the build.
includes_for() {
    case "$1" in
    tests/*) echo "-I. -isystem $gtest_headers" ;;
    *) echo "-I." ;;
    esac
}

count=0
while IFS= read -r -d '' file; do
    # shellcheck disable=SC2046 # the include flags are meant to split
    clang++ "${flags[@]}" $(includes_for "$file") "$file"
    count=$((count + 1))
done < <(find common sweep keeper check tests -name '*.cpp' -print0 | sort -z)

echo "check-clang: $count files compile cleanly with $(clang++ --version | head -n 1)"
