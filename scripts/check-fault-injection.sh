#!/usr/bin/env bash
# check-fault-injection.sh [--cases=N] [--seed=S] [--only=PATTERN]
#
# Shows that the sweep's property, hostile-input and end-to-end tests
# notice real faults: for each of a list of small, deliberate faults it
# takes a copy of the sources, makes that one change, builds, and runs the
# property and hostile-input test programs and the end-to-end tests of
# folders, links, the log and sweepcheck under Wine. A fault counts as caught when the
# results differ from those of the unchanged sources: other counts of
# wrongly deleted or wrongly kept files, or other tests failing.
# The sources are copied once, at the start, from the working tree (tracked
# and untracked, not ignored, files). Each fault, built and run, takes three
# minutes or more; nothing in the working tree is changed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
cases=200
seed=1
only=""
for arg in "$@"; do
    case "$arg" in
    --cases=*) cases="${arg#--cases=}" ;;
    --seed=*) seed="${arg#--seed=}" ;;
    --only=*) only="${arg#--only=}" ;;
    *)
        echo "usage: $0 [--cases=N] [--seed=S] [--only=PATTERN]   (PATTERN: only the faults whose name it matches, an extended regular expression)" >&2
        exit 2
        ;;
    esac
done

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-faults.XXXXXX")"
prefix="$work/wineprefix"
cleanup() {
    "$repo/scripts/wine-prefix" destroy "$prefix" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# Each fault: a name, the file it is made in, a text that occurs there
# exactly once, and what it becomes.
names=() files=() finds=() replaces=()
fault() { names+=("$1") files+=("$2") finds+=("$3") replaces+=("$4"); }
fault "read-only files deleted" common/modFiles.cpp \
    'if (attributes & FILE_ATTRIBUTE_READONLY) {' 'if (false) {'
fault "hidden files match" common/modFiles.cpp \
    'FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;' 'FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM;'
fault "an 8.3 alias deletes a file whose own name is not .url" common/modFiles.cpp \
    '!EndsWithIgnoringCase(ownName, requiredSuffix)' '!EndsWithIgnoringCase(reachedAs, requiredSuffix)'
fault "8.3-shaped names taken for own names" common/modFiles.cpp \
    'return base <= 8 && extension <= 3 &&' 'return false && base <= 8 && extension <= 3 &&'
fault "a name matched without folding its letter case" common/modNames.cpp \
    'GlobMatches(UpperCase(name), upper_)' 'GlobMatches(std::wstring(name), upper_)'
fault '".." above the root passed over' sweep/modLineRules.cpp \
    'if (kept.empty()) {' 'if (kept.empty()) { continue; } if (kept.empty()) {'
fault '"?" matches a dot' common/modNames.cpp \
    "(p == L'?' && name[i] != L'.')" "(p == L'?')"
fault "the last piece taken as a line" sweep/modLineRules.cpp \
    'if (i + 1 == lines.size()) {' 'if (false) {'
fault "unmarked manifests read" sweep/modManifests.cpp \
    'manifest.message, kManifestReading.allowAnsi,' 'manifest.message, true,'
fault "development folder one level up" sweep/modBaseFolder.cpp \
    'ParentFolder(programFolder, 2)' 'ParentFolder(programFolder, 1)'
fault "invalid UTF-8 drops the whole manifest" common/modText.cpp \
    'MultiByteToWideChar(codePage, 0,' 'MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS,'
fault "manifests over 16 MB not read" sweep/modUTF8_FileIO.cpp \
    'length > SIZE_MAX / 4' 'length > (16u << 20)'
fault "the final path not asked" common/modFiles.cpp \
    'switch (PlacementOf(file.get(), folder, folders, finalName)) {' \
    'finalName = std::wstring(reachedAs); switch (source == NameSource::OwnName ? Placement::InFolder : PlacementOf(file.get(), folder, folders, finalName)) {'
fault "only the last piece compared" common/modPlaces.cpp \
    'IsNameIn(finalPath, place->finalPath, finalName) ? Placement::InFolder : Placement::Elsewhere;' \
    '(finalName = finalPath.substr(finalPath.find_last_of(L'"'"'\\'"'"') + 1), Placement::InFolder);'
fault "listed names joined without a check" common/modFiles.cpp \
    'if (!IsPlainName(name)) {' 'if (false) {'
fault "a name reported without its last dot or blank taken as it is" common/modPlaces.cpp \
    'return placement == Placement::InFolder ? folders.NameReportedIn(folder, finalName, LastChangeOf(file))' \
    'return placement; return placement == Placement::InFolder ? folders.NameReportedIn(folder, finalName, LastChangeOf(file))'
fault "a folder's reported path trusted though it does not lead back to it" common/modPlaces.cpp \
    'if (!place.finalPath.empty() && !LeadsBackTo(place.finalPath, handle.get())) {' 'if (false) {'
fault "each folder listed once a run" common/modPlaces.cpp \
    'if (!known.listed || !fileChanged || *fileChanged >= known.listedAfter) {' 'if (!known.listed || !fileChanged) {'
fault "a log name ending in a dot or a blank made before it is refused" common/modLog.cpp \
    "if ((last || form == PathForm::Literal) && !piece.empty() &&" "if (false && (last || form == PathForm::Literal) && !piece.empty() &&"
fault "a log made and then refused left behind" common/modLog.cpp \
    'if (made) {' 'if (false) {'
fault "a log appended to a file that is no log" common/modLog.cpp \
    'IsEmptyOrDecisionLog(file);' '(IsEmptyOrDecisionLog(file) || true);'
fault "a file another run deleted first taken as kept" common/modFiles.cpp \
    'report.verdict = FileVerdict::AlreadyGone;' 'report.verdict = FileVerdict::Kept;'
fault "a line holding U+FFFD acted on" sweep/modLineRules.cpp \
    'if (c == 0xFFFD) {' 'if (false) {'
fault "folders compared without regard to letter case" common/modPlaces.cpp \
    'std::wstring_view(filePath).substr(0, cut + 1) != AsFolder(folderPath)) {' \
    '!EqualsIgnoringCase(std::wstring_view(filePath).substr(0, cut + 1), AsFolder(folderPath))) {'
fault "sweepcheck's own suffix differs from the sweep's" check/modFindings.cpp \
    'const std::wstring_view suffix = sweep::kShortcutSuffix;' 'const std::wstring_view suffix = L".lnk";'

copy_tree() {
    mkdir -p "$1"
    (cd "$repo" && git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
        tar --null -T - -cf -) | tar -x -C "$1"
}

# The end-to-end tests run for each fault: folders and links, the log
# (with files another run deleted first), and sweepcheck.
e2e_filter='SweepEndToEnd.*Link*:SweepEndToEnd.AFolder*:SweepLog.*:Sweepcheck.*'

# How many tests of the suites $2 (an extended regular expression) failed
# in the log $1: those GoogleTest calls failed, and the one a failure was
# printed in when its program hung before it ended.
failed_tests() {
    tr -d '\r' <"$1" | awk -v suites="^($2)\\." '
        /^\[ RUN      \] / { current = $4 }
        /: Failure$/ && current ~ suites { failed[current] = 1 }
        /^\[  FAILED  \] / && $4 ~ suites { sub(/,$/, "", $4); failed[$4] = 1 }
        END { n = 0; for (t in failed) n++; print n }'
}

# Runs the test programs in tree $1; prints
# "property <wrongly deleted> <wrongly kept> hostile <failed tests> end-to-end <failed tests>".
run_tests() {
    local tree="$1" log="$1/run.log"
    cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
    if ! cmake --build "$tree/build" --target shortcutsweep sweepcheck sweep_property_tests \
        sweep_hostile_input_tests sweep_end_to_end_tests >"$tree/build.log" 2>&1; then
        echo "not-built"
        return
    fi
    local exe="$tree/build/sweep/shortcutsweep.exe"
    # Under qemu-i386 a test program may hang after its first failure: each
    # is stopped after 10 minutes, and what it printed until then counts.
    local run=(timeout -k 30 600 "$repo/scripts/wine-run" --prefix "$prefix")
    "${run[@]}" "$tree/build/tests/sweep_property_tests.exe" "$exe" \
        --cases="$cases" --seed="$seed" --gtest_filter='SweepProperty.*' >"$log" 2>&1 || true
    "${run[@]}" "$tree/build/tests/sweep_hostile_input_tests.exe" "$exe" >>"$log" 2>&1 || true
    "${run[@]}" "$tree/build/tests/sweep_end_to_end_tests.exe" "$exe" \
        "$tree/build/check/sweepcheck.exe" --gtest_filter="$e2e_filter" >>"$log" 2>&1 || true
    local summary
    summary="$(grep -m1 '^cases run' "$log" || echo 'cases run ?')"
    local deleted kept failed e2e
    deleted="$(sed -n 's/.*wrongly deleted \([0-9]*\).*/\1/p' <<<"$summary")"
    kept="$(sed -n 's/.*wrongly kept \([0-9]*\).*/\1/p' <<<"$summary")"
    local first_failure
    first_failure="$(tr -d '\r' <"$log" | grep -m1 -E 'case seed [0-9]+ failed: ' || true)"
    if [ -z "$deleted" ] && [ -n "$first_failure" ]; then
        # No total: the counts of the first failing case, marked "+" (at least).
        deleted="$(sed -n 's/.* failed: \([0-9]*\) wrongly deleted.*/\1/p' <<<"$first_failure")+"
        kept="$(sed -n 's/.*, \([0-9]*\) wrongly kept.*/\1/p' <<<"$first_failure")+"
    fi
    failed="$(failed_tests "$log" SweepHostileInput)"
    e2e="$(failed_tests "$log" 'SweepEndToEnd|SweepLog|Sweepcheck')"
    echo "property ${deleted:-?} ${kept:-?} hostile ${failed:-?} end-to-end ${e2e:-?}"
}

"$repo/scripts/wine-prefix" create "$prefix"
echo "seed $seed, $cases random cases per run"

# One copy of the sources, taken now, for every build below.
copy_tree "$work/sources"
cp -a "$work/sources" "$work/base"
read -r outcome base_deleted base_kept _ base_failed _ base_e2e <<<"$(run_tests "$work/base")"
if [ "$outcome" = not-built ]; then
    echo "the unchanged sources do not build" >&2
    exit 1
fi
echo "unchanged sources: wrongly deleted $base_deleted, wrongly kept $base_kept, hostile-input tests failed $base_failed, end-to-end tests failed $base_e2e"
rm -rf "$work/base"

caught=0
missed=0
tried=0
for i in "${!names[@]}"; do
    name="${names[$i]}" file="${files[$i]}" find="${finds[$i]}" replace="${replaces[$i]}"
    grep -qE -- "$only" <<<"$name" || continue
    tried=$((tried + 1))
    tree="$work/fault"
    rm -rf "$tree"
    cp -a "$work/sources" "$tree"
    if [ "$(grep -cF -- "$find" "$tree/$file")" != 1 ]; then
        echo "NOT APPLIED $name: the text to change is not in $file exactly once"
        missed=$((missed + 1))
        continue
    fi
    FIND="$find" REPLACE="$replace" perl -0pi -e 's/\Q$ENV{FIND}\E/$ENV{REPLACE}/' "$tree/$file"
    read -r outcome deleted kept _ failed _ e2e <<<"$(run_tests "$tree")"
    if [ "$outcome" = not-built ]; then
        echo "NOT BUILT $name: the changed sources do not build"
        missed=$((missed + 1))
        continue
    fi
    if [ "$deleted" != "$base_deleted" ] || [ "$kept" != "$base_kept" ] || [ "$failed" != "$base_failed" ] ||
        [ "$e2e" != "$base_e2e" ]; then
        verdict="CAUGHT   "
        caught=$((caught + 1))
    else
        verdict="MISSED   "
        missed=$((missed + 1))
    fi
    echo "$verdict  $name: wrongly deleted $deleted, wrongly kept $kept, hostile-input tests failed $failed, end-to-end tests failed $e2e"
done
echo "$caught of $tried faults caught"
