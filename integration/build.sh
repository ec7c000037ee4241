#!/usr/bin/env bash
# Builds the demo Windows Installer package (wix/demo.wxs), the demo NSIS
# setup (nsis/demo.nsi) and, when ISCC is set, the demo Inno Setup setup
# (inno/demo.iss) around given builds of the programs, once for each version
# asked for (default: 1.0.0 and 1.1.0, a first build and an update).
#
# Usage: build.sh OUTDIR SHORTCUTSWEEP_EXE SVCKEEPER_EXE SWEEPCHECK_EXE TEST_SERVICE_EXE [VERSION...]
#
# Writes OUTDIR/<version>/VantrelDemo.msi, VantrelDemoSetup.exe and
# VantrelDemoInno.exe. Needs wixl, msiinfo and msibuild (Debian: wixl,
# msitools), makensis (nsis) and i686-w64-mingw32-g++ (g++-mingw-w64-i686).
# ISCC: the command that runs Inno Setup 6's ISCC.exe, such as
# "wine /opt/innosetup/ISCC.exe"; under Wine, paths are passed as Z:\...
# DEMOS: which demos to build (default "msi nsis", and "inno" with ISCC).
# VANTREL_ACTIONS_DLL: a build of wix/VantrelActions.cpp to use (the
# project's CMake build makes one); without it, it is compiled here.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ $# -lt 5 ]; then
    echo "usage: $0 OUTDIR SHORTCUTSWEEP_EXE SVCKEEPER_EXE SWEEPCHECK_EXE TEST_SERVICE_EXE [VERSION...]" >&2
    exit 2
fi
out="$1"
shift
programs=("$1" "$2" "$3" "$4")
names=(shortcutsweep.exe svckeeper.exe sweepcheck.exe test_service.exe)
shift 4
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(1.0.0 1.1.0)

missing=()
for tool in wixl msiinfo msibuild makensis i686-w64-mingw32-g++; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "missing: ${missing[*]} (apt-get install wixl msitools nsis g++-mingw-w64-i686)" >&2
    exit 1
fi
for version in "${versions[@]}"; do
    # Windows Installer versions are three numbers; NSIS adds a fourth.
    if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
        echo "version $version: expected three numbers, such as 1.2.0" >&2
        exit 2
    fi
done

rm -rf "$out"
mkdir -p "$out/tools" "$out/files"
out="$(cd "$out" && pwd)"
for i in 0 1 2 3; do
    cp "${programs[$i]}" "$out/tools/${names[$i]}"
done

files="$out/files"
url() { printf '[InternetShortcut]\r\nURL=%s\r\n' "$2" >"$files/$1"; }
url "Vantrel Home.url" "https://www.example.com/vantrel/en/"
url "Vantrel Startseite.url" "https://www.example.com/vantrel/de/"
url "Vantrel Hilfe.url" "https://www.example.com/vantrel/de/hilfe/"
url "Vantrel Forum.url" "https://www.example.com/vantrel/forum/"
printf '@rem Left by an earlier Vantrel setup; shortcutsweep deletes it.\r\n' >"$files/__shortcutsweep.bat"

demos=" ${DEMOS:-msi nsis${ISCC:+ inno}} "
if [[ "$demos" == *" msi "* ]]; then
    if [ -n "${VANTREL_ACTIONS_DLL:-}" ]; then
        # The project's own build of it (CMake, with the programs' warnings).
        cp "$VANTREL_ACTIONS_DLL" "$files/VantrelActions.dll"
    else
        i686-w64-mingw32-g++ -std=c++17 -O2 -s -static -shared -Wall -Wextra -Werror \
            -Wl,--kill-at -Wl,--no-insert-timestamp \
            -o "$files/VantrelActions.dll" "$here/wix/VantrelActions.cpp" -lmsi
    fi
fi

# A deferred action outside InstallInitialize..InstallFinalize never runs
# (or fails the install); wixl has placed actions there when asked for
# Before/After, so each package is checked.
check_deferred_actions() {
    local msi="$1"
    local actions sequence
    actions="$(msiinfo export "$msi" CustomAction | tr -d '\r')"
    sequence="$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r')"
    awk -F'\t' -v msi="$msi" '
        NR == FNR { if (FNR > 3 && int($2 / 1024) % 2 == 1) deferred[$1] = 1; next }
        FNR > 3 { seq[$1] = $3 + 0 }
        END {
            bad = 0
            for (a in deferred) {
                if (!(a in seq)) continue
                if (seq[a] <= seq["InstallInitialize"] || seq[a] >= seq["InstallFinalize"]) {
                    printf "%s: deferred action %s has sequence %d, outside InstallInitialize (%d) .. InstallFinalize (%d)\n",
                        msi, a, seq[a], seq["InstallInitialize"], seq["InstallFinalize"] > "/dev/stderr"
                    bad = 1
                }
            }
            exit bad
        }' <(printf '%s\n' "$actions") <(printf '%s\n' "$sequence")
}

winpath() { if command -v winepath >/dev/null; then winepath -w "$1"; else echo "$1"; fi; }

for version in "${versions[@]}"; do
    mkdir -p "$out/$version"
    built=()
    if [[ "$demos" == *" msi "* ]]; then
        # wixl finds sources only by paths relative to its working folder.
        (cd "$out" && wixl -a x86 -D ProductVersion="$version" -D ToolsDir=tools -D FilesDir=files \
            -D VantrelActionsDll=files/VantrelActions.dll -D VantrelNoRemoveFile=1 -o "$out/$version/VantrelDemo.msi" "$here/wix/demo.wxs")
        # wixl (0.101) reads no RemoveFile element: the include leaves them
        # out, and the kit's script adds the same rows.
        sh "$here/wix/add-removefile-rows.sh" "$out/$version/VantrelDemo.msi" INSTALLFOLDER
        check_deferred_actions "$out/$version/VantrelDemo.msi"
        built+=(VantrelDemo.msi)
    fi
    if [[ "$demos" == *" nsis "* ]]; then
        makensis -V2 -DVERSION="$version" -DTOOLSDIR="$out/tools" -DFILESDIR="$files" \
            -DOUTFILE="$out/$version/VantrelDemoSetup.exe" "$here/nsis/demo.nsi"
        built+=(VantrelDemoSetup.exe)
    fi
    if [[ "$demos" == *" inno "* ]]; then
        [ -n "${ISCC:-}" ] || { echo "inno: set ISCC to the command that runs ISCC.exe" >&2; exit 1; }
        # shellcheck disable=SC2086 # ISCC is a command with its arguments
        $ISCC /Q "/DVersion=$version" "/DToolsDir=$(winpath "$out/tools")" "/DFilesDir=$(winpath "$files")" \
            "/O$(winpath "$out/$version")" "$(winpath "$here/inno/demo.iss")"
        built+=(VantrelDemoInno.exe)
    fi
    echo "built in $out/$version: ${built[*]}"
done
