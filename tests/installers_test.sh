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

# Inno Setup's compiler, pinned: npm's innosetup 6.4.1 carries ISCC.exe.
# Fetched once into the build folder; a tool of this test, never shipped.
inno="$(dirname "$work")/innosetup-6.4.1"
if [ ! -f "$inno/bin/ISCC.exe" ]; then
    rm -rf "$inno"
    bash "$repo/scripts/npm-fetch.sh" innosetup 6.4.1 fc36b763a729c8964416552d733f4864ac4a4934d0a6569e20c2feb4c29b9684 \
        "$inno" bin || { echo "FAIL: npm could not fetch innosetup 6.4.1 (the compiler of the Inno Setup demo)"; exit 1; }
fi

source "$repo/scripts/wine-env.sh"
# Where Wine's 32-bit side runs through qemu-i386 (a kernel without 32-bit
# execution), msiexec and Inno Setup's compiler die there (signal 11): the
# package's install at InstallFiles in 3 tries of 4, or it hung in its first
# custom action; ISCC at every compile. The test reports itself not run
# (status 77, which CTest shows as skipped) rather than failed or passed.
if wine_needs_qemu_shim; then
    echo "NOT RUN: this kernel runs no 32-bit programs, and under qemu-i386 Wine's msiexec and Inno Setup's" \
        "compiler crash; the installers test needs a kernel that runs 32-bit programs"
    exit 77
fi
prefix="$work/wineprefix"
watcher=""
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null; wine_prefix_destroy "$prefix"' EXIT
# The prefix is made while the package and the NSIS setups are built;
# Inno's compiler runs in it afterwards.
wine_prefix_create "$prefix" &
prefix_maker=$!
source "$repo/tests/checks.sh"

# 1.0.0 from the pieces as they are; 1.1.0, the update, from a copy whose
# calls get the programs' paths in quotes; and the package of 1.1.0 built
# once more, a second copy of the same version (another product code).
out="$work/out"
quoted="$work/quoted"
mkdir -p "$quoted"
cp -r "$repo/integration" "$quoted/"
perl -pi -e 's/(!insertmacro Vantrel(?:KeeperStart|KeeperStop|ShortcutSweep)) "([^"]*)"/$1 '"'"'"$2"'"'"'/' \
    "$quoted/integration/nsis/demo.nsi"
perl -pi -e 's/Value="\[#(VantrelSvcKeeperExe|VantrelShortcutSweepExe)\]\|/Value="&quot;[#$1]&quot;|/' \
    "$quoted/integration/wix/VantrelTools.wxs"
perl -pi -e 's/(Vantrel(?:KeeperStart|KeeperStop|ShortcutSweep))\(((?:App|PreviousDir) \+ [^)]*)\)/$1('"'"'"'"'"' + $2 + '"'"'"'"'"')/' \
    "$quoted/integration/inno/demo.iss"
build_demos() { # outdir, integration folder, demos, versions...
    local dir="$1" pieces="$2" demos="$3"
    shift 3
    DEMOS="$demos" ISCC="wine $inno/bin/ISCC.exe" bash "$pieces/build.sh" "$dir" "${tools[@]}" "$@" \
        </dev/null >>"$work/logs/build.log" 2>&1
}
tools=("$@")
built=yes
build_demos "$out" "$repo/integration" "msi nsis" 1.0.0 &&
    build_demos "$work/out-second" "$repo/integration" msi 1.1.0 &&
    build_demos "$work/out-quoted" "$quoted/integration" "msi nsis" 1.1.0 || built=no
wait "$prefix_maker"
wine_use_prefix "$prefix"
if [ "$built" = yes ]; then
    build_demos "$work/inno" "$repo/integration" inno 1.0.0 &&
        build_demos "$work/inno-quoted" "$quoted/integration" inno 1.1.0 || built=no
fi
if [ "$built" = no ]; then
    cat "$work/logs/build.log"
    echo "FAIL: the demo installers could not be built"
    exit 1
fi
mv "$work/out-second/1.1.0" "$out/1.1.0-second" && mv "$work/out-quoted/1.1.0" "$out/1.1.0"
mv "$work/inno/1.0.0/VantrelDemoInno.exe" "$out/1.0.0/" && mv "$work/inno-quoted/1.1.0/VantrelDemoInno.exe" "$out/1.1.0/"
check "the update's pieces give the programs' paths in quotes" \
    grep -q '"\$INSTDIR\\svckeeper.exe"'"'" "$quoted/integration/nsis/demo.nsi"

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
# longer than NSIS holds; the others run svckeeper through the macros, as
# they are and with the quotes on the command line taken out, which shows
# the trap under Wine too, since the macros name the program apart.
mkdir -p "$work/probe/unquoted" "$work/probe/line"
sed "s/StrCpy \$1 '\"\$0\"\${ARGS}'/StrCpy \$1 '\$0\${ARGS}'/" "$repo/integration/nsis/VantrelTools.nsh" \
    >"$work/probe/unquoted/VantrelTools.nsh"
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
if ! probe_build "$work/probe/line/longline.exe" "$repo/integration/nsis" ||
    ! probe_build "$work/probe/keeper-quoted.exe" "$repo/integration/nsis" "-DKEEPER=$keeper_win" ||
    ! probe_build "$work/probe/keeper-unquoted.exe" "$work/probe/unquoted" "-DKEEPER=$keeper_win"; then
    cat "$work/logs/build.log"
    echo "FAIL: the NSIS probes could not be built"
    exit 1
fi

status=0
timeout 60 wine "$(winpath "$work/probe/line/longline.exe")" || status=$?
line_file="$work/probe/line/__shortcutsweep-en.ini"
check "NSIS, a manifest line too long to hold: the setup stops (exit status $status)" test "$status" != 0
check "NSIS, a manifest line too long to hold: no manifest with a cut or joined line is left" \
    test ! -e "$line_file" -o "$(tr -d '\r' <"$line_file" 2>/dev/null | wc -L)" -lt 1000
check "NSIS, a manifest line too long to hold: the setup's log says so" \
    grep -q "__shortcutsweep-en.ini would get a line longer" "$work/probe/line/probe.log"

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
image_path() { wine reg query "$service_key" /v ImagePath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]*SZ *//p'; }

installer_phase() { # msi | nsis | inno
    local kind="$1" name
    case $kind in msi) name="Windows Installer" ;; nsis) name="NSIS" ;; inno) name="Inno Setup" ;; esac
    local failures_before=$failures
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
    local lines_before pids_before
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
    # A second stop (the installer's own, after svckeeper's) may reach it too.
    check "$kind update: the service logged stop, then start ($new_lines)" grep -Eqx '(stop )+start ' <<<"$new_lines"
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
    check "$kind update: the shortcut 1.1.0 no longer makes, Vantrel Forum.url, is gone" test ! -e "$menu/Vantrel Forum.url"
    check "$kind update: a shortcut the product added stays" test -f "$desktop/Vantrel Added.url"
    rm -f "$desktop/Vantrel Added.url"

    if [ "$kind" = msi ]; then
        step "1.0.0 over 1.1.0" msi install 1.0.0
        check "msi: an older version is refused while a newer one is installed (exit status $status)" test "$status" != 0
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

    # What the product and the user add while it is installed.
    printf 'x\r\n' >"$desktop/Vantrel Extra.url"     # the wildcard line's
    printf 'x\r\n' >"$desktop/Vantrel Versteckt.url" # the wildcard line's, but hidden
    wine attrib +h "$desktop_win\\Vantrel Versteckt.url" >/dev/null
    printf 'x\r\n' >"$menu/Vantrel Web.url"          # a plain line's, never installed
    printf 'x\r\n' >"$menu/Readme.txt"
    printf 'x\r\n' >"$install/user-settings.ini"
    local before after expected
    before="$(snapshot)"

    step "removal" "$kind" remove 1.1.0
    check "$kind removal: exit status 0" test "$status" = 0
    check "$kind removal: nothing is registered" test -z "$(registered_versions)"
    check "$kind removal: the service is stopped and deleted" eventually service_gone
    check "$kind removal: the service's last word was stop" test "$(tr -d '\r' <"$service_log" | tail -n 1)" = stop
    local f
    for f in "$desktop/Vantrel Home.url" "$desktop/Vantrel Startseite.url" "$desktop/Vantrel Extra.url" \
        "$menu/Vantrel Home.url" "$menu/Vantrel Startseite.url" "$menu/Vantrel Hilfe.url" "$menu/Vantrel Web.url"; do
        check "$kind removal: listed shortcut ${f#"$drive_c"/} is gone" test ! -e "$f"
    done
    check "$kind removal: the shortcut nobody listed stays" test -f "$desktop/Other Vendor.url"
    check "$kind removal: the hidden listed shortcut stays" test -f "$desktop/Vantrel Versteckt.url"
    check "$kind removal: the manifests and __shortcutsweep.bat are gone" test ! -e "$install/__shortcutsweep-en.ini" \
        -a ! -e "$install/__shortcutsweep-de.ini" -a ! -e "$install/__shortcutsweep.bat"
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
    check "$kind: the decision log has svckeeper's run with no argument" logged "\"$install_win\\svckeeper.exe\""
    check "$kind: the decision log has svckeeper's run with stop" logged "\"$install_win\\svckeeper.exe\" stop"
    check "$kind: the decision log has shortcutsweep's run" logged "\"$install_win\\shortcutsweep.exe\""
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
    check "$kind removal with the programs gone: the manifests and __shortcutsweep.bat are gone" \
        test ! -e "$install/__shortcutsweep-en.ini" -a ! -e "$install/__shortcutsweep-de.ini" -a ! -e "$install/__shortcutsweep.bat"
    check "$kind removal with the programs gone: the shortcuts the setup installed are gone" test ! -e "$desktop/Vantrel Home.url" \
        -a ! -e "$desktop/Vantrel Startseite.url" -a ! -e "$menu/Vantrel Home.url" -a ! -e "$menu/Vantrel Hilfe.url"
    check "$kind removal with the programs gone: the setup's log says svckeeper.exe could not be started" \
        logged_cannot_start svckeeper.exe
    check "$kind removal with the programs gone: the setup's log says shortcutsweep.exe could not be started" \
        logged_cannot_start shortcutsweep.exe
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

installer_phase msi
installer_phase nsis
installer_phase inno

echo "run time $(($(date +%s) - started)) s; logs in $work/logs"
if [ "$failures" -ne 0 ]; then
    echo "FAIL: $failures check(s) failed"
    exit 1
fi
echo "PASS: all checks passed"
