#!/usr/bin/env bash
# check-fault-injection.sh [--only=PATTERN] [--cases=N] [--seed=S] [--list]
#
# Shows that the tests notice real faults. For each of a list of small,
# deliberate faults it makes that one change in a copy of the sources,
# builds, and runs the test programs that fault concerns under Wine. A
# fault is CAUGHT when a test that passes on the unchanged sources fails:
# the tests are named, compared by name with the unchanged sources' run.
# A program that ends without GoogleTest's summary (a crash, a hang stopped
# after 10 minutes) twice has not run: its fault is NOT RUN, never caught.
# On the changed sources a program stops at its first new failure. Exit
# status 0 only when every fault tried was caught; a fault MISSED, NOT
# APPLIED (its text is not in the file exactly once), NOT BUILT or NOT RUN
# makes it 1. A fault whose file is "-" changes no source: the installers
# test runs with a program that does nothing in place of ours, and is
# caught when checks that pass with ours fail.
#
#   --only=PATTERN  only the faults whose name matches (extended regex)
#   --cases=N       random cases of the property test per run (default 200)
#   --seed=S        their first seed (default 1)
#   --list          print the faults and the programs each runs, and stop
#
# Each fault is found by its text with any spacing and line breaks
# (clang-format may reflow it), and must occur exactly once. The sources
# are copied once, at the start, from the working tree (tracked and
# untracked, not ignored, files); one build folder serves every fault, so
# each rebuilds only what it changed. Nothing in the working tree changes.
# A fault takes a minute (unit tests) to ten (the property test) here.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
cases=200
seed=1
only=""
list=no
for arg in "$@"; do
    case "$arg" in
        --cases=*) cases="${arg#--cases=}" ;;
        --seed=*) seed="${arg#--seed=}" ;;
        --only=*) only="${arg#--only=}" ;;
        --list) list=yes ;;
        *)
            echo "usage: $0 [--only=PATTERN] [--cases=N] [--seed=S] [--list]" >&2
            exit 2
            ;;
    esac
done

# Each fault: a name, the file it is made in, the test programs it runs
# (see run_program), the text it changes, and what that becomes.
names=() files=() programs=() finds=() replaces=()
fault() { names+=("$1") files+=("$2") programs+=("$3") finds+=("$4") replaces+=("$5"); }

# The sweep's file rules.
fault "read-only files deleted" common/modFiles.cpp "common e2e" \
    'if (attributes & FILE_ATTRIBUTE_READONLY) {' 'if (false) {'
fault "hidden files match" common/modFiles.cpp "common e2e" \
    'FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;' \
    'FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM;'
fault "an 8.3 alias deletes a file whose own name is not .url" common/modFiles.cpp "common e2e" \
    '!EndsWithIgnoringCase(ownName, requiredSuffix)' '!EndsWithIgnoringCase(reached.name, requiredSuffix)'
fault "8.3-shaped names taken for own names" common/modFiles.cpp "common e2e hostile" \
    'return base <= 8 && extension <= 3 &&' 'return false && base <= 8 && extension <= 3 &&'
fault "a name matched without folding its letter case" common/modNames.cpp "common" \
    'GlobMatches(UpperCase(name), upper_)' 'GlobMatches(std::wstring(name), upper_)'
fault '"?" matches a dot' common/modNames.cpp "common" \
    "(p == L'?' && name[i] != L'.')" "(p == L'?')"
fault "listed names joined without a check" common/modFiles.cpp "hostile" \
    'if (!IsPlainName(name)) {' 'if (false) {'
fault "a file another run deleted first taken as kept" common/modFiles.cpp "e2e" \
    'report.verdict = FileVerdict::AlreadyGone;' 'report.verdict = FileVerdict::Kept;'
# Where a file lies, and names spelled alike.
fault "the final path not asked" common/modPlaces.cpp "e2e hostile" \
    'if (found.placement != Placement::InFolder) {' \
    'found.placement = Placement::InFolder; found.finalName = Path(reported).Name(); if (false) {'
fault "only the last piece compared" common/modPlaces.cpp "e2e" \
    'IsNameIn(reported, place->finalPath, found.finalName) ? Placement::InFolder' \
    '((found.finalName = reported.substr(reported.find_last_of(L'"'"'\\'"'"') + 1)), true) ? Placement::InFolder'
fault "a folder's reported path trusted though it does not lead back to it" common/modPlaces.cpp "e2e" \
    '!LeadsBackTo(place.finalPath, handle)) {' 'false) {'
fault "folders compared without regard to letter case" common/modPaths.cpp "common e2e hostile" \
    'if (filePath.substr(0, cut) != folder) {' 'if (!EqualsIgnoringCase(filePath.substr(0, cut), folder)) {'
fault "a final path spelled like another name taken as it is" common/modPlaces.cpp "common hostile e2e" \
    'case Spelling::Shared:' 'case Spelling::Shared: break;'
fault "only the file's own folder asked about its spelling" common/modSpellings.cpp "common hostile" \
    'return alike > 1 || (alike == 1 && !listing->Holds(key, HashOf(piece))) ? Spelling::Shared' \
    'return last && (alike > 1 || (alike == 1 && !listing->Holds(key, HashOf(piece)))) ? Spelling::Shared'
fault "names compared in one letter case only" common/modSpellings.cpp "common hostile" \
    'return UpperCase(name.substr(0, kept == std::wstring_view::npos ? 0 : kept + 1));' \
    'return std::wstring(name.substr(0, kept == std::wstring_view::npos ? 0 : kept + 1));'
fault "a name with a backslash not taken for its first piece" common/modSpellings.cpp "common hostile" \
    "name = name.substr(0, name.find(L'\\\\'));" ";"
fault "the listing's tick rule: equal times taken as earlier" common/modSpellings.cpp "common" \
    '*fileChanged < startedBefore && (!ownFolder || *fileChanged < folderChanged);' \
    '*fileChanged <= startedBefore && (!ownFolder || *fileChanged <= folderChanged);'
fault "a listing trusted by the folder's time alone" common/modSpellings.cpp "common hostile" \
    'return fileChanged && *fileChanged < startedBefore &&' 'return fileChanged && (startedBefore != 0 || true) &&'
fault "a listing trusted by the system's time alone" common/modSpellings.cpp "common" \
    '(!ownFolder || *fileChanged < folderChanged)' '(!ownFolder || folderChanged != 0 || true)'
# Lines and manifests.
fault '".." above the root passed over' sweep/modLineRules.cpp "unit hostile" \
    'if (kept.empty()) {' 'if (kept.empty()) { continue; } if (kept.empty()) {'
fault "relative lines taken as they are" sweep/modLineRules.cpp "unit e2e" \
    'case PathForm::Relative: break;' 'case PathForm::Relative: return ShortcutTarget::To(Path(std::wstring(line)));'
fault "the last piece taken as a line" sweep/modLineRules.cpp "unit" \
    'if (i + 1 == lines.size()) {' 'if (false) {'
fault "a line holding U+FFFD acted on" sweep/modLineRules.cpp "unit hostile" \
    'if (c == 0xFFFD) {' 'if (false) {'
fault "unmarked manifests read" sweep/modUTF8_FileIO.h "unit e2e" \
    'inline constexpr ReadChoices kManifestReading{};' 'inline constexpr ReadChoices kManifestReading{true, false, false};'
fault "development folder one level up" sweep/modBaseFolder.cpp "unit e2e" \
    'ParentFolder(programFolder.Text(), 2)' 'ParentFolder(programFolder.Text(), 1)'
fault "invalid UTF-8 drops the whole manifest" common/modText.cpp "unit hostile" \
    'MultiByteToWideChar(codePage, 0,' 'MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS,'
fault "manifests over 16 MB not read" sweep/modUTF8_FileIO.cpp "hostile" \
    'length > SIZE_MAX / 4' 'length > (16u << 20)'
fault "the descrambling amounts swapped" sweep/modCrypt.h "unit" \
    'kDescrambleEvenAmount = 3; inline constexpr int kDescrambleOddAmount = 5;' \
    'kDescrambleEvenAmount = 5; inline constexpr int kDescrambleOddAmount = 3;'
# The log.
fault "a log name ending in a dot or a blank made before it is refused" common/modLog.cpp "e2e" \
    "if ((i + 1 == pieces.size() || form == PathForm::Literal) && EndsInDotOrBlank(pieces[i])) {" \
    "if (false && (i + 1 == pieces.size() || form == PathForm::Literal) && EndsInDotOrBlank(pieces[i])) {"
fault "a log made and then refused left behind" common/modLog.cpp "e2e" \
    'if (made) {' 'if (false) {'
fault "a log appended to a file that is no log" common/modLog.cpp "e2e" \
    'IsEmptyOrDecisionLog(file);' '(IsEmptyOrDecisionLog(file) || true);'
# sweepcheck.
fault "sweepcheck's own suffix differs from the sweep's" check/modFindings.cpp "e2e" \
    'const std::wstring_view suffix = sweep::kShortcutSuffix;' 'const std::wstring_view suffix = L".lnk";'
fault "sweepcheck trims a folder's name as the system does" check/modMain.cpp "e2e" \
    'full += last.substr(kept + 1);' '(void)kept;'
# The keeper.
fault "the keeper starts no paused service" keeper/modMain.cpp "keeper" \
    'if (reading.state != SERVICE_RUNNING) {' 'if (reading.state != SERVICE_RUNNING && reading.state != SERVICE_PAUSED) {'
fault "the keeper stops nothing" keeper/modService.cpp "keeper service" \
    '::ControlService(handle, SERVICE_CONTROL_STOP,' '::ControlService(handle, SERVICE_CONTROL_INTERROGATE,'
# The installer pieces: the installers test carries a program that does
# nothing in place of ours (its INSTALLERS_TEST_DO_NOTHING); no source
# changes ("-"), and every check that claims the program's work must fail.
fault "the installers carry a sweep that does nothing" - "installers-sweep-does-nothing" '' ''
fault "the installers carry a keeper whose stop sends nothing" - "installers-keeper-does-nothing" '' ''

if [ "$list" = yes ]; then
    for i in "${!names[@]}"; do
        printf '%-72s %-24s %s\n' "${names[$i]}" "${files[$i]}" "${programs[$i]}"
    done
    exit 0
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-faults.XXXXXX")"
prefix="$work/wineprefix"
cleanup() {
    "$repo/scripts/wine-prefix" destroy "$prefix" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

tree="$work/sources"
build="$tree/build"
(cd "$repo" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf -) | (mkdir -p "$tree" && tar -x -C "$tree")
cp -a "$tree" "$work/pristine"

targets=(shortcutsweep sweepcheck svckeeper test_service common_unit_tests sweep_unit_tests
    sweep_end_to_end_tests sweep_hostile_input_tests sweep_property_tests keeper_end_to_end_tests
    keeper_service_tests VantrelActions)
build_all() {
    cmake --build "$build" --target "${targets[@]}" >"$work/build.log" 2>&1
}

# Runs one test program; its output goes to $2, the arguments after it go
# to GoogleTest. Status 0 when it ended with GoogleTest's summary.
run_program() { # key, output file, GoogleTest's arguments...
    local b="$build" run=(timeout -k 30 600 "$repo/scripts/wine-run" --prefix "$prefix")
    case "$1" in
        common) "${run[@]}" "$b/tests/common_unit_tests.exe" "${@:3}" >"$2" 2>&1 ;;
        unit) "${run[@]}" "$b/tests/sweep_unit_tests.exe" "${@:3}" >"$2" 2>&1 ;;
        e2e) "${run[@]}" "$b/tests/sweep_end_to_end_tests.exe" "$b/sweep/shortcutsweep.exe" \
            "$b/check/sweepcheck.exe" "${@:3}" >"$2" 2>&1 ;;
        hostile) "${run[@]}" "$b/tests/sweep_hostile_input_tests.exe" "$b/sweep/shortcutsweep.exe" \
            "$b/check/sweepcheck.exe" "${@:3}" >"$2" 2>&1 ;;
        property) "${run[@]}" "$b/tests/sweep_property_tests.exe" "$b/sweep/shortcutsweep.exe" \
            --cases="$cases" --seed="$seed" "${@:3}" >"$2" 2>&1 ;;
        keeper) "${run[@]}" "$b/tests/keeper_end_to_end_tests.exe" "$b/keeper/svckeeper.exe" \
            "$b/tests/test_service.exe" "${@:3}" >"$2" 2>&1 ;;
        service) "${run[@]}" "$b/tests/keeper_service_tests.exe" "$b/tests/test_service.exe" "${@:3}" >"$2" 2>&1 ;;
        installers | installers-*-does-nothing)
            local nothing="${1#installers}"
            nothing="${nothing#-}"
            INSTALLERS_TEST_DO_NOTHING="${nothing%-does-nothing}" VANTREL_ACTIONS_DLL="$b/integration/VantrelActions.dll" \
                timeout -k 30 1200 bash "$tree/tests/installers_test.sh" "$b/installers-test" \
                "$b/sweep/shortcutsweep.exe" "$b/keeper/svckeeper.exe" "$b/check/sweepcheck.exe" \
                "$b/tests/test_service.exe" >"$2" 2>&1
            # Its summary: every check passed, or how many failed.
            grep -qE '^(PASS: all checks passed|FAIL: [0-9]+ check\(s\) failed)' "$2"
            return
            ;;
        *)
            echo "unknown test program $1" >"$2"
            return 1
            ;;
    esac
    tr -d '\r' <"$2" | grep -qE '^\[  (PASSED|FAILED)  \] [0-9]+ tests?'
}

# The tests the output $1 says failed, one a line, sorted: GoogleTest's
# names, or the installers test's failed checks (less its closing count).
failed_tests() {
    tr -d '\r' <"$1" | sed -n -e 's/^\[  FAILED  \] \([A-Za-z0-9_]*\.[A-Za-z0-9_/]*\).*/\1/p' \
        -e '/^FAIL: [0-9]* check(s) failed$/d' -e 's/^FAIL: \(.*\)/"\1"/p' | sort -u
}

echo "building the unchanged sources ..."
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
if ! build_all; then
    tail -n 30 "$work/build.log"
    echo "the unchanged sources do not build" >&2
    exit 1
fi
"$repo/scripts/wine-prefix" create "$prefix"
echo "seed $seed, $cases random cases per property run"

# The unchanged sources' run of each program a fault asks for, once.
declare -A baseline=()
baseline_of() { # key
    if [ -z "${baseline[$1]+set}" ]; then
        # The last fault's file was put back, but not built yet.
        build_all || { echo "the unchanged sources do not build" >&2; exit 1; }
        if run_program "$1" "$work/base-$1.log" || run_program "$1" "$work/base-$1.log"; then
            baseline[$1]="$(failed_tests "$work/base-$1.log")"
        else
            baseline[$1]="NOT RUN"
        fi
        [ -z "${baseline[$1]}" ] || echo "note: on the unchanged sources $1: ${baseline[$1]//$'\n'/, }"
    fi
}

# Runs a test program on the changed sources. It stops at the first test
# that fails where the unchanged sources' passed (one is enough to catch
# the fault, and the rest would only take time). A program that ends
# without its summary is run once more: under qemu-i386 a Wine process
# now and then waits for the Wine server for good, with no fault of its own.
run_faulty() { # key
    local args=(--gtest_fail_fast)
    [ -z "${baseline[$1]}" ] || args+=("--gtest_filter=-$(tr '\n' ':' <<<"${baseline[$1]}")")
    run_program "$1" "$work/fault-$1.log" "${args[@]}" && return
    echo "note: $1 ended without its summary; run once more" >"$work/fault-$1.first"
    run_program "$1" "$work/fault-$1.log" "${args[@]}"
}

tried=0
caught=0
for i in "${!names[@]}"; do
    name="${names[$i]}" file="${files[$i]}" find="${finds[$i]}" replace="${replaces[$i]}"
    grep -qE -- "$only" <<<"$name" || continue
    tried=$((tried + 1))
    if [ "$file" = - ]; then
        # A program swapped in, the sources unchanged: its run against that
        # of the same test with ours.
        key="${programs[$i]}"
        # The last fault's file was put back, but not built yet.
        if ! build_all; then
            echo "NOT BUILT    $name: the unchanged sources do not build"
            continue
        fi
        baseline_of installers
        by=()
        if [ "${baseline[installers]}" = "NOT RUN" ] || ! run_program "$key" "$work/fault-$key.log"; then
            echo "NOT RUN      $name: the installers test ended without its summary"
            continue
        fi
        while IFS= read -r test; do
            [ -n "$test" ] && ! grep -qxF -- "$test" <<<"${baseline[installers]}" && by+=("$test")
        done < <(failed_tests "$work/fault-$key.log")
        if [ ${#by[@]} -gt 0 ]; then
            caught=$((caught + 1))
            echo "CAUGHT       $name: by ${#by[@]} checks of the installers test, the first ${by[0]}"
        else
            echo "MISSED       $name: every check of the installers test passed"
        fi
        continue
    fi
    for key in ${programs[$i]}; do baseline_of "$key"; done
    # The text with any spacing between its characters.
    count="$(FIND="$find" perl -0ne '
        my $f = $ENV{FIND}; $f =~ s/\s+//g;
        my $re = join("\\s*", map { quotemeta } split(//, $f));
        my $n = () = /$re/g; print $n' "$tree/$file")"
    if [ "$count" != 1 ]; then
        echo "NOT APPLIED  $name: its text is in $file $count times, not once"
        continue
    fi
    FIND="$find" REPLACE="$replace" perl -0pi -e '
        my $f = $ENV{FIND}; $f =~ s/\s+//g;
        my $re = join("\\s*", map { quotemeta } split(//, $f));
        s/$re/$ENV{REPLACE}/' "$tree/$file"
    if ! build_all; then
        echo "NOT BUILT    $name: the changed sources do not build"
        cp "$work/pristine/$file" "$tree/$file"
        continue
    fi
    by=() not_run=()
    for key in ${programs[$i]}; do
        if [ "${baseline[$key]}" = "NOT RUN" ] || ! run_faulty "$key"; then
            not_run+=("$key")
            continue
        fi
        while IFS= read -r test; do
            [ -n "$test" ] && ! grep -qxF -- "$test" <<<"${baseline[$key]}" && by+=("$test")
        done < <(failed_tests "$work/fault-$key.log")
        # One program that fails is enough; the rest would only take time.
        [ ${#by[@]} -eq 0 ] || break
    done
    cp "$work/pristine/$file" "$tree/$file"
    touch "$tree/$file"
    if [ ${#by[@]} -gt 0 ]; then
        caught=$((caught + 1))
        echo "CAUGHT       $name: by ${by[*]}"
    elif [ ${#not_run[@]} -gt 0 ]; then
        echo "NOT RUN      $name: ${not_run[*]} ended without GoogleTest's summary"
    else
        echo "MISSED       $name: every test of ${programs[$i]} passed"
    fi
done
echo "$caught of $tried faults caught"
[ "$caught" = "$tried" ]
