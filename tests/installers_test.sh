#!/usr/bin/env bash
# The programs inside their real callers: the demo Windows Installer package,
# the demo NSIS setup and the demo Inno Setup setup (integration/), built
# around the given programs and run under Wine: install, update to a higher
# version (whose pieces get the programs' paths in quotes, as an author may
# write them), removal, a removal whose programs are gone, and the decision
# log named in the registry; for the package a second copy side by side and
# a refused downgrade, for NSIS an update into another folder, a manifest
# line too long for NSIS, and the unquoted-path trap made visible under Wine.
#
# Usage: installers_test.sh WORKDIR SHORTCUTSWEEP_EXE SVCKEEPER_EXE SWEEPCHECK_EXE TEST_SERVICE_EXE
#
# Works in a Wine prefix of its own (the service it registers is "Vantrel
# Service", which no other test may share); needs wixl, msitools, nsis,
# the mingw-w64 C++ compiler (integration/build.sh), python3 (the file
# watcher), xvfb-run (Inno's setup needs a display) and, once, npm: Inno
# Setup's compiler comes from npm's innosetup package, kept beside WORKDIR.
#
# Where Wine's 32-bit side runs under qemu-i386 (a kernel without 32-bit
# execution), Wine's msiexec and Inno Setup's compiler crash: there the
# package is built and its tables checked but not installed, the Inno
# scripts are checked as text but not compiled, and the NSIS setup runs in
# full. Each phase left out is named, with the reason. Exit status 77 (CTest:
# skipped) only when no phase ran at all.
#
# INSTALLERS_TEST_DO_NOTHING=sweep or =keeper puts a shortcutsweep that does
# nothing, or an svckeeper whose stop sends nothing (tests/support/do-nothing/),
# into the installers in place of the given one: every check that claims
# the sweep's or the keeper's work must then fail. The test fails as a whole
# (as it must); count its "ok:" lines.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -ne 5 ]; then
    echo "usage: $0 WORKDIR SHORTCUTSWEEP_EXE SVCKEEPER_EXE SWEEPCHECK_EXE TEST_SERVICE_EXE" >&2
    exit 2
fi
# Inno's setup and uninstaller need a display, even when silent: the whole
# test runs on one virtual display, so that every Wine process of its
# prefix, started early or late, shares it.
if [ -z "${INSTALLERS_TEST_DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "FAIL: xvfb-run is needed (bash scripts/setup.sh installs it)"; exit 1; }
    INSTALLERS_TEST_DISPLAY=1 exec xvfb-run -a bash "$0" "$@"
fi
work="$1"
shift
started=$(date +%s)
# The decision log must come from the registry alone.
unset VANTREL_TOOLS_LOG

rm -rf "$work"
mkdir -p "$work/logs"
work="$(cd "$work" && pwd)"
command -v python3 >/dev/null || { echo "FAIL: python3 is needed to watch the files"; exit 1; }

source "$repo/scripts/wine-env.sh"
source "$repo/tests/checks.sh"

# Where Wine's 32-bit side runs through qemu-i386 (a kernel without 32-bit
# execution), msiexec and Inno Setup's compiler die (signal 11): the
# package's install at InstallFiles in 3 tries of 4, or it hung in its first
# custom action; ISCC at every compile. There the package is built and its
# tables are checked, the Inno scripts are checked as text, and the NSIS
# setup, which runs there, is put through everything.
run_msi=yes run_inno=yes
left_out=()
if wine_needs_qemu_shim; then
    run_msi=no run_inno=no
    left_out+=("the Windows Installer package's installs, update, removals, second copy and VantrelActions.dll's probe: Wine's msiexec crashes under qemu-i386 (this kernel runs no 32-bit programs), and its custom-action server, which records each DLL action as succeeded without running it"
        "the Inno Setup demo's setups, installs, update, removals and second copy: Inno Setup's compiler crashes under qemu-i386 when it writes a setup (its scripts are compiled there without output, /O-)")
fi
left_out_note() { local l; for l in "${left_out[@]}"; do echo "LEFT OUT: $l"; done; }
left_out_note
phases_run=0

# Inno Setup's compiler, pinned: npm's innosetup 6.4.1 carries ISCC.exe.
# Fetched once into the build folder; a tool of this test, never shipped.
inno="$(dirname "$work")/innosetup-6.4.1"
if [ ! -f "$inno/bin/ISCC.exe" ]; then
    rm -rf "$inno"
    bash "$repo/scripts/npm-fetch.sh" innosetup 6.4.1 fc36b763a729c8964416552d733f4864ac4a4934d0a6569e20c2feb4c29b9684 \
        "$inno" bin || { echo "FAIL: npm could not fetch innosetup 6.4.1 (the compiler of the Inno Setup demo)"; exit 1; }
fi

prefix="$work/wineprefix"
watcher=""
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null; wine_prefix_destroy "$prefix"' EXIT
# The prefix is made while the package and the NSIS setups are built;
# Inno's compiler runs in it afterwards.
wine_prefix_create "$prefix" &
prefix_maker=$!

tools=("$@")
# Programs that do nothing in place of the sweep or the keeper's stop.
case "${INSTALLERS_TEST_DO_NOTHING:-}" in
"") ;;
sweep | keeper)
    i=0 name=shortcutsweep
    [ "$INSTALLERS_TEST_DO_NOTHING" = sweep ] || i=1 name=svckeeper
    mkdir -p "$work/do-nothing"
    i686-w64-mingw32-gcc -std=c99 -O2 -s -static -mwindows -o "$work/do-nothing/$name.exe" \
        "$repo/tests/support/do-nothing/$name.c" -ladvapi32 || { echo "FAIL: the do-nothing $name could not be built"; exit 1; }
    tools[i]="$work/do-nothing/$name.exe"
    echo "NOTE: the installers carry a $name that does nothing (INSTALLERS_TEST_DO_NOTHING=$INSTALLERS_TEST_DO_NOTHING)"
    ;;
*)
    echo "INSTALLERS_TEST_DO_NOTHING: sweep or keeper, not $INSTALLERS_TEST_DO_NOTHING" >&2
    exit 2
    ;;
esac

# An edit of a copy of the demo sources, checked: it must change something,
# and afterwards the text it replaces must be gone.
edit() { # what, file, perl program, pattern (grep -E) that must not be left
    local what="$1" file="$2" before changed left
    before="$(cat "$file")"
    perl -pi -e "$3" "$file"
    changed=$(diff <(printf '%s\n' "$before") "$file" | grep -c '^>' || true)
    left=$(grep -cE -- "$4" "$file" || true)
    check "$what ($changed line(s) changed, $left left as they were)" test "$changed" -gt 0 -a "$left" = 0
}

# 1.0.0 from the pieces as they are; 1.1.0, the update, from a copy whose
# calls get the programs' paths in quotes; and the package of 1.1.0 built
# once more, a second copy of the same version (another product code).
out="$work/out"
quoted="$work/quoted"
mkdir -p "$quoted"
cp -r "$repo/integration" "$quoted/"
# shellcheck disable=SC2016 # perl programs and patterns, not shell
{
    edit "the update's NSIS calls give the programs' paths in quotes" "$quoted/integration/nsis/demo.nsi" \
        's/(!insertmacro Vantrel(?:KeeperStart|KeeperStop|ShortcutSweep)) "([^"]*)"/$1 '"'"'"$2"'"'"'/' \
        '!insertmacro Vantrel(KeeperStart|KeeperStop|ShortcutSweep) "'
    edit "the update's package calls give the programs' paths in quotes" "$quoted/integration/wix/VantrelTools.wxs" \
        's/Value="\[#(VantrelSvcKeeperExe|VantrelShortcutSweepExe)\]\|/Value="&quot;[#$1]&quot;|/' \
        'Value="\[#(VantrelSvcKeeperExe|VantrelShortcutSweepExe)\]'
    edit "the update's Inno calls give the programs' paths in quotes" "$quoted/integration/inno/demo.iss" \
        's/(Vantrel(?:KeeperStart|KeeperStop|ShortcutSweep))\(((?:App|PreviousDir) \+ [^)]*)\)/$1('"'"'"'"'"' + $2 + '"'"'"'"'"')/' \
        'Vantrel(KeeperStart|KeeperStop|ShortcutSweep)\((App|PreviousDir) \+'
}
# A second product beside the first, as an author may make one from the
# same pieces: another name, folder, AppId or UpgradeCode and uninstall
# key, the same "Vantrel Service".
copy2="$work/copy2"
mkdir -p "$copy2"
cp -r "$repo/integration" "$copy2/"
# shellcheck disable=SC2016 # perl programs and patterns, not shell
{
    edit "the second product's NSIS setup: \"Vantrel Demo 2\", its own uninstall key" "$copy2/integration/nsis/demo.nsi" \
        's/^!define PRODUCT "Vantrel Demo"$/!define PRODUCT "Vantrel Demo 2"/; s/(Uninstall\\VantrelDemo)"$/${1}2"/' \
        '^!define PRODUCT "Vantrel Demo"$|Uninstall\\VantrelDemo"$'
    edit "the second product's package: \"Vantrel Demo 2\", its own UpgradeCode and leftovers' GUID" "$copy2/integration/wix/demo.wxs" \
        's/6d0c9a47-3f1e-4b8a-9c52-7e41d8a0b3f5/1c7e5a90-2b4d-4f38-a6e1-9d03c5b7f214/g; s/"Vantrel Demo"/"Vantrel Demo 2"/g;
         s/^(\s*)(<\?include VantrelTools\.wxs \?>)/$1<?define VantrelToolsLeftoversGuid = 5b2d8e61-0f4a-4c93-b7e5-2a9c6d1f8e07 ?>\n$1$2/' \
        '6d0c9a47-3f1e-4b8a-9c52-7e41d8a0b3f5|"Vantrel Demo"'
    edit "the second product's Inno setup: \"Vantrel Demo 2\", its own AppId" "$copy2/integration/inno/demo.iss" \
        's/B7C5E0F2-6A1D-4E39-8F24-3D91C0A7E5B6/E2A4C6F8-1B3D-4F50-9A7C-5E1D3B9F0C26/g; s/Vantrel Demo(?! 2)/Vantrel Demo 2/g' \
        'B7C5E0F2-6A1D-4E39-8F24-3D91C0A7E5B6|Vantrel Demo([^ ]|$| [^2])'
}
check "the second product's package gets a leftovers' GUID of its own" \
    grep -q '<?define VantrelToolsLeftoversGuid = 5b2d8e61-0f4a-4c93-b7e5-2a9c6d1f8e07 ?>' "$copy2/integration/wix/demo.wxs"
build_demos() { # outdir, integration folder, demos, versions...
    local dir="$1" pieces="$2" demos="$3"
    shift 3
    DEMOS="$demos" ISCC="wine $inno/bin/ISCC.exe" bash "$pieces/build.sh" "$dir" "${tools[@]}" "$@" \
        </dev/null >>"$work/logs/build.log" 2>&1
}
built=yes
build_demos "$out" "$repo/integration" "msi nsis" 1.0.0 &&
    build_demos "$work/out-second" "$repo/integration" msi 1.1.0 &&
    build_demos "$work/out-quoted" "$quoted/integration" "msi nsis" 1.1.0 &&
    build_demos "$work/out-copy2" "$copy2/integration" "msi nsis" 1.0.0 || built=no
wait "$prefix_maker"
wine_use_prefix "$prefix"
if [ "$built" = yes ] && [ "$run_inno" = yes ]; then
    build_demos "$work/inno" "$repo/integration" inno 1.0.0 &&
        build_demos "$work/inno-quoted" "$quoted/integration" inno 1.1.0 &&
        build_demos "$work/inno-copy2" "$copy2/integration" inno 1.0.0 || built=no
fi
if [ "$built" = no ]; then
    cat "$work/logs/build.log"
    echo "FAIL: the demo installers could not be built"
    exit 1
fi
mv "$work/out-second/1.1.0" "$out/1.1.0-second" && mv "$work/out-quoted/1.1.0" "$out/1.1.0" &&
    mv "$work/out-copy2/1.0.0" "$out/copy2"
if [ "$run_inno" = yes ]; then
    mv "$work/inno/1.0.0/VantrelDemoInno.exe" "$out/1.0.0/" && mv "$work/inno-quoted/1.1.0/VantrelDemoInno.exe" "$out/1.1.0/" &&
        mv "$work/inno-copy2/1.0.0/VantrelDemoInno.exe" "$out/copy2/"
fi

winpath() { local p="${1//\//\\}"; echo "Z:$p"; }
drive_c="$prefix/drive_c"
program_files="Program Files"
[ -d "$drive_c/Program Files (x86)" ] && program_files="Program Files (x86)"
install="$drive_c/$program_files/Vantrel Demo"
install_win="C:\\$program_files\\Vantrel Demo"
desktop="$drive_c/users/Public/Desktop"
desktop_win='C:\users\Public\Desktop'
programs="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
menu="$programs/Vantrel Demo"
menu_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Vantrel Demo'
data="$drive_c/ProgramData/VantrelDemo"
service_log="$data/service.log"
tools_log="$drive_c/vantrel-tools.log"
service_key='HKLM\System\CurrentControlSet\Services\Vantrel Service'

# Under Wine, CreateProcess puts quotes around an unquoted program path with
# blanks when the caller names no program apart; on Windows svckeeper would
# take the rest of "C:\Program Files\..." as an argument and stop the
# service. ExecWait names none, so its quoting is checked in the text.
unquoted="$(grep -En "^[[:blank:]]*ExecWait" "$repo"/integration/nsis/*.nsh "$repo"/integration/nsis/*.nsi |
    grep -v "ExecWait '\"" || true)"
check "every NSIS ExecWait passes its program's path in quotes" test -z "$unquoted"
[ -z "$unquoted" ] || echo "$unquoted"

# Small NSIS programs around the macros: one writes a manifest with a line
# longer than NSIS holds; some try to write a manifest to a path that is no
# manifest's; one runs a program that is not there from a folder named in
# Japanese, which the setup log must keep; the others run svckeeper through
# the macros, as they are and with the quotes on the command line taken
# out, which shows the trap under Wine too, since the macros name the
# program apart.
mkdir -p "$work/probe/unquoted" "$work/probe/line" "$work/probe/utf8"
cp "$repo/integration/nsis/VantrelTools.nsh" "$work/probe/unquoted/"
# shellcheck disable=SC2016 # a perl program and a pattern, not shell
edit "the macros without quotes: the command line loses the quotes around the program" \
    "$work/probe/unquoted/VantrelTools.nsh" 's/StrCpy \$1 '"'"'"\$0"\$\{ARGS\}'"'"'/StrCpy \$1 '"'"'\$0\$\{ARGS\}'"'"'/' \
    'StrCpy \$1 '"'"'"\$0"'
cat >"$work/probe/probe.nsi" <<'NSI'
Unicode true
RequestExecutionLevel admin
SilentInstall silent
OutFile "${OUTFILE}"
!define VANTREL_SETUP_LOG "$EXEDIR\probe.log"
!include "VantrelTools.nsh"
Section
!ifdef KEEPER
  !insertmacro VantrelKeeperStart "${KEEPER}"
!else ifdef SWEEP
  !insertmacro VantrelShortcutSweep "${SWEEP}"
!else ifdef MANIFEST
  !insertmacro VantrelManifestOpen "${MANIFEST}"
  !insertmacro VantrelManifestLine "C:\Links\first.url"
  !insertmacro VantrelManifestClose
!else
  ; Two pieces of 600 characters: more than NSIS holds together.
  StrCpy $1 "C:\Links\"
  StrCpy $2 "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
  StrCpy $2 "$2$2$2$2$2$2"
  !insertmacro VantrelManifestOpen "$EXEDIR\__shortcutsweep-en.ini"
  !insertmacro VantrelManifestLine "C:\Links\first.url"
  !insertmacro VantrelManifestLine "$1$2\$2.url"
  !insertmacro VantrelManifestLine "C:\Links\last.url"
  !insertmacro VantrelManifestClose
!endif
SectionEnd
NSI
probe_build() { # exe, include folder, defines...
    local exe="$1" dir="$2"
    shift 2
    makensis -V2 "-X!addincludedir $dir" -DOUTFILE="$exe" "$@" "$work/probe/probe.nsi" >>"$work/logs/build.log" 2>&1
}
keeper_win="C:\\$program_files\\Vantrel Demo\\svckeeper.exe"
japanese_win='C:\Vantrel 日本 [beta]'
# Paths no manifest may be written to: an unset variable, a relative path,
# another file (which must stay as it is).
refused_paths=("" 'victim.txt' "$(winpath "$work/probe/refused")\\victim.txt")
probes_built=yes
probe_build "$work/probe/line/longline.exe" "$repo/integration/nsis" &&
    probe_build "$work/probe/keeper-quoted.exe" "$repo/integration/nsis" "-DKEEPER=$keeper_win" &&
    probe_build "$work/probe/keeper-unquoted.exe" "$work/probe/unquoted" "-DKEEPER=$keeper_win" &&
    probe_build "$work/probe/utf8/sweep.exe" "$repo/integration/nsis" "-DSWEEP=$japanese_win\\shortcutsweep.exe" ||
    probes_built=no
for i in "${!refused_paths[@]}"; do
    mkdir -p "$work/probe/refused/$i"
    probe_build "$work/probe/refused/$i/manifest.exe" "$repo/integration/nsis" "-DMANIFEST=${refused_paths[$i]}" ||
        probes_built=no
done
if [ "$probes_built" = no ]; then
    cat "$work/logs/build.log"
    echo "FAIL: the NSIS probes could not be built"
    exit 1
fi

# A setup that stops on purpose ends with NSIS's status 2 (aborted by the
# script), never with a time limit's (124) or a crash's.
run_probe() { # exe
    status=0
    timeout 60 wine "$(winpath "$1")" || status=$?
}
run_probe "$work/probe/line/longline.exe"
line_file="$work/probe/line/__shortcutsweep-en.ini"
check "NSIS, a manifest line too long to hold: the setup stops (exit status $status, 2 expected)" test "$status" = 2
check "NSIS, a manifest line too long to hold: no manifest with a cut or joined line is left" \
    test ! -e "$line_file" -o "$(tr -d '\r' <"$line_file" 2>/dev/null | wc -L)" -lt 1000
check "NSIS, a manifest line too long to hold: the setup's log says so" \
    grep -q "__shortcutsweep-en.ini would get a line longer" "$work/probe/line/probe.log"

printf 'not a manifest\r\n' >"$work/probe/refused/victim.txt"
refused_ok=yes
for i in "${!refused_paths[@]}"; do
    run_probe "$work/probe/refused/$i/manifest.exe"
    if [ "$status" != 2 ] || ! grep -aqF "path \"${refused_paths[$i]}\"" "$work/probe/refused/$i/probe.log" ||
        ! grep -aq "nothing written; setup stopped" "$work/probe/refused/$i/probe.log"; then
        echo "      manifest path \"${refused_paths[$i]}\": exit status $status, log: $(tr -d '\r' <"$work/probe/refused/$i/probe.log" 2>/dev/null)"
        refused_ok=no
    fi
done
check "NSIS, a manifest path that is empty, relative or no manifest's: the setup stops (status 2), its log says why" \
    test "$refused_ok" = yes
check "NSIS, a manifest path that is no manifest's: the file there is left as it was" \
    cmp -s "$work/probe/refused/victim.txt" <(printf 'not a manifest\r\n')

run_probe "$work/probe/utf8/sweep.exe"
printf '\xef\xbb\xbf%s\r\n' "Vantrel tools: cannot start $japanese_win\\shortcutsweep.exe (error 3)" >"$work/probe/utf8/expected.log"
check "NSIS setup log: a program that is not there, in a folder named in Japanese, is logged in UTF-8 with every character" \
    cmp -s "$work/probe/utf8/probe.log" "$work/probe/utf8/expected.log"
cmp -s "$work/probe/utf8/probe.log" "$work/probe/utf8/expected.log" || od -c "$work/probe/utf8/probe.log" | head -5 | sed 's/^/      /'

wine reg add 'HKLM\SOFTWARE\Vantrel\Tools' /v DecisionLog /t REG_SZ /d 'C:\vantrel-tools.log' /reg:32 /f >/dev/null
mkdir -p "$desktop" "$programs"
# Someone else's shortcut, there before the product.
printf '[InternetShortcut]\r\nURL=https://www.example.org/\r\n' >"$desktop/Other Vendor.url"

# --- helpers ---------------------------------------------------------------

# Runs a step under a time limit and keeps its exit status in $status.
run() { # what, command...
    local what="$1" t0
    shift
    t0=$(date +%s%N)
    status=0
    timeout 120 "$@" || status=$?
    elapsed_ms=$((($(date +%s%N) - t0) / 1000000))
    echo "      ($what: exit status $status, $elapsed_ms ms)"
}

start_type() { wine reg query "$service_key" /v Start 2>/dev/null | tr -d '\r' | awk '$1 == "Start" { print $3 }'; }
service_state() { wine sc query "Vantrel Service" 2>/dev/null | tr -d '\r' | awk '$1 == "STATE" { print $4 }'; }
service_gone() { ! wine sc query "Vantrel Service" >/dev/null 2>&1 && ! wine reg query "$service_key" >/dev/null 2>&1; }
# svckeeper and the installers never wait for the service; give it 10 s.
eventually() { # command...
    local _
    for _ in $(seq 50); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
watcher_ready() { grep -qx ready "$1" 2>/dev/null; }
automatic_and_running() { [ "$(start_type)" = 0x2 ] && [ "$(service_state)" = RUNNING ]; }

# The versions of "Vantrel Demo" registered for Add/Remove Programs.
registered_versions() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { if (name == "Vantrel Demo") print version; name = ""; version = "" }
             $1 == "DisplayName" { name = substr($0, index($0, "REG_SZ") + 10) }
             $1 == "DisplayVersion" { version = $3 }
             END { if (name == "Vantrel Demo") print version }'
}

# A manifest's bytes: a byte-order mark, then exactly these lines, each
# ended by CR LF.
manifest_is() { # file, line...
    local file="$1"
    shift
    [ -f "$file" ] && cmp -s "$file" <(printf '\xef\xbb\xbf'; printf '%s\r\n' "$@")
}
manifests_written() { # what, version
    local forum=()
    [ "$2" = 1.0.0 ] && forum=("$menu_win\\Vantrel Forum.url")
    check "$1: the English manifest, UTF-8 with BOM, CR LF after every line" manifest_is "$install/__shortcutsweep-en.ini" \
        "$desktop_win\\Vantrel Home.url" "$menu_win\\Vantrel Home.url" "$menu_win\\Vantrel Web.url" "${forum[@]}"
    check "$1: the German manifest, with its wildcard line" manifest_is "$install/__shortcutsweep-de.ini" \
        "$desktop_win\\Vantrel Startseite.url" "$menu_win\\Vantrel Startseite.url" "$menu_win\\Vantrel Hilfe.url" \
        "$desktop_win\\Vantrel*.url"
}

# Every file and folder around the product, by name and type.
snapshot() {
    local root
    for root in "$desktop" "$programs" "$drive_c/$program_files" "$data"; do
        find "$root" -mindepth 1 -printf "${root#"$drive_c"/}/%P %y\n"
    done | grep -v -e '/uninstall\.exe ' -e '/unins000\.\(exe\|dat\) ' | sort
}

# The command lines the decision log recorded, one per run.
logged_command_lines() {
    [ -f "$tools_log" ] || return 0
    tr -d '\r' <"$tools_log" | sed -n 's/.*command line: //p' | sed 's/[[:blank:]]*$//'
}
logged() { logged_command_lines | grep -Fxq -- "$1"; }
# The decision log from its line $1 on (0: all of it), without CRs.
log_lines() { if [ -f "$tools_log" ]; then wc -l <"$tools_log"; else echo 0; fi; }
decisions_since() { [ -f "$tools_log" ] && tail -n +$(($1 + 1)) "$tools_log" | tr -d '\r'; }
# Some line since $1 holds the text $2 ("deleted C:\...", "kept ... (hidden)").
decided_since() { decisions_since "$1" | grep -Fq -- "$2"; }
# A run since $1 whose command line is $2 wrote a line holding $3: what that
# program itself did, not only that it was started.
run_decided_since() { # line, command line, text
    decisions_since "$1" | awk -v cl="$2" -v text="$3" '
        match($0, /^\[[0-9]+\] /) { pid = substr($0, 1, RLENGTH) }
        index($0, ", command line: ") {
            c = substr($0, index($0, ", command line: ") + 16)
            sub(/[ \t]+$/, "", c)
            ours[pid] = (c == cl)
        }
        ours[pid] && index($0, text) { found = 1 }
        END { exit !found }'
}

# Appends the install folder's and the service log folder's changes, in the
# order the kernel reports them, to $1 until killed.
watch_files() {
    exec python3 -u - "$@" >/dev/null 2>>"$work/logs/watcher.err" <<'EOF'
import ctypes, os, struct, sys
libc = ctypes.CDLL(None, use_errno=True)
fd = libc.inotify_init1(0)
names = {}
# IN_MODIFY IN_ATTRIB IN_MOVED_FROM IN_MOVED_TO IN_CREATE IN_DELETE IN_DELETE_SELF
for folder in sys.argv[2:]:
    wd = libc.inotify_add_watch(fd, folder.encode(), 0x2 | 0x4 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400)
    if wd < 0:
        sys.exit("cannot watch " + folder)
    names[wd] = folder
with open(sys.argv[1], "w") as out:
    print("ready", file=out, flush=True)
    while True:
        data = os.read(fd, 65536)
        i = 0
        while i < len(data):
            wd, mask, _, size = struct.unpack_from("iIII", data, i)
            name = data[i + 16:i + 16 + size].rstrip(b"\0").decode(errors="replace")
            i += 16 + size
            print("%#x %s/%s" % (mask, names.get(wd, "?"), name), file=out, flush=True)
EOF
}

# --- one installer, start to end --------------------------------------------

# Sets $cmd to the silent command line of an installer's step, and $setup_log
# to the log the installer writes itself.
steps=0
command_for() { # msi | nsis | inno, install | remove, version [, NSIS folder]
    steps=$((steps + 1))
    setup_log="$work/logs/$1-$steps-$2-$3.log"
    case "$1 $2" in
    "msi install") cmd=(wine msiexec /i "$(winpath "$out/$3/VantrelDemo.msi")" /qn /l*v "$(winpath "$setup_log")") ;;
    "msi remove") cmd=(wine msiexec /x "$(winpath "$out/$3/VantrelDemo.msi")" /qn /l*v "$(winpath "$setup_log")") ;;
    "nsis install")
        cmd=(wine "$(winpath "$out/$3/VantrelDemoSetup.exe")" /S ${4:+"/D=$4"})
        setup_log="$data/setup.log"
        ;;
    "nsis remove")
        # An NSIS uninstaller returns at once, before its work, unless given
        # _?=<folder>, which must reach it unquoted; wine would quote it (it
        # holds blanks), a batch file passes it as written.
        printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$install_win" "$install_win" >"$work/uninstall.bat"
        cmd=(wine cmd /c "$(winpath "$work/uninstall.bat")")
        setup_log="$data/setup.log"
        ;;
    "inno install")
        cmd=(wine "$(winpath "$out/$3/VantrelDemoInno.exe")" /VERYSILENT /SUPPRESSMSGBOXES "/LOG=$(winpath "$setup_log")")
        ;;
    "inno remove")
        cmd=(wine "$install_win\\unins000.exe" /VERYSILENT /SUPPRESSMSGBOXES "/LOG=$(winpath "$setup_log")")
        ;;
    esac
}
step() { # what, msi | nsis | inno, install | remove, version [, NSIS folder]
    command_for "$2" "$3" "$4" "${5:-}"
    run "$1" "${cmd[@]}"
    # Inno's uninstaller deletes itself a moment after it ends.
    [ "$2 $3" != "inno remove" ] || eventually test ! -e "$install/unins000.exe" || true
}
logged_cannot_start() { grep -aq "cannot start .*\\\\$1" "$setup_log" 2>/dev/null; }
# VANTREL_SETUP_LOG of the demos names both programs as not started.
vantrel_setup_log_cannot_start() {
    grep -aq 'cannot start .*\\svckeeper\.exe' "$data/setup.log" 2>/dev/null &&
        grep -aq 'cannot start .*\\shortcutsweep\.exe' "$data/setup.log" 2>/dev/null
}
image_path() { wine reg query "$service_key" /v ImagePath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]*SZ *//p'; }

# The update's sweep (since $log_before) read or deleted the shortcut that
# 1.0.0 alone made, and the shortcut the product added stays.
update_sweep_read_dropped() {
    decided_since "$log_before" "en line 1 \"$menu_win\\Vantrel Forum.url\"" && test -f "$desktop/Vantrel Added.url"
}
update_sweep_deleted_dropped() {
    decided_since "$log_before" "deleted $menu_win\\Vantrel Forum.url" && test -f "$desktop/Vantrel Added.url"
}
# The removal's sweep (since $log_before) deleted every shortcut its
# manifests list and the two manifests, the listed hidden one it kept, and
# the shortcut nobody listed stays.
removal_sweep_deleted_listed() {
    local p
    for p in "$desktop_win\\Vantrel Home.url" "$desktop_win\\Vantrel Startseite.url" "$desktop_win\\Vantrel Extra.url" \
        "$menu_win\\Vantrel Home.url" "$menu_win\\Vantrel Startseite.url" "$menu_win\\Vantrel Hilfe.url" \
        "$menu_win\\Vantrel Web.url"; do
        decided_since "$log_before" "deleted $p" || { echo "      not in the decision log: deleted $p"; return 1; }
    done
}
removal_sweep_kept_hidden() {
    decided_since "$log_before" "kept $desktop_win\\Vantrel Versteckt.url (hidden)" && test -f "$desktop/Vantrel Versteckt.url"
}
removal_sweep_deleted_manifests() {
    decided_since "$log_before" "manifest en $install_win\\__shortcutsweep-en.ini: deleted" &&
        decided_since "$log_before" "manifest de $install_win\\__shortcutsweep-de.ini: deleted"
}
removal_wildcard_left_unlisted() {
    decided_since "$log_before" "deleted $desktop_win\\Vantrel Extra.url" && test -f "$desktop/Other Vendor.url"
}

# The CI gate as the installer author's guide (docs/AUTHORS.md) prints it
# (the sweepcheck line of its recipe), with what an author puts in: the installed folder and the languages the
# installer writes; run from the build's folder, as the recipe is.
guide_gate() { # what, expected status (default 0)
    local cmd want="${2:-0}"
    cmd="$(awk '/^#+ sweepcheck: a gate for your build/ { on = 1 } on && /^```sh$/ { block = 1; next }
                block && /^```$/ { exit } block' "$repo/docs/AUTHORS.md" | grep -E '^wine sweepcheck\.exe ' |
        sed -E 's/[[:blank:]]+#.*$//')"
    if [ -z "$cmd" ] || [[ "$cmd" != *"'C:\Program Files\Vantrel'"* ]]; then
        check "$1: the guide's gate has a sweepcheck line on 'C:\Program Files\Vantrel' (found: ${cmd:-none})" false
        return
    fi
    cmd="${cmd//"'C:\Program Files\Vantrel'"/"'$install_win'"}"
    cmd="$(sed -E 's/--expect [A-Za-z,]+/--expect en,de/' <<<"$cmd")"
    status=0
    (cd "$work/out/tools" && eval "$cmd") >"$work/logs/guide-gate.txt" 2>&1 || status=$?
    check "$1: the guide's gate, $cmd, ends with status $status ($want expected)" test "$status" = "$want"
    [ "$status" = "$want" ] || sed 's/^/      /' "$work/logs/guide-gate.txt"
}

installer_phase() { # msi | nsis | inno
    local kind="$1" name
    case $kind in msi) name="Windows Installer" ;; nsis) name="NSIS" ;; inno) name="Inno Setup" ;; esac
    local failures_before=$failures
    phases_run=$((phases_run + 1))
    echo "== $name"
    rm -f "$tools_log" "$service_log" "$service_log.pids"

    # Install.
    step "install 1.0.0" "$kind" install 1.0.0
    check "$kind install: exit status 0" test "$status" = 0
    check "$kind install: the service is automatic (Start = 2) and running" eventually automatic_and_running
    check "$kind install: the service was started once" test "$(tr -d '\r' 2>/dev/null <"$service_log")" = start
    check "$kind install: the shortcuts are on the public desktop" \
        test -f "$desktop/Vantrel Home.url" -a -f "$desktop/Vantrel Startseite.url"
    check "$kind install: the shortcuts are in the Start menu" test -f "$menu/Vantrel Home.url" -a \
        -f "$menu/Vantrel Startseite.url" -a -f "$menu/Vantrel Hilfe.url" -a -f "$menu/Vantrel Forum.url"
    manifests_written "$kind install" 1.0.0
    check "$kind install: __shortcutsweep.bat is beside the programs" test -f "$install/__shortcutsweep.bat"
    local mode
    for mode in --text-only ""; do
        status=0
        # The demos write the English and the German manifest: the gate
        # demands both.
        wine "$install_win\\sweepcheck.exe" $mode --expect en,de "$install_win" \
            >"$work/logs/$kind-sweepcheck$mode.txt" 2>&1 || status=$?
        check "$kind install: sweepcheck ${mode:-(on the machine)} --expect en,de finds nothing wrong with the manifests (exit status $status)" \
            test "$status" = 0
        [ "$status" = 0 ] || cat "$work/logs/$kind-sweepcheck$mode.txt"
    done
    # The CI gate as the installer author's guide prints it, on this install
    # and on one that lost a manifest.
    guide_gate "$kind install"
    mv "$install/__shortcutsweep-de.ini" "$work/de.ini"
    guide_gate "$kind install without its German manifest" 1
    mv "$work/de.ini" "$install/__shortcutsweep-de.ini"

    if [ "$kind" = nsis ]; then
        # The trap, shown under Wine: the macros with the quotes taken out of
        # the command line stop the service they were to start.
        run "the macros without quotes" wine "$(winpath "$work/probe/keeper-unquoted.exe")"
        check "nsis: svckeeper started with its path unquoted stops the service (the trap, under Wine too)" \
            eventually test "$(service_state)" = STOPPED
        run "the macros as they are" wine "$(winpath "$work/probe/keeper-quoted.exe")"
        check "nsis: the macros as they are start it again" eventually automatic_and_running
    fi

    # Update: the old process must log its stop before its file is touched.
    printf 'x\r\n' >"$desktop/Vantrel Added.url" # the product's own, listed by the wildcard line
    if [ "$kind" = msi ]; then
        # Windows does not run the old version's sweep inside a major upgrade
        # (UPGRADINGPRODUCTCODE); Wine 8 sets no such property, and would. Its
        # program goes, so that the update runs as on Windows.
        rm -f "$install/shortcutsweep.exe"
    fi
    local lines_before pids_before log_before
    log_before=$(log_lines)
    lines_before=$(wc -l 2>/dev/null <"$service_log") || lines_before=0
    pids_before="$(tr -d '\r' 2>/dev/null <"$service_log.pids")" || true
    watch_files "$work/logs/$kind-update-events.txt" "$install" "$data" &
    watcher=$!
    eventually watcher_ready "$work/logs/$kind-update-events.txt" || true
    step "update to 1.1.0 (its pieces quote the paths)" "$kind" install 1.1.0
    sleep 0.2
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    watcher=""
    check "$kind update: exit status 0" test "$status" = 0
    check "$kind update: only version 1.1.0 is registered" test "$(registered_versions)" = 1.1.0
    check "$kind update: the service is automatic and running" eventually automatic_and_running
    local new_lines
    new_lines="$(tail -n +$((lines_before + 1)) "$service_log" | tr -d '\r' | tr '\n' ' ')"
    # svckeeper's stop; the installers stop nothing themselves while it can
    # be started. A second stop request may reach the service too.
    check "$kind update: the service logged stop, then start ($new_lines)" grep -Eqx '(stop )+start ' <<<"$new_lines"
    check "$kind update: svckeeper asked the service to stop (decision log)" \
        run_decided_since "$log_before" "\"$install_win\\svckeeper.exe\" stop" "stop: stop requested"
    check "$kind update: a new service process runs" \
        test "$(tr -d '\r' <"$service_log.pids" | tail -n 1)" != "$(tail -n 1 <<<"$pids_before")"
    local first_log_change first_program_change
    # Not "grep | head -n 1": with pipefail, grep's broken pipe when head
    # ends first ends the whole test, silently. Under Wine 10 an NSIS update
    # gave 35 write events to test_service.exe, and 1 run in 5 of that
    # pipeline over them failed.
    first_log_change=$(awk '/\/service\.log$/ { print NR; exit }' "$work/logs/$kind-update-events.txt")
    first_program_change=$(awk '/\/test_service\.exe$/ { print NR; exit }' "$work/logs/$kind-update-events.txt")
    check "$kind update: the stop was logged (event ${first_log_change:-none}) before test_service.exe was touched (event ${first_program_change:-none})" \
        test -n "$first_log_change" -a -n "$first_program_change" -a "${first_log_change:-0}" -lt "${first_program_change:-0}"
    manifests_written "$kind update" 1.1.0
    if [ "$kind" = msi ]; then
        # The package's own file: the older version's component goes with it,
        # before the sweep runs.
        check "msi update: Vantrel Forum.url, which 1.1.0 no longer makes, is gone (the old version's component, removed by the package)" \
            test ! -e "$menu/Vantrel Forum.url"
        check "msi update: the update's sweep read the manifest of dropped shortcuts, and left the shortcut the product added" \
            update_sweep_read_dropped
    else
        check "$kind update: Vantrel Forum.url, which 1.1.0 no longer makes, is gone (only the update's sweep deletes it)" \
            test ! -e "$menu/Vantrel Forum.url"
        check "$kind update: the update's sweep deleted Vantrel Forum.url (decision log), and left the shortcut the product added" \
            update_sweep_deleted_dropped
    fi
    rm -f "$desktop/Vantrel Added.url"

    if [ "$kind" = msi ]; then
        step "1.0.0 over 1.1.0" msi install 1.0.0
        # msiexec's 1603, as wine passes it on (the low byte): not a time
        # limit's 124 nor a crash's.
        check "msi: an older version is refused while a newer one is installed (exit status $status, 67 expected)" \
            test "$status" = 67
        check "msi: and only 1.1.0 is registered" test "$(registered_versions)" = 1.1.0
        # A second copy of the same version installs beside the first; its
        # removal leaves the first one's shortcuts, manifests and service.
        step "a second copy of 1.1.0" msi install 1.1.0-second
        step "removal of the second copy" msi remove 1.1.0-second
        check "msi removal of a second copy: exit status 0" test "$status" = 0
        check "msi removal of a second copy: the service is automatic and running" automatic_and_running
        check "msi removal of a second copy: the shortcuts stay" test -f "$desktop/Vantrel Home.url" -a \
            -f "$desktop/Vantrel Startseite.url" -a -f "$menu/Vantrel Home.url" -a -f "$menu/Vantrel Hilfe.url"
        manifests_written "msi removal of a second copy" 1.1.0
    fi

    if [ "$kind" = inno ]; then
        rm -f "$data/setup.log"
        step "1.0.0 over 1.1.0" inno install 1.0.0
        # InitializeSetup refuses: Setup ends before anything is installed,
        # with status 1 (not a time limit's 124 nor a crash's).
        check "inno: an older version is refused while a newer one is installed (exit status $status, 1 expected)" \
            test "$status" = 1
        check "inno: VANTREL_SETUP_LOG gives the reason" \
            grep -aqF "Vantrel Demo 1.0.0: version 1.1.0 is installed, newer than this one; nothing was changed" "$data/setup.log"
        check "inno: and only 1.1.0 is registered" test "$(registered_versions)" = 1.1.0
    fi

    # What the product and the user add while it is installed.
    printf 'x\r\n' >"$desktop/Vantrel Extra.url"     # the wildcard line's
    printf 'x\r\n' >"$desktop/Vantrel Versteckt.url" # the wildcard line's, but hidden
    wine attrib +h "$desktop_win\\Vantrel Versteckt.url" >/dev/null
    printf 'x\r\n' >"$menu/Vantrel Web.url"          # a plain line's, never installed
    printf 'x\r\n' >"$menu/Readme.txt"
    printf 'x\r\n' >"$install/user-settings.ini"
    local before after expected
    before="$(snapshot)"

    log_before=$(log_lines)
    step "removal" "$kind" remove 1.1.0
    check "$kind removal: exit status 0" test "$status" = 0
    check "$kind removal: nothing is registered" test -z "$(registered_versions)"
    check "$kind removal: the service is stopped and deleted" eventually service_gone
    check "$kind removal: the service's last word was stop" test "$(tr -d '\r' <"$service_log" | tail -n 1)" = stop
    check "$kind removal: svckeeper asked the service to stop (decision log)" \
        run_decided_since "$log_before" "\"$install_win\\svckeeper.exe\" stop" "stop: stop requested"
    # The shortcuts the setup installed: the NSIS demo deletes them only when
    # the sweep cannot start; the package and Inno remove their own files
    # whatever the sweep did. Vantrel Extra.url and Vantrel Web.url only the
    # manifests name.
    local f own
    for f in "$desktop/Vantrel Home.url" "$desktop/Vantrel Startseite.url" "$desktop/Vantrel Extra.url" \
        "$menu/Vantrel Home.url" "$menu/Vantrel Startseite.url" "$menu/Vantrel Hilfe.url" "$menu/Vantrel Web.url"; do
        own="only the sweep deletes it"
        if [ "$kind" != nsis ] && [[ "$f" != *"/Vantrel Extra.url" && "$f" != *"/Vantrel Web.url" ]]; then
            own="the setup's own file, which the setup removes too"
        fi
        check "$kind removal: listed shortcut ${f#"$drive_c"/} is gone ($own)" test ! -e "$f"
    done
    check "$kind removal: the sweep deleted every shortcut its manifests list (decision log)" removal_sweep_deleted_listed
    check "$kind removal: the sweep's wildcard line took Vantrel Extra.url, and the shortcut nobody listed stays" \
        removal_wildcard_left_unlisted
    check "$kind removal: the sweep kept the hidden listed shortcut (decision log: hidden), and it stays" \
        removal_sweep_kept_hidden
    own="only the sweep deletes them"
    [ "$kind" = nsis ] || own="the setup removes them too"
    check "$kind removal: the manifests and __shortcutsweep.bat are gone ($own)" test ! -e "$install/__shortcutsweep-en.ini" \
        -a ! -e "$install/__shortcutsweep-de.ini" -a ! -e "$install/__shortcutsweep.bat"
    check "$kind removal: the sweep deleted its manifests (decision log)" removal_sweep_deleted_manifests
    after="$(snapshot)"
    expected="$(grep -v -e '/Vantrel Demo/\(svckeeper\|shortcutsweep\|sweepcheck\|test_service\)\.exe ' \
        -e '/Vantrel Demo/__shortcutsweep' \
        -e '^users/Public/Desktop/Vantrel \(Home\|Startseite\|Extra\)\.url ' \
        -e '/Programs/Vantrel Demo/Vantrel \(Home\|Startseite\|Hilfe\|Web\)\.url ' <<<"$before")"
    check "$kind removal: nothing else around the product changed" test "$after" = "$expected"
    [ "$after" = "$expected" ] || diff <(echo "$expected") <(echo "$after") | sed 's/^/      /' || true

    # The decision log, named only in the registry (HKLM\SOFTWARE\Vantrel\Tools, DecisionLog).
    if [ ! -f "$tools_log" ]; then
        printf '      %s\n' 'no decision log was written to C:\vantrel-tools.log: the programs did not take its name from the registry'
    fi
    # A service the setup registered as automatic is found so: the keeper
    # then leaves its configuration as it is, and says so.
    made_automatic() {
        run_decided_since 0 "\"$install_win\\svckeeper.exe\"" "set to start automatically: change to automatic" ||
            run_decided_since 0 "\"$install_win\\svckeeper.exe\"" "set to start automatically: already automatic"
    }
    check "$kind: the decision log has svckeeper's runs without an argument, each making the service automatic or finding it so" \
        made_automatic
    [ -f "$tools_log" ] && cp "$tools_log" "$work/logs/$kind-tools.log"

    # Removal with the programs gone: each call fails, and says so in the
    # setup's own log; the removal goes on and still removes what the setup
    # put there. Only the shortcuts the product added stay: only the sweep
    # knows them.
    rm -f "$desktop/Vantrel Versteckt.url" "$menu/Readme.txt" "$install/user-settings.ini" "$data/setup.log"
    step "install 1.0.0 again" "$kind" install 1.0.0
    if [ "$kind" = nsis ]; then
        # An update into another folder: the running version is stopped
        # first, and the service runs the new folder's program.
        local elsewhere='C:\VantrelElsewhere'
        lines_before=$(wc -l <"$service_log")
        step "update to 1.1.0 into $elsewhere" nsis install 1.1.0 "$elsewhere"
        check "nsis update into another folder: exit status 0" test "$status" = 0
        check "nsis update into another folder: the service is automatic and running" eventually automatic_and_running
        new_lines="$(tail -n +$((lines_before + 1)) "$service_log" | tr -d '\r' | tr '\n' ' ')"
        check "nsis update into another folder: the service logged stop, then start ($new_lines)" \
            grep -Eqx '(stop )+start ' <<<"$new_lines"
        check "nsis update into another folder: the service runs the new folder's program ($(image_path))" \
            grep -qF "\"$elsewhere\\test_service.exe\"" <<<"$(image_path)"
        check "nsis update into another folder: the old folder is gone" test ! -e "$install"
        install="$drive_c/VantrelElsewhere"
        install_win="$elsewhere"
    fi
    rm -f "$install/shortcutsweep.exe" "$install/svckeeper.exe" "$data/setup.log"
    step "removal with the programs gone" "$kind" remove 1.0.0
    local elapsed=$elapsed_ms
    check "$kind removal with the programs gone: exit status 0" test "$status" = 0
    check "$kind removal with the programs gone: nothing is registered" test -z "$(registered_versions)"
    check "$kind removal with the programs gone: the service is deleted" eventually service_gone
    check "$kind removal with the programs gone: no wait for a service that was never asked to stop (${elapsed} ms)" \
        test "$elapsed" -lt 20000
    check "$kind removal with the programs gone: the other programs are gone" \
        test ! -e "$install/sweepcheck.exe" -a ! -e "$install/test_service.exe"
    check "$kind removal with the programs gone: the manifests and __shortcutsweep.bat are gone (the setup's own work)" \
        test ! -e "$install/__shortcutsweep-en.ini" -a ! -e "$install/__shortcutsweep-de.ini" -a ! -e "$install/__shortcutsweep.bat"
    check "$kind removal with the programs gone: the shortcuts the setup installed are gone (the setup's own work)" test ! -e "$desktop/Vantrel Home.url" \
        -a ! -e "$desktop/Vantrel Startseite.url" -a ! -e "$menu/Vantrel Home.url" -a ! -e "$menu/Vantrel Hilfe.url"
    check "$kind removal with the programs gone: the setup's log says svckeeper.exe could not be started" \
        logged_cannot_start svckeeper.exe
    check "$kind removal with the programs gone: the setup's log says shortcutsweep.exe could not be started" \
        logged_cannot_start shortcutsweep.exe
    if [ "$kind" = inno ]; then
        # Without /LOG too: the same file as the NSIS demo's.
        check "inno removal with the programs gone: VANTREL_SETUP_LOG says svckeeper.exe and shortcutsweep.exe could not be started" \
            vantrel_setup_log_cannot_start
        check "inno removal with the programs gone: nothing of the product is left in its folder" nothing_left_in "$install"
    fi
    [ -f "$setup_log" ] && cp "$setup_log" "$work/logs/$kind-removal-programs-gone.log"
    rm -rf "$install" "$menu" "$desktop"/Vantrel*.url "$data/setup.log"
    install="$drive_c/$program_files/Vantrel Demo"
    install_win="C:\\$program_files\\Vantrel Demo"

    if [ "$failures" -eq "$failures_before" ]; then
        echo "PASS: $name"
    else
        echo "FAIL: $name ($((failures - failures_before)) check(s))"
    fi
}

# --- the package as built: its tables, here too ------------------------------

msi_rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
# The row of TABLE whose first field is KEY, fields joined by "|".
# Empty fields at its end are left out.
msi_row() { msi_rows "$1" "$2" | awk -F'\t' -v key="$3" '$1 == key { while (NF > 1 && $NF == "") NF--; $1 = $1; print; exit }' OFS='|'; }

msi_tables_phase() {
    local msi="$out/1.0.0/VantrelDemo.msi" failures_before=$failures row entry missing=""
    phases_run=$((phases_run + 1))
    echo "== Windows Installer package, as built (wixl, msiinfo)"
    # Deferred (1024), no impersonation (2048), a DLL from the Binary table
    # (1), and the calls' failures ignored (64); a manifest's not.
    for entry in VantrelKeeperStop:VantrelRun:3137 VantrelWaitServiceStopped:VantrelWaitServiceStopped:3137 \
        VantrelShortcutSweep:VantrelRun:3137 VantrelShortcutSweepUpdate:VantrelRun:3137 VantrelKeeperStart:VantrelRun:3137 \
        VantrelDeleteService:VantrelDeleteService:3137 WriteManifestEn:WriteManifest:3073 WriteManifestDe:WriteManifest:3073; do
        IFS=: read -r action dll_entry type <<<"$entry"
        row="$(msi_row "$msi" CustomAction "$action")"
        [ "$row" = "$action|$type|VantrelActionsDll|$dll_entry" ] || missing+=" $action ($row)"
    done
    check "msi tables: each call is a deferred action without impersonation in VantrelActions.dll${missing:+; wrong:$missing}" \
        test -z "$missing"
    # The entries the table names are the DLL's.
    local exports
    exports="$(i686-w64-mingw32-objdump -p "$work/out/files/VantrelActions.dll" 2>/dev/null |
        awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && /^\t\[/ { print $NF; next } on && /^$/ { on = 0 }' | sort | tr '\n' ' ')"
    check "msi tables: VantrelActions.dll exports the four entries the package names ($exports)" \
        test "$exports" = "VantrelDeleteService VantrelRun VantrelWaitServiceStopped WriteManifest "
    # svckeeper and the wait are told this copy's folder; the sweep is not.
    check "msi tables: svckeeper's stop is given this copy's folder" \
        test "$(msi_row "$msi" CustomAction SetVantrelKeeperStop | cut -d'|' -f3-)" = 'VantrelKeeperStop|[#VantrelSvcKeeperExe]|stop|[INSTALLFOLDER]'
    check "msi tables: svckeeper's start is given this copy's folder" \
        test "$(msi_row "$msi" CustomAction SetVantrelKeeperStart | cut -d'|' -f3-)" = 'VantrelKeeperStart|[#VantrelSvcKeeperExe]||[INSTALLFOLDER]'
    check "msi tables: the wait is given this copy's folder and svckeeper's path" \
        test "$(msi_row "$msi" CustomAction SetVantrelWaitServiceStopped | cut -d'|' -f3-)" = 'VantrelWaitServiceStopped|30|[INSTALLFOLDER]|[#VantrelSvcKeeperExe]'
    # Windows Installer's own service control would stop and delete the
    # service whatever program it runs.
    check "msi tables: no ServiceControl row (Windows Installer would stop and delete another copy's service)" \
        test -z "$(msi_rows "$msi" ServiceControl 2>/dev/null)"
    local sequence
    sequence="$(msi_rows "$msi" InstallExecuteSequence | sort -t$'\t' -k3,3n | awk -F'\t' '{ print $3 " " $1 " [" $2 "]" }')"
    printf '%s\n' "$sequence" >"$work/logs/msi-sequence.txt"
    local want missing_seq=""
    # shellcheck disable=SC2016 # conditions of the package, not shell
    for want in '1890 VantrelKeeperStop [$VantrelToolsLeftovers=2 OR (Installed AND NOT REMOVE~="ALL")]' \
        '1891 VantrelWaitServiceStopped [$VantrelToolsLeftovers=2 OR (Installed AND NOT REMOVE~="ALL")]' \
        '1995 VantrelDeleteService [$Service=2]' '3490 VantrelShortcutSweep [$VantrelToolsLeftovers=2 AND NOT UPGRADINGPRODUCTCODE]' \
        '4008 VantrelShortcutSweepUpdate [WIX_UPGRADE_DETECTED AND NOT REMOVE~="ALL"]' '5910 VantrelKeeperStart [NOT REMOVE~="ALL"]'; do
        grep -qxF "$want" "$work/logs/msi-sequence.txt" || missing_seq+=" [$want]"
    done
    check "msi tables: stop (1890), wait (1891), the service's deletion (1995), sweep (3490), update sweep (4008) and keep (5910), with their conditions${missing_seq:+; missing:$missing_seq}" \
        test -z "$missing_seq"
    missing=""
    for entry in VantrelManifestEn:__shortcutsweep-en.ini VantrelManifestDe:__shortcutsweep-de.ini \
        VantrelManifestFr:__shortcutsweep-fr.ini VantrelManifestJa:__shortcutsweep-ja.ini VantrelSweepBat:__shortcutsweep.bat; do
        row="$(msi_row "$msi" RemoveFile "${entry%%:*}")"
        [ "$row" = "${entry%%:*}|VantrelToolsLeftovers|${entry#*:}|INSTALLFOLDER|3" ] || missing+=" ${entry%%:*} ($row)"
    done
    check "msi tables: the manifests and __shortcutsweep.bat are removed on install and removal (RemoveFile)${missing:+; wrong:$missing}" \
        test -z "$missing"
    check "msi tables: a newer version installed refuses the install (LaunchCondition)" \
        grep -qF 'A newer version of [ProductName] is already installed.' <(msi_rows "$msi" LaunchCondition)

    # The include's header, followed by an author: steps 1 to 3 in a
    # product of its own, built with the commands step 4 prints for wixl.
    local steps="$work/header-steps" line built_ok=yes
    mkdir -p "$steps"
    cp "$repo/integration/wix/VantrelTools.wxs" "$repo/integration/wix/add-removefile-rows.sh" \
        "$work/out/files/VantrelActions.dll" "$work/out/tools/svckeeper.exe" "$work/out/tools/shortcutsweep.exe" "$steps/"
    cat >"$steps/Product.wxs" <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Header Steps" Language="1033" Version="1.0.0" Manufacturer="Someone"
           UpgradeCode="0e4f2a1c-7b3d-4c58-9e61-2d8a5f0b7c39">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLFOLDER" Name="Header Steps">
          <Component Id="Programs" Guid="*">
            <File Id="VantrelSvcKeeperExe" Source="svckeeper.exe" KeyPath="yes"/>
            <File Id="VantrelShortcutSweepExe" Source="shortcutsweep.exe"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1">
      <ComponentRef Id="Programs"/>
      <ComponentRef Id="VantrelToolsLeftovers"/>
    </Feature>
    <?define VantrelToolsFolder = INSTALLFOLDER ?>
    <?include VantrelTools.wxs ?>
  </Product>
</Wix>
WXS
    local commands
    commands="$(sed -n '/^ *4\. Build it/,/^ *5\./p' "$repo/integration/wix/VantrelTools.wxs" |
        grep -E '^ +(wixl|sh add-removefile-rows\.sh) ' | sed 's/^ *//')"
    printf '%s\n' "$commands" >"$work/logs/header-steps.txt"
    check "msi: the include's header prints a wixl command and the script that adds the RemoveFile rows" \
        test "$(grep -c . <<<"$commands")" = 2
    while IFS= read -r line; do
        (cd "$steps" && eval "$line") >>"$work/logs/header-steps.txt" 2>&1 || built_ok=no
    done <<<"$commands"
    check "msi: the include's header, followed with wixl, builds a package" test "$built_ok" = yes -a -f "$steps/Product.msi"
    check "msi: and that package removes the manifests and __shortcutsweep.bat (5 RemoveFile rows of VantrelToolsLeftovers)" \
        test "$(msi_rows "$steps/Product.msi" RemoveFile 2>/dev/null | awk -F'\t' '$2 == "VantrelToolsLeftovers" && $4 == "INSTALLFOLDER" && $5 == 3' | grep -c .)" = 5
    [ "$built_ok" = yes ] || sed 's/^/      /' "$work/logs/header-steps.txt"
    if [ "$failures" -eq "$failures_before" ]; then echo "PASS: the package's tables"; else echo "FAIL: the package's tables"; fi
}

# --- the Inno Setup scripts as text, and compiled, here too --------------------

inno_text_phase() {
    local failures_before=$failures iss="$repo/integration/inno/VantrelTools.iss" demo="$repo/integration/inno/demo.iss"
    phases_run=$((phases_run + 1))
    echo "== Inno Setup scripts, as text and compiled"
    local name missing=""
    for name in __shortcutsweep-en.ini __shortcutsweep-de.ini __shortcutsweep-fr.ini __shortcutsweep-ja.ini __shortcutsweep.bat; do
        sed -n '/^\[UninstallDelete\]/,/^\[/p' "$iss" | grep -qxF "Type: files; Name: \"{#VantrelToolsDir}\\$name\"" ||
            missing+=" $name"
    done
    check "inno: the include removes the manifests and __shortcutsweep.bat with the product ([UninstallDelete])${missing:+; missing:$missing}" \
        test -z "$missing"
    check "inno: the demo names VANTREL_SETUP_LOG, the NSIS demo's file, before the include" \
        awk '/^#define VANTREL_SETUP_LOG "\{commonappdata\}\\VantrelDemo\\setup\.log"$/ { d = NR } /^#include "VantrelTools\.iss"$/ { i = NR }
             END { exit !(d && i && d < i) }' "$demo"
    local app_id
    app_id="$(sed -n 's/^AppId={\({[0-9A-F-]*}\)$/\1/p' "$demo")"
    check "inno: the demo refuses a downgrade, asking under its own AppId ($app_id)" \
        grep -qF "VantrelNewerVersionInstalled('${app_id}_is1', '{#Version}', Installed)" "$demo"
    # Where the compiler cannot write a setup, it still compiles each
    # script, [Code] included, without output: the pieces as they are (both
    # versions: the update's code is 1.1.0's alone), the update's quoted
    # calls and the second product.
    if [ "$run_inno" = no ]; then
        local variant bad=""
        for variant in "$repo/integration:1.0.0" "$repo/integration:1.1.0" "$quoted/integration:1.1.0" \
            "$copy2/integration:1.0.0"; do
            if ! timeout 120 wine "$inno/bin/ISCC.exe" /O- "/DVersion=${variant##*:}" "/DToolsDir=$(winpath "$work/out/tools")" \
                "/DFilesDir=$(winpath "$work/out/files")" "$(winpath "${variant%:*}/inno/demo.iss")" \
                >>"$work/logs/iscc.log" 2>&1 </dev/null; then
                bad+=" ${variant#"$work"/}"
            fi
        done
        check "inno: Inno Setup's compiler takes the demo and the include, [Code] and all, in every variant (no output)${bad:+; refused:$bad}" \
            test -z "$bad"
        [ -z "$bad" ] || grep -a -B2 -A2 "Error\|Compile aborted" "$work/logs/iscc.log" | sed 's/^/      /'
    fi
    if [ "$failures" -eq "$failures_before" ]; then echo "PASS: the Inno scripts"; else echo "FAIL: the Inno scripts"; fi
}

# --- VantrelActions.dll's own rules, run by msiexec ---------------------------

# A package of its own, without files: WriteManifest and VantrelRun run as
# immediate actions on text with brackets in it (a deferred action's data
# reaches it cut short under Wine when it holds a "]"). Needs a working
# msiexec: under qemu-i386 its custom-action server crashes and Wine
# records each DLL action as succeeded without running it.
probe_manifest_written() { # in the probe's $dir, $dir_win; its $log
    cmp -s "$dir/__shortcutsweep-en.ini" <(printf '\xef\xbb\xbf%s\r\n' "$dir_win\\a.url") &&
        grep -aqF "WriteManifest: wrote $dir_win\\__shortcutsweep-en.ini with 1 entries" "$log"
}
msi_actions_phase() {
    local failures_before=$failures probe="$work/actions-probe" dir_win='C:\Vantrel [beta]'
    local dir="$drive_c/Vantrel [beta]"
    phases_run=$((phases_run + 1))
    echo "== VantrelActions.dll under msiexec"
    mkdir -p "$probe" "$dir"
    cp "$work/out/files/VantrelActions.dll" "$probe/"
    cat >"$probe/probe.wxs" <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Vantrel Actions Probe" Language="1033" Version="1.0.0" Manufacturer="Vantrel"
           UpgradeCode="8a1d3c5e-7f92-4b04-a6c8-1e3f5a7b9d20">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <Binary Id="VantrelActionsDll" SourceFile="VantrelActions.dll"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLFOLDER" Name="Vantrel Actions Probe">
          <Component Id="Nothing" Guid="2f4b6d8a-0c1e-4a3b-9d5f-7e9a1b3c5d70">
            <CreateFolder/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Nothing"/></Feature>
    <CustomAction Id="SetManifest" Property="CustomActionData" Value="[PROBEDIR]\__shortcutsweep-en.ini|[PROBEDIR]\a.url"/>
    <CustomAction Id="SetUnsetFolder" Property="CustomActionData" Value="[NOSUCHFOLDER]|[PROBEDIR]\victim.txt"/>
    <CustomAction Id="SetOtherFile" Property="CustomActionData" Value="[PROBEDIR]\victim.txt|[PROBEDIR]\a.url"/>
    <CustomAction Id="SetMissing" Property="CustomActionData" Value="[PROBEDIR]\[\[]x86[\]]\missing.exe|"/>
    <CustomAction Id="Manifest" BinaryKey="VantrelActionsDll" DllEntry="WriteManifest" Return="ignore"/>
    <CustomAction Id="UnsetFolder" BinaryKey="VantrelActionsDll" DllEntry="WriteManifest" Return="ignore"/>
    <CustomAction Id="OtherFile" BinaryKey="VantrelActionsDll" DllEntry="WriteManifest" Return="ignore"/>
    <CustomAction Id="Missing" BinaryKey="VantrelActionsDll" DllEntry="VantrelRun" Return="ignore"/>
    <InstallExecuteSequence>
      <Custom Action="SetManifest" Sequence="1010"/>
      <Custom Action="Manifest" Sequence="1011"/>
      <Custom Action="SetUnsetFolder" Sequence="1012"/>
      <Custom Action="UnsetFolder" Sequence="1013"/>
      <Custom Action="SetOtherFile" Sequence="1014"/>
      <Custom Action="OtherFile" Sequence="1015"/>
      <Custom Action="SetMissing" Sequence="1016"/>
      <Custom Action="Missing" Sequence="1017"/>
    </InstallExecuteSequence>
  </Product>
</Wix>
WXS
    printf 'not a manifest\r\n' >"$dir/victim.txt"
    local log="$work/logs/msi-actions.log"
    if ! (cd "$probe" && wixl -a x86 -o probe.msi probe.wxs) >>"$work/logs/build.log" 2>&1; then
        check "msi actions: the probe package builds" false
        return
    fi
    run "the actions' probe" wine msiexec /i "$(winpath "$probe/probe.msi")" /qn /l*v "$(winpath "$log")" "PROBEDIR=$dir_win"
    check "msi actions: the probe installs (exit status $status)" test "$status" = 0
    check "msi actions: a path with [x86] and [beta] in it reaches the MSI log whole" \
        grep -aqF "VantrelRun: cannot start $dir_win\\[x86]\\missing.exe: error 3" "$log"
    check "msi actions: WriteManifest writes a manifest in a folder named [beta], byte for byte, and logs it whole" \
        probe_manifest_written
    check "msi actions: WriteManifest with the manifest's folder unset fails, with its line in the log" \
        grep -aqF "WriteManifest: the manifest's path is empty" "$log"
    check "msi actions: WriteManifest given another file's path fails, with its line in the log" \
        grep -aqF "WriteManifest: the manifest's path $dir_win\\victim.txt names no manifest" "$log"
    check "msi actions: the other file is left as it was" cmp -s "$dir/victim.txt" <(printf 'not a manifest\r\n')
    wine msiexec /x "$(winpath "$probe/probe.msi")" /qn >/dev/null 2>&1 || true
    rm -rf "$dir"
    if [ "$failures" -eq "$failures_before" ]; then echo "PASS: VantrelActions.dll"; else echo "FAIL: VantrelActions.dll"; fi
}

# --- two products side by side, one service ----------------------------------

# "Vantrel Demo" and "Vantrel Demo 2", each with its own folder, identity and
# uninstall key, both registering "Vantrel Service": the second finds the
# first's service and must leave it as it is, installing and going.
# The first product's service as it was before the second came and went
# ($program, $pid, $lines of its log).
first_service_as_it_was() { test "$(image_path)" = "$program" && automatic_and_running; }
first_service_untouched() {
    test "$(wc -l <"$service_log")" = "$lines" && test "$(tr -d '\r' <"$service_log.pids" | tail -n 1)" = "$pid"
}
# The logs ($logs) say $said twice or more (installing, going), once for
# the stop.
left_alone_logged() {
    cat "${logs[@]}" 2>/dev/null | tr -d '\r' | grep -aF "$said" >"$work/logs/left-alone.txt" || true
    test "$(grep -c . "$work/logs/left-alone.txt")" -ge 2 && grep -q 'stop not run$' "$work/logs/left-alone.txt"
}
# Nothing in the folder but an uninstaller told to wait (NSIS's _?=, which
# leaves itself behind), if the folder is there at all.
nothing_left_in() {
    [ ! -e "$1" ] || [ -z "$(find "$1" -mindepth 1 ! -name uninstall.exe ! -name unins000.exe ! -name unins000.dat)" ]
}
gone_with_its_service() { test "$status" = 0 && eventually service_gone; }
side_by_side_phase() { # msi | nsis | inno
    local kind="$1" failures_before=$failures
    local install2="$drive_c/$program_files/Vantrel Demo 2" install2_win="C:\\$program_files\\Vantrel Demo 2"
    phases_run=$((phases_run + 1))
    echo "== $kind: two products side by side"
    rm -f "$tools_log" "$data/setup.log"
    mkdir -p "$desktop"
    step "Vantrel Demo" "$kind" install 1.0.0
    check "$kind side by side: the first product installs (exit status $status)" test "$status" = 0
    check "$kind side by side: its service is automatic and running" eventually automatic_and_running
    local program pid lines log_before
    program="$(image_path)"
    pid="$(tr -d '\r' <"$service_log.pids" | tail -n 1)"
    lines=$(wc -l <"$service_log")
    log_before=$(log_lines)
    step "Vantrel Demo 2 beside it" "$kind" install copy2
    local install2_log="$setup_log"
    check "$kind side by side: the second product installs beside it (exit status $status)" test "$status" = 0
    check "$kind side by side: the second product's programs and manifests are in its own folder" \
        test -f "$install2/svckeeper.exe" -a -f "$install2/__shortcutsweep-en.ini"
    # Its removal, as its uninstall entry runs it.
    install="$install2" install_win="$install2_win"
    step "removal of Vantrel Demo 2" "$kind" remove copy2
    local remove2_log="$setup_log"
    install="$drive_c/$program_files/Vantrel Demo" install_win="C:\\$program_files\\Vantrel Demo"
    check "$kind side by side: the second product's removal ends with status 0 ($status)" test "$status" = 0
    check "$kind side by side: the first product's service still runs its program, automatic ($(image_path))" \
        first_service_as_it_was
    check "$kind side by side: no stop and no start reached it (service log: $(tail -n +$((lines + 1)) "$service_log" | tr -d '\r' | tr '\n' ' ')), the same process runs" \
        first_service_untouched
    check "$kind side by side: the second product never ran its svckeeper (decision log)" \
        fails decided_since "$log_before" "command line: \"$install2_win\\svckeeper.exe\""
    local said="\"Vantrel Service\" runs $install_win\\test_service.exe, which does not lie in this copy's folder"
    local logs=("$install2_log" "$remove2_log")
    [ "$kind" = msi ] || logs=("$data/setup.log")
    check "$kind side by side: the second product's logs say it left the service alone, installing and going" \
        left_alone_logged
    [ "$kind" != inno ] || check "inno side by side: and Inno's own log says so" grep -aqF "$said" "$remove2_log"
    manifests_written "$kind side by side: the first product's manifests stay" 1.0.0
    check "$kind side by side: the first product's Start menu shortcuts stay" \
        test -f "$menu/Vantrel Home.url" -a -f "$menu/Vantrel Hilfe.url"
    check "$kind side by side: nothing of the second product is left in its folder" nothing_left_in "$install2"
    step "removal of Vantrel Demo" "$kind" remove 1.0.0
    check "$kind side by side: the first product goes after it (exit status $status), and its service with it" \
        gone_with_its_service
    rm -rf "$install" "$install2" "$menu" "$programs/Vantrel Demo 2" "$desktop"/Vantrel*.url "$data/setup.log"
    if [ "$failures" -eq "$failures_before" ]; then echo "PASS: $kind side by side"; else echo "FAIL: $kind side by side"; fi
}

msi_tables_phase
inno_text_phase
if [ "$run_msi" = yes ]; then
    msi_actions_phase
    installer_phase msi
    side_by_side_phase msi
fi
installer_phase nsis
side_by_side_phase nsis
if [ "$run_inno" = yes ]; then
    installer_phase inno
    side_by_side_phase inno
fi

echo "run time $(($(date +%s) - started)) s; logs in $work/logs"
left_out_note
if [ "$phases_run" = 0 ]; then
    echo "NOT RUN: no phase of this test could run here"
    exit 77
fi
if [ "$failures" -ne 0 ]; then
    echo "FAIL: $failures check(s) failed"
    exit 1
fi
echo "PASS: all checks passed"
