#!/usr/bin/env bash
# The programs inside their real callers: the demo Windows Installer package
# and the demo NSIS setup (integration/), built around the given programs
# and run under Wine: install, update to a higher version, removal, a
# removal whose programs are missing, and the decision log named in the
# registry.
#
# Usage: installers_test.sh WORKDIR SHORTCUTSWEEP_EXE SVCKEEPER_EXE SWEEPCHECK_EXE TEST_SERVICE_EXE
#
# Works in a Wine prefix of its own (the service it registers is "Vantrel
# Service", which no other test may share); needs wixl, msitools, nsis,
# the mingw-w64 C++ compiler (integration/build.sh) and python3 (the file
# watcher). About 35 s, 20 of them for the prefix.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -ne 5 ]; then
    echo "usage: $0 WORKDIR SHORTCUTSWEEP_EXE SVCKEEPER_EXE SWEEPCHECK_EXE TEST_SERVICE_EXE" >&2
    exit 2
fi
work="$1"
shift
started=$(date +%s)
# The decision log must come from the registry alone.
unset VANTREL_TOOLS_LOG

rm -rf "$work"
mkdir -p "$work/logs"
work="$(cd "$work" && pwd)"
out="$work/out"
if ! bash "$repo/integration/build.sh" "$out" "$@" 1.0.0 1.1.0 >"$work/logs/build.log" 2>&1; then
    cat "$work/logs/build.log"
    echo "FAIL: the demo installers could not be built"
    exit 1
fi
command -v python3 >/dev/null || { echo "FAIL: python3 is needed to watch the files"; exit 1; }

source "$repo/scripts/wine-env.sh"
prefix="$work/wineprefix"
wine_prefix_create "$prefix"
watcher=""
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null; wine_prefix_destroy "$prefix"' EXIT
wine_use_prefix "$prefix"
source "$repo/tests/checks.sh"

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
# blanks before the program sees it; on Windows svckeeper would take the
# rest of "C:\Program Files\..." as an argument and stop the service. So
# the quoting can only be checked in the scripts.
unquoted="$(grep -En "^[[:blank:]]*ExecWait" "$repo"/integration/nsis/*.nsh "$repo"/integration/nsis/*.nsi |
    grep -v "ExecWait '\"" || true)"
check "every NSIS ExecWait passes its program's path in quotes" test -z "$unquoted"
[ -z "$unquoted" ] || echo "$unquoted"

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
    echo "      ($what: exit status $status, $((($(date +%s%N) - t0) / 1000000)) ms)"
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
manifests_written() {
    check "$1: the English manifest, UTF-8 with BOM, CR LF after every line" manifest_is "$install/__shortcutsweep-en.ini" \
        "$desktop_win\\Vantrel Home.url" "$menu_win\\Vantrel Home.url" "$menu_win\\Vantrel Web.url"
    check "$1: the German manifest, with its wildcard line" manifest_is "$install/__shortcutsweep-de.ini" \
        "$desktop_win\\Vantrel Startseite.url" "$menu_win\\Vantrel Startseite.url" "$menu_win\\Vantrel Hilfe.url" \
        "$desktop_win\\Vantrel*.url"
}

# Every file and folder around the product, by name and type.
snapshot() {
    local root
    for root in "$desktop" "$programs" "$drive_c/$program_files" "$data"; do
        find "$root" -mindepth 1 -printf "${root#"$drive_c"/}/%P %y\n"
    done | grep -v '/uninstall\.exe ' | sort
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

# Sets $cmd to the silent command line of an installer's step.
command_for() { # msi | nsis, install | remove, version
    case "$1 $2" in
    "msi install") cmd=(wine msiexec /i "$(winpath "$out/$3/VantrelDemo.msi")" /qn /l*v "$(winpath "$work/logs/msi-install-$3.log")") ;;
    "msi remove") cmd=(wine msiexec /x "$(winpath "$out/$3/VantrelDemo.msi")" /qn /l*v "$(winpath "$work/logs/msi-remove-$3.log")") ;;
    "nsis install") cmd=(wine "$(winpath "$out/$3/VantrelDemoSetup.exe")" /S) ;;
    "nsis remove")
        # An NSIS uninstaller returns at once, before its work, unless given
        # _?=<folder>, which must reach it unquoted; wine would quote it (it
        # holds blanks), a batch file passes it as written.
        printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$install_win" "$install_win" >"$work/uninstall.bat"
        cmd=(wine cmd /c "$(winpath "$work/uninstall.bat")")
        ;;
    esac
}
step() { # what, msi | nsis, install | remove, version
    command_for "$2" "$3" "$4"
    run "$1" "${cmd[@]}"
}

installer_phase() { # msi | nsis
    local kind="$1" name
    [ "$kind" = msi ] && name="Windows Installer" || name="NSIS"
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
    check "$kind install: the shortcuts are in the Start menu" \
        test -f "$menu/Vantrel Home.url" -a -f "$menu/Vantrel Startseite.url" -a -f "$menu/Vantrel Hilfe.url"
    manifests_written "$kind install"
    check "$kind install: __shortcutsweep.bat is beside the programs" test -f "$install/__shortcutsweep.bat"
    status=0
    wine "$install_win\\sweepcheck.exe" "$install_win" >"$work/logs/$kind-sweepcheck.txt" 2>&1 || status=$?
    check "$kind install: sweepcheck finds nothing wrong with the manifests (exit status $status)" test "$status" = 0
    [ "$status" = 0 ] || cat "$work/logs/$kind-sweepcheck.txt"

    # Update: the old process must log its stop before its file is touched.
    printf 'x\r\n' >"$desktop/Vantrel Added.url" # the product's own, listed by the wildcard line
    local lines_before pids_before
    lines_before=$(wc -l 2>/dev/null <"$service_log") || lines_before=0
    pids_before="$(tr -d '\r' 2>/dev/null <"$service_log.pids")" || true
    watch_files "$work/logs/$kind-update-events.txt" "$install" "$data" &
    watcher=$!
    eventually watcher_ready "$work/logs/$kind-update-events.txt" || true
    step "update to 1.1.0" "$kind" install 1.1.0
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
    manifests_written "$kind update"
    # Only a full removal sweeps. Wine's RemoveExistingProducts (8.0) removes
    # the old package without setting UPGRADINGPRODUCTCODE, so under Wine the
    # old package's sweep runs inside the update; Windows sets it.
    if [ "$kind" = nsis ]; then
        check "$kind update: a shortcut the product added stays" test -f "$desktop/Vantrel Added.url"
    elif [ ! -e "$desktop/Vantrel Added.url" ]; then
        echo "      note: the update swept the shortcut the product added (Wine sets no UPGRADINGPRODUCTCODE)"
    fi
    rm -f "$desktop/Vantrel Added.url"

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

    # Removal with a program missing: its call fails, the removal goes on.
    # The package loses both programs: its ServiceControl stops the service.
    # The NSIS setup loses shortcutsweep.exe only: svckeeper is the only
    # thing in it that stops the service, and without the stop its
    # uninstaller would wait 30 s and leave the service running.
    rm -f "$desktop/Vantrel Versteckt.url" "$menu/Readme.txt" "$install/user-settings.ini"
    step "install 1.0.0 again" "$kind" install 1.0.0
    rm -f "$install/shortcutsweep.exe"
    [ "$kind" = msi ] && rm -f "$install/svckeeper.exe"
    step "removal with programs missing" "$kind" remove 1.0.0
    check "$kind removal with a program missing: exit status 0" test "$status" = 0
    check "$kind removal with a program missing: nothing is registered" test -z "$(registered_versions)"
    check "$kind removal with a program missing: the service is deleted" eventually service_gone
    check "$kind removal with a program missing: the other programs are gone" \
        test ! -e "$install/sweepcheck.exe" -a ! -e "$install/test_service.exe"
    # What only the sweep would have deleted.
    rm -rf "$install" "$menu" "$desktop"/Vantrel*.url

    if [ "$failures" -eq "$failures_before" ]; then
        echo "PASS: $name"
    else
        echo "FAIL: $name ($((failures - failures_before)) check(s))"
    fi
}

installer_phase msi
installer_phase nsis

echo "run time $(($(date +%s) - started)) s; logs in $work/logs"
if [ "$failures" -ne 0 ]; then
    echo "FAIL: $failures check(s) failed"
    exit 1
fi
echo "PASS: all checks passed"
