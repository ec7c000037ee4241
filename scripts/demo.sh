#!/usr/bin/env bash
# The main job, shown on a demo install: builds the programs, then runs
# shortcutsweep under Wine over a folder with manifests in all four
# languages and reports which shortcuts went, which stayed, and why; then
# registers a demo "Vantrel Service" in the same private prefix and runs
# svckeeper without and with an argument, showing the service before and
# after each run; installs and removes the demo Windows Installer package
# that calls them. Ends with sweepcheck on a manifest with two traps.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
bash scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target shortcutsweep svckeeper sweepcheck test_service >/dev/null
source scripts/wine-env.sh

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

# The tools in their real caller: the demo Windows Installer package
# (integration/wix) installs the programs and the service, writes the
# manifests and calls svckeeper; its removal stops the service and calls
# shortcutsweep.
echo
if wine_needs_qemu_shim; then
    # Under qemu-i386 Wine's msiexec dies (signal 11); see tests/installers_test.sh.
    echo "The demo Windows Installer package: not shown on this machine, whose kernel runs no 32-bit"
    echo "programs: under qemu-i386 Wine's msiexec crashes. A kernel that runs them shows it."
else
    echo "The demo Windows Installer package (integration/wix/demo.wxs), built with wixl:"
    wine sc stop "Vantrel Service" >/dev/null 2>&1 || true
    wine sc delete "Vantrel Service" >/dev/null 2>&1 || true
    bash integration/build.sh "$demo/installer" build/mingw/sweep/shortcutsweep.exe build/mingw/keeper/svckeeper.exe \
        build/mingw/check/sweepcheck.exe build/mingw/tests/test_service.exe 1.0.0 >"$demo/installer-build.log" 2>&1
    msi="$(winpath "$demo/installer/1.0.0/VantrelDemo.msi")"
    public_desktop="$prefix/drive_c/users/Public/Desktop"
    echo "Running: wine msiexec /i VantrelDemo.msi /qn"
    status=0
    wine msiexec /i "$msi" /qn || status=$?
    wait_for_state RUNNING || true
    demo_install="$(ls -d "$prefix/drive_c/Program Files"*/"Vantrel Demo" 2>/dev/null | head -n 1 || true)"
    echo "Exit status $status"
    show_service "after the install:"
    echo "    on the public desktop: $(cd "$public_desktop" && ls -1 Vantrel* 2>/dev/null | tr '\n' ' ' || true)"
    echo "    beside the programs:   $(cd "$demo_install" && ls -1 __shortcutsweep* 2>/dev/null | tr '\n' ' ' || true)"
    if [ "$status" != 0 ] || [ "$(start_type)" != automatic ] || [ "$(service_state)" != RUNNING ] ||
        [ ! -e "$demo_install/__shortcutsweep-en.ini" ]; then
        echo "    <-- UNEXPECTED: the package should install, keep the service running and write the manifests"
        unexpected=1
    fi
    echo "Running: wine msiexec /x VantrelDemo.msi /qn"
    status=0
    wine msiexec /x "$msi" /qn || status=$?
    echo "Exit status $status"
    left="$(cd "$public_desktop" 2>/dev/null && ls -1 Vantrel* 2>/dev/null | tr '\n' ' ' || true)"
    echo "    on the public desktop: ${left:-no Vantrel shortcut}"
    echo "    the service:           $(wine sc query "Vantrel Service" >/dev/null 2>&1 && echo still registered || echo deleted)"
    if [ "$status" != 0 ] || [ -n "$left" ] || [ -e "$demo_install/__shortcutsweep-en.ini" ]; then
        echo "    <-- UNEXPECTED: the removal should sweep the listed shortcuts and the manifests"
        unexpected=1
    fi
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
