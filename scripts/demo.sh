#!/usr/bin/env bash
# The main job, shown on a demo install: builds the programs, then runs
# shortcutsweep under Wine over a folder with manifests in all four
# languages and reports which shortcuts went, which stayed, and why; then
# registers a demo "Vantrel Service" in the same private prefix and runs
# svckeeper without and with an argument, showing the service before and
# after each run; installs and removes the demo Windows Installer package,
# NSIS setup and Inno Setup setup that call them, one line per outcome
# (under qemu-i386, where msiexec and Inno's compiler crash, the NSIS setup
# alone). Ends with sweepcheck on a manifest with two traps.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
[ -n "${VANTREL_DEMO_DISPLAY:-}" ] || bash scripts/setup.sh
source scripts/wine-env.sh
# Inno Setup's setup needs a display, even when silent: where it is shown
# (not under qemu-i386, below), the whole demo runs on one virtual display,
# which every Wine process of its prefix shares.
if [ -z "${VANTREL_DEMO_DISPLAY:-}" ] && ! wine_needs_qemu_shim; then
    VANTREL_DEMO_DISPLAY=1 exec xvfb-run -a bash "$repo/scripts/demo.sh" "$@"
fi
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target shortcutsweep svckeeper sweepcheck test_service VantrelActions >/dev/null
export VANTREL_ACTIONS_DLL="$PWD/build/mingw/integration/VantrelActions.dll"

demo="$repo/build/demo"
prefix="$demo/wineprefix"
install="$demo/Vantrel/Tool/bin"
links="$demo/Links"
rm -rf "$demo"
mkdir -p "$install" "$links"
cp build/mingw/sweep/shortcutsweep.exe "$install/"

echo "Preparing a private Wine prefix in $prefix ..."
wine_prefix_create "$prefix"
trap 'wine_prefix_destroy "$prefix"' EXIT
wine_use_prefix "$prefix"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
shortcut() {
    mkdir -p "$(dirname "$links/$1")"
    printf '[InternetShortcut]\r\nURL=https://example.invalid/\r\n' >"$links/$1"
}

# Every file the demo makes: path under Links | what should happen | why.
plan=(
    "Vantrel Home.url|removed|listed in the English manifest"
    "Vantrel Support.lnk|kept|listed, but its line does not end in .url"
    "Vantrel Hilfe.url|removed|listed in the German manifest"
    "Vantrel Forum.url|kept|the last line of the German manifest has no CR LF after it"
    "Aide de Vantrel.url|removed|listed in the French manifest"
    "Manuel d'été.url|removed|listed in the French manifest (accented name)"
    "デスクトップ/Vantrel ヘルプ.url|removed|listed in the Japanese manifest"
    "Public/Vantrel News.url|removed|matched by the wildcard line Public\\*.url"
    "Public/Vantrel Store.URL|removed|matched by the wildcard line (names match in any case)"
    "Public/Vantrel Notes.urlx|kept|*.url matches whole names only, never a short 8.3 alias"
    "Public/Vantrel Hidden.url|kept|hidden files never match"
    "Public/Vantrel Locked.url|kept|read-only files are never deleted"
    "Other/Vantrel Tips.url|removed|listed as Public\\..\\Other\\Vantrel Tips.url, which Windows reads as Other\\Vantrel Tips.url"
    "Other/Vantrel Extra.url|kept|listed as Z:\\..\\...: a .. that climbs above the drive is refused"
    "Vantrel Old.url|kept|listed as ...\\Vantrel Old.URL: only lines ending in lower-case .url count"
)
for entry in "${plan[@]}"; do shortcut "${entry%%|*}"; done
mkdir -p "$links/Public/Folder.url"
wine attrib +h "$(winpath "$links/Public/Vantrel Hidden.url")" >/dev/null 2>&1
chmod a-w "$links/Public/Vantrel Locked.url"

manifest() { # language, then lines; the last argument follows the last CR LF
    local lang="$1" out
    shift
    out="$install/__shortcutsweep-$lang.ini"
    printf '\xEF\xBB\xBF' >"$out"
    while [ $# -gt 1 ]; do
        printf '%s\r\n' "$1" >>"$out"
        shift
    done
    printf '%s' "$1" >>"$out"
}
L="$(winpath "$links")"
manifest en "$L\\Vantrel Home.url" "$L\\Vantrel Support.lnk" "$L\\Vantrel Old.URL" ""
manifest de "$L\\Vantrel Hilfe.url" "$L\\Vantrel Forum.url"
manifest fr "$L\\Aide de Vantrel.url" "$L\\Manuel d'été.url" ""
manifest ja "$L\\デスクトップ\\Vantrel ヘルプ.url" "$L\\Public\\*.url" "$L\\Public\\..\\Other\\Vantrel Tips.url" \
    "Z:\\..${L#Z:}\\Other\\Vantrel Extra.url" ""
printf '@echo off\r\n' >"$install/__shortcutsweep.bat"

echo
echo "Install folder $(winpath "$install"):"
ls -1 "$install" | sed 's/^/    /'
echo
echo "Running: wine shortcutsweep.exe (no arguments: the manifests beside the program),"
echo "         with VANTREL_TOOLS_LOG=$(winpath "$demo/tools.log")"
start=$(date +%s%N)
status=0
VANTREL_TOOLS_LOG="$(winpath "$demo/tools.log")" wine "$(winpath "$install")\\shortcutsweep.exe" || status=$?
echo "Exit status $status, $((($(date +%s%N) - start) / 1000000)) ms"
echo

unexpected=0
printf '%-8s %-40s %s\n' RESULT SHORTCUT WHY
for entry in "${plan[@]}"; do
    IFS='|' read -r path expected why <<<"$entry"
    if [ -e "$links/$path" ]; then actual=kept; else actual=removed; fi
    mark=""
    if [ "$actual" != "$expected" ]; then
        mark="   <-- UNEXPECTED, expected $expected"
        unexpected=1
    fi
    printf '%-8s %-40s %s%s\n' "$actual" "$path" "$why" "$mark"
done
echo
echo "Install folder afterwards (manifests and batch file are gone):"
ls -1 "$install" | sed 's/^/    /'
chmod u+w "$links/Public/Vantrel Locked.url"
echo
echo "From the sweep's decision log ($(wc -l <"$demo/tools.log") lines), the Japanese manifest:"
tr -d '\r' <"$demo/tools.log" | grep -E '(manifest ja|ja line)' | sed 's/^/    /'
grep -q 'ja line 3 .*: deleted .*Vantrel Tips.url' "$demo/tools.log" || {
    echo "    <-- UNEXPECTED: the log does not show the .. line's shortcut deleted"
    unexpected=1
}

# svckeeper. The demo service is the keeper's test service, which runs until
# it is told to stop and notes each start and stop in a log.
echo
service_dir="$demo/Vantrel/Service"
mkdir -p "$service_dir"
cp build/mingw/keeper/svckeeper.exe build/mingw/tests/test_service.exe "$service_dir/"
S="$(winpath "$service_dir")"
service_key='HKLM\System\CurrentControlSet\Services\Vantrel Service'

start_type() {
    case "$(wine reg query "$service_key" /v Start 2>/dev/null | tr -d '\r' | awk '$1 == "Start" { print $3 }')" in
        0x2) echo automatic ;;
        0x3) echo on-demand ;;
        0x4) echo disabled ;;
        *) echo unknown ;;
    esac
}
service_state() {
    local state
    state="$(wine sc query "Vantrel Service" 2>/dev/null | tr -d '\r' | awk '$1 == "STATE" { print $4 }')"
    echo "${state:-UNKNOWN}"
}
# Waits up to 30 s for the state the keeper asked for.
wait_for_state() {
    local want="$1" i
    for ((i = 0; i < 60; i++)); do
        [ "$(service_state)" = "$want" ] && return 0
        sleep 0.5
    done
    return 1
}
show_service() {
    printf '    %-20s start type %-10s state %s\n' "$1" "$(start_type)" "$(service_state)"
}
run_keeper() { # what to expect afterwards (start type, state), then the arguments
    local want_type="$1" want_state="$2" status=0 mark=""
    shift 2
    echo "Running: wine svckeeper.exe${*:+ $*}"
    wine "$S\\svckeeper.exe" "$@" || status=$?
    wait_for_state "$want_state" || true
    [ "$status" = 0 ] || mark="   <-- UNEXPECTED exit status $status"
    if [ "$(start_type)" != "$want_type" ] || [ "$(service_state)" != "$want_state" ]; then
        mark="$mark   <-- UNEXPECTED, expected $want_type and $want_state"
    fi
    [ -z "$mark" ] || unexpected=1
    show_service "afterwards:"
    [ -z "$mark" ] || echo "$mark"
}

echo "Registering a demo \"Vantrel Service\" (on demand, stopped) ..."
wine sc create "Vantrel Service" binpath= "\"$S\\test_service.exe\" running \"$S\\service.log\"" \
    start= demand >/dev/null
show_service "before:"
run_keeper automatic RUNNING
echo "Running it again changes nothing:"
run_keeper automatic RUNNING
echo "With any argument the keeper stops the service and leaves the start type:"
run_keeper automatic STOPPED stop
echo
echo "What the service was asked (its log):"
tr -d '\r' <"$service_dir/service.log" | sed 's/^/    /'

# The tools in their real callers: the demo Windows Installer package, NSIS
# setup and Inno Setup setup (integration/) install the programs and the
# service, write the manifests and call svckeeper; their removal stops the
# service and calls shortcutsweep. One line per outcome.
echo
wine sc stop "Vantrel Service" >/dev/null 2>&1 || true
wine sc delete "Vantrel Service" >/dev/null 2>&1 || true
installers="$demo/installer"
public_desktop="$prefix/drive_c/users/Public/Desktop"
tools=(build/mingw/sweep/shortcutsweep.exe build/mingw/keeper/svckeeper.exe build/mingw/check/sweepcheck.exe
    build/mingw/tests/test_service.exe)
demo_folder() { ls -d "$prefix/drive_c/Program Files"*/"Vantrel Demo" 2>/dev/null | head -n 1 || true; }
listed() { # folder, pattern: the names there, or "none"
    local names
    # shellcheck disable=SC2086 # the pattern is meant to match
    names="$(cd "$1" 2>/dev/null && ls -1d $2 2>/dev/null | tr '\n' ' ' || true)"
    names="${names% }"
    echo "${names:-none}"
}
# One outcome a line: what was seen, and the mark when it is not what the
# rules give.
outcome() { # label, what was seen, what was expected, command that holds when it is as expected
    local label="$1" seen="$2" expected="$3"
    shift 3
    if "$@"; then
        printf '    %-22s %s\n' "$label" "$seen"
    else
        printf '    %-22s %s   <-- UNEXPECTED, expected %s\n' "$label" "$seen" "$expected"
        unexpected=1
    fi
}
service_gone() { ! wine sc query "Vantrel Service" >/dev/null 2>&1; }
eventually() { # command...: up to 10 s
    local _
    for _ in $(seq 20); do
        "$@" && return 0
        sleep 0.5
    done
    return 1
}
timed() { # command...: runs it (2 minutes at most), sets $status and $took
    local t0 tenths
    t0=$(date +%s%N)
    status=0
    timeout 120 "$@" </dev/null >>"$demo/installers.log" 2>&1 || status=$?
    tenths=$((($(date +%s%N) - t0) / 100000000))
    took="$((tenths / 10)).$((tenths % 10)) s"
}
installer_demo() { # title, the install's and the removal's command as shown, then the
    # install command, --, the removal command
    local title="$1" install_name="$2" remove_name="$3" folder
    shift 3
    local install_cmd=() remove_cmd=()
    while [ "$1" != -- ]; do install_cmd+=("$1") && shift; done
    shift
    remove_cmd=("$@")
    echo "$title"
    mkdir -p "$public_desktop"
    echo "Running: wine $install_name"
    timed "${install_cmd[@]}"
    outcome "exit status:" "$status ($took)" 0 test "$status" = 0
    wait_for_state RUNNING || true
    folder="$(demo_folder)"
    outcome "the service:" "start type $(start_type), state $(service_state)" "automatic and RUNNING" \
        test "$(start_type) $(service_state)" = "automatic RUNNING"
    outcome "on the public desktop:" "$(listed "$public_desktop" 'Vantrel*')" "Vantrel Home.url Vantrel Startseite.url" \
        test -e "$public_desktop/Vantrel Home.url" -a -e "$public_desktop/Vantrel Startseite.url"
    outcome "beside the programs:" "$(listed "$folder" '__shortcutsweep*')" "the manifests and the batch file" \
        test -e "$folder/__shortcutsweep-en.ini" -a -e "$folder/__shortcutsweep-de.ini"
    echo "Running: wine $remove_name"
    timed "${remove_cmd[@]}"
    # Inno's uninstaller removes itself a moment after it ends.
    eventually test ! -e "$folder/unins000.exe" || true
    outcome "exit status:" "$status ($took)" 0 test "$status" = 0
    outcome "on the public desktop:" "$(listed "$public_desktop" 'Vantrel*')" "none (swept)" \
        test "$(listed "$public_desktop" 'Vantrel*')" = none
    outcome "beside the programs:" "$(listed "$folder" '__shortcutsweep*')" "none (swept)" \
        test "$(listed "$folder" '__shortcutsweep*')" = none
    eventually service_gone || true
    outcome "the service:" "$(service_gone && echo deleted || echo "still registered, state $(service_state)")" \
        deleted service_gone
    # An NSIS uninstaller told to wait leaves itself behind.
    [ -z "$folder" ] || rm -rf "$folder"
}

# Under qemu-i386 Wine's msiexec and Inno Setup's compiler crash (see
# tests/installers_test.sh); the NSIS setup runs.
demos="msi nsis inno"
if wine_needs_qemu_shim; then
    demos="nsis"
    echo "The demo Windows Installer package: left out, as Wine's msiexec crashes under qemu-i386 (this kernel runs no 32-bit programs)."
    echo "The demo Inno Setup setup: left out, as Inno Setup's compiler crashes under qemu-i386 (this kernel runs no 32-bit programs)."
    echo
fi
built_log="$demo/installer-build.log"
not_built() { # what
    echo "$1 could not be built   <-- UNEXPECTED; from $built_log:"
    tail -n 20 "$built_log" | sed 's/^/    /'
    unexpected=1
}
out="$installers/1.0.0"
if ! DEMOS="${demos% inno}" bash integration/build.sh "$installers" "${tools[@]}" 1.0.0 >"$built_log" 2>&1; then
    not_built "The demo installers"
    demos=""
fi
if [[ " $demos " == *" inno "* ]]; then
    # Inno Setup's compiler: npm's innosetup, pinned as the installers test
    # pins it, run under Wine in the demo's prefix.
    inno="$repo/build/mingw/innosetup-6.4.1"
    [ -f "$inno/bin/ISCC.exe" ] || rm -rf "$inno"
    if ! bash scripts/npm-fetch.sh innosetup 6.4.1 fc36b763a729c8964416552d733f4864ac4a4934d0a6569e20c2feb4c29b9684 \
        "$inno" bin >>"$built_log" 2>&1 ||
        ! DEMOS=inno ISCC="wine $inno/bin/ISCC.exe" bash integration/build.sh "$demo/installer-inno" "${tools[@]}" 1.0.0 \
            >>"$built_log" 2>&1 </dev/null ||
        ! mv "$demo/installer-inno/1.0.0/VantrelDemoInno.exe" "$out/"; then
        not_built "The demo Inno Setup setup"
        demos="${demos% inno}"
    fi
fi
install_win='C:\Program Files\Vantrel Demo'
[ -d "$prefix/drive_c/Program Files (x86)" ] && install_win='C:\Program Files (x86)\Vantrel Demo'
if [[ " $demos " == *" msi "* ]]; then
    msi="$(winpath "$out/VantrelDemo.msi")"
    installer_demo "The demo Windows Installer package (integration/wix/demo.wxs), built with wixl:" \
        "msiexec /i VantrelDemo.msi /qn" "msiexec /x VantrelDemo.msi /qn" \
        wine msiexec /i "$msi" /qn -- wine msiexec /x "$msi" /qn
    echo
fi
if [[ " $demos " == *" nsis "* ]]; then
    # An NSIS uninstaller returns at once, before its work, unless given
    # _?=<folder>, which must reach it unquoted; a batch file passes it so.
    printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$install_win" "$install_win" \
        >"$installers/uninstall-nsis.bat"
    installer_demo "The demo NSIS setup (integration/nsis/demo.nsi), built with makensis:" \
        "VantrelDemoSetup.exe /S" "uninstall.exe /S" \
        wine "$(winpath "$out/VantrelDemoSetup.exe")" /S -- wine cmd /c "$(winpath "$installers/uninstall-nsis.bat")"
fi
if [[ " $demos " == *" inno "* ]]; then
    echo
    # Inno's setup needs a display even when silent: the demo runs on a
    # virtual one (above).
    installer_demo "The demo Inno Setup setup (integration/inno/demo.iss), built with Inno Setup 6.4.1's compiler:" \
        "VantrelDemoInno.exe /VERYSILENT /SUPPRESSMSGBOXES" "unins000.exe /VERYSILENT /SUPPRESSMSGBOXES" \
        wine "$(winpath "$out/VantrelDemoInno.exe")" /VERYSILENT /SUPPRESSMSGBOXES -- \
        wine "$install_win\\unins000.exe" /VERYSILENT /SUPPRESSMSGBOXES
fi

# sweepcheck, as an installer's build would run it on a manifest it made.
echo
check="$demo/check"
mkdir -p "$check"
printf '\xEF\xBB\xBF%s\r\n%s\r\n%s' "$L\\Vantrel Home.url" "$L\\Vantrel Support.URL" \
    "$L\\Vantrel Forum.url" >"$check/__shortcutsweep-en.ini"
shortcut "Vantrel Home.url"
echo "A manifest with two traps (a line ending in .URL, a last line without CR LF):"
tr -d '\r' <"$check/__shortcutsweep-en.ini" | sed 's/^\xEF\xBB\xBF//; s/^/    /'
echo
echo "Running: wine sweepcheck.exe $(winpath "$check")\\__shortcutsweep-en.ini"
cp build/mingw/check/sweepcheck.exe "$check/"
status=0
wine "$(winpath "$check")\\sweepcheck.exe" "$(winpath "$check")\\__shortcutsweep-en.ini" | tr -d '\r' |
    sed 's/^/    /' || true
wine "$(winpath "$check")\\sweepcheck.exe" "$(winpath "$check")\\__shortcutsweep-en.ini" >/dev/null || status=$?
echo "Exit status $status (1: findings)"
if [ "$status" != 1 ] || [ ! -e "$check/__shortcutsweep-en.ini" ] || [ ! -e "$links/Vantrel Home.url" ]; then
    echo "    <-- UNEXPECTED: sweepcheck should find the two traps and change nothing"
    unexpected=1
fi
exit $unexpected
