#!/usr/bin/env bash
# Builds the three programs in release mode from a clean build folder and
# packs them, with a README.txt for the installer's author, the installer
# pieces and a sample manifest (integration/), sweepcheck's JSON schema, a
# bill of materials (sbom.cdx.json, CycloneDX 1.6), a BUILDINFO and a
# SHA256SUMS file, into
# dist/vantrel-tools_shortcutsweep-<version>_svckeeper-<version>_sweepcheck-<version>.zip,
# and writes the zip's own SHA-256, to publish beside it, to <zip>.sha256.
#
# Authenticode signing (osslsigncode, SHA-256), when one of these is set:
#   SIGN_CERT and SIGN_KEY   certificate (chain) and private key, PEM files
#   SIGN_PKCS12              certificate and key in one PKCS#12 file
#   SIGN_PASSWORD            optional: the password of the key or PKCS#12 file
#   SIGN_TIMESTAMP_URL       optional: an RFC 3161 time-stamp server
# Without them the programs are packed unsigned.
#
# The bill of materials is made from the build itself (scripts/sbom.py): the
# linker writes a map of each program, which tells what it took in from the
# tool chain's libraries, and dpkg which package and version each came from.
# Its time stamp, like the zip's file times, is SOURCE_DATE_EPOCH when set,
# otherwise the commit's time.
#
# RELEASE_BUILD_DIR (default build/release) and RELEASE_DIST_DIR (default
# dist) move the build folder and the output elsewhere.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"

fail() {
    echo "release: $*" >&2
    exit 1
}

# Settle the signing first: a half-given setting must stop the release, not
# quietly produce unsigned programs.
sign_args=()
if [ -n "${SIGN_PKCS12:-}" ]; then
    if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}" ]; then
        fail "set either SIGN_PKCS12, or SIGN_CERT and SIGN_KEY, not both"
    fi
    [ -f "$SIGN_PKCS12" ] || fail "SIGN_PKCS12: no such file: $SIGN_PKCS12"
    sign_args=(-pkcs12 "$SIGN_PKCS12")
elif [ -n "${SIGN_CERT:-}" ] || [ -n "${SIGN_KEY:-}" ]; then
    [ -n "${SIGN_CERT:-}" ] || fail "SIGN_KEY is set but SIGN_CERT is not"
    [ -n "${SIGN_KEY:-}" ] || fail "SIGN_CERT is set but SIGN_KEY is not"
    [ -f "$SIGN_CERT" ] || fail "SIGN_CERT: no such file: $SIGN_CERT"
    [ -f "$SIGN_KEY" ] || fail "SIGN_KEY: no such file: $SIGN_KEY"
    sign_args=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
fi

bash scripts/setup.sh
for tool in zip osslsigncode sha256sum python3 dpkg-query; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done

build="${RELEASE_BUILD_DIR:-build/release}"
mkdir -p "$build" "${RELEASE_DIST_DIR:-dist}"
build="$(cd "$build" && pwd)"
case "$repo/" in "${build%/}/"*) fail "the build folder $build holds the sources; it is emptied first" ;; esac
dist="$(cd "${RELEASE_DIST_DIR:-dist}" && pwd)"

if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    echo "release: warning: the sources have uncommitted changes; they are built as they are"
fi
echo "release: building in $build"
rm -rf "$build"
cmake -S "$repo" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map=%.map" >/dev/null
cmake --build "$build" --target shortcutsweep svckeeper sweepcheck

# A string value of a resource script's version block.
rc_value() { # file, key
    sed -n "s/^[[:space:]]*VALUE \"$2\", \"\\([^\"]*\\)\".*/\\1/p" "$1" | head -n 1
}
# True when the built program's version resource carries the key and value.
exe_has_value() { # exe, key, value
    python3 - "$@" <<'EOF'
import re, sys
data = open(sys.argv[1], "rb").read()
key, value = (s.encode("utf-16-le") for s in sys.argv[2:4])
sys.exit(0 if re.search(re.escape(key) + b"\0\0(\0\0)?" + re.escape(value) + b"\0\0", data) else 1)
EOF
}

stage="$build/package"
mkdir -p "$stage"
declare -A version description
for program in shortcutsweep svckeeper sweepcheck; do
    case $program in
    shortcutsweep) folder=sweep ;;
    svckeeper) folder=keeper ;;
    sweepcheck) folder=check ;;
    esac
    rc="$folder/$program.rc"
    exe="$build/$folder/$program.exe"
    version[$program]="$(rc_value "$rc" ProductVersion)"
    description[$program]="$(rc_value "$rc" FileDescription)"
    [ -n "${version[$program]}" ] || fail "no ProductVersion in $rc"
    exe_has_value "$exe" ProductVersion "${version[$program]}" ||
        fail "$exe does not carry version ${version[$program]} of $rc"

    if [ ${#sign_args[@]} -gt 0 ]; then
        extra=()
        if [ -n "${SIGN_PASSWORD:-}" ]; then
            # Through a file, so that the password never shows in a process list.
            pass_file="$build/sign-password"
            (umask 077 && printf '%s' "$SIGN_PASSWORD" >"$pass_file")
            extra+=(-readpass "$pass_file")
        fi
        if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
            extra+=(-ts "$SIGN_TIMESTAMP_URL")
        fi
        echo "release: signing $program.exe"
        status=0
        osslsigncode sign "${sign_args[@]}" "${extra[@]}" -h sha256 -n "${description[$program]}" \
            -in "$exe" -out "$stage/$program.exe" >/dev/null || status=$?
        rm -f "$build/sign-password"
        [ $status -eq 0 ] || fail "signing $program.exe failed"
    else
        cp "$exe" "$stage/$program.exe"
    fi
done
if [ ${#sign_args[@]} -gt 0 ]; then
    signature="The three programs carry an Authenticode signature (SHA-256)."
else
    signature="The programs in this package are not signed."
    echo "release: not signed: set SIGN_CERT and SIGN_KEY, or SIGN_PKCS12, to sign"
fi

# README.txt, with Windows line ends: what the zip holds, then the
# installer author's guide (docs/AUTHORS.md) as plain text, so that the two
# are one text and cannot drift apart.
{
    sed -e "s/@SHORTCUTSWEEP_VERSION@/${version[shortcutsweep]}/g" \
        -e "s/@SVCKEEPER_VERSION@/${version[svckeeper]}/g" \
        -e "s/@SWEEPCHECK_VERSION@/${version[sweepcheck]}/g" \
        -e "s/@SIGNATURE@/$signature/" scripts/release-README-header.txt
    echo
    echo
    python3 scripts/markdown-to-text.py docs/AUTHORS.md
} | sed -e 's/$/\r/' >"$stage/README.txt"

# What an installer author copies: the Windows Installer include and its
# custom actions, the NSIS macros and the Inno Setup calls, with the demo
# product built and run with them in the tests (Inno's compiler is not ours
# to ship).
integration=(integration/build.sh integration/inno/VantrelTools.iss integration/inno/demo.iss
    integration/nsis/VantrelTools.nsh integration/nsis/demo.nsi integration/sample/__shortcutsweep-en.ini
    integration/wix/VantrelActionRules.h integration/wix/VantrelActions.cpp integration/wix/VantrelTools.wxs integration/wix/add-removefile-rows.sh
    integration/wix/demo.wxs)
for file in "${integration[@]}"; do
    mkdir -p "$stage/$(dirname "$file")"
    cp "$file" "$stage/$file"
done
cp check/sweepcheck.schema.json "$stage/"
package_version="shortcutsweep-${version[shortcutsweep]}_svckeeper-${version[svckeeper]}_sweepcheck-${version[sweepcheck]}"
zip_name="vantrel-tools_$package_version.zip"

# What the zip was built from, and how to build it again byte for byte.
commit="$(git rev-parse HEAD 2>/dev/null || echo unknown)"
dirty="$(git status --porcelain --untracked-files=no 2>/dev/null)"
if [ -n "$dirty" ]; then
    from="commit $commit, with uncommitted changes: this zip cannot be built again from the commit alone"
else
    from="commit $commit"
fi
compiler="$(i686-w64-mingw32-g++-posix --version | head -n 1)"
linker="$(i686-w64-mingw32-ld --version | head -n 1)"
# The system the zip was built on: another release has other compilers.
system="$(. /etc/os-release && echo "${PRETTY_NAME:-$ID}")"
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    rebuild="This zip was built from uncommitted changes: the commands below build the
zip of the commit, which differs from it."
elif [ ${#sign_args[@]} -gt 0 ]; then
    rebuild="The programs in this zip are signed, and a signature differs each time: the
commands below build the zip of the same programs before signing, byte for byte."
else
    rebuild="The commands below build this zip again, byte for byte."
fi
sed -e 's/$/\r/' >"$stage/BUILDINFO" <<INFO
Vantrel tools: shortcutsweep ${version[shortcutsweep]}, svckeeper ${version[svckeeper]}, sweepcheck ${version[sweepcheck]}

Built from: $from
Compiler:   $compiler
Linker:     $linker
On:         $system

$rebuild
On a $system machine, as root:

  git clone <the Vantrel tools repository> vantrel-tools
  cd vantrel-tools
  git checkout $commit
  bash scripts/release.sh
  sha256sum dist/$zip_name

The zip's SHA-256 is published beside it, not in it (a file cannot hold its
own checksum); SHA256SUMS in the zip covers every other file.
INFO

# The bill of materials: the programs as packed (signed, where signed), what
# the linker put into them from the tool chain, and the installer pieces.
stamp="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}"
bom_args=()
for program in shortcutsweep svckeeper sweepcheck; do
    case $program in
    shortcutsweep) folder=sweep ;;
    svckeeper) folder=keeper ;;
    sweepcheck) folder=check ;;
    esac
    bom_args+=(--program "$program.exe" "${version[$program]}" "${description[$program]}" "$build/$folder/$program.exe.map")
done
for file in "${integration[@]}"; do bom_args+=(--file "$file"); done
python3 scripts/sbom.py --stage "$stage" --build "$build" --name vantrel-tools --version "$package_version" \
    ${stamp:+--epoch "$stamp"} --commit "$commit${dirty:+ (with uncommitted changes)}" "${bom_args[@]}" >"$stage/sbom.cdx.json" ||
    fail "the bill of materials could not be made"

files=(shortcutsweep.exe svckeeper.exe sweepcheck.exe README.txt BUILDINFO sweepcheck.schema.json sbom.cdx.json "${integration[@]}")
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)

# The same files give the same archive: fixed times, no extra attributes.
if [ -n "$stamp" ]; then
    find "$stage" -exec touch -d "@$stamp" {} +
fi
rm -f "$dist/$zip_name" "$dist/$zip_name.sha256"
(cd "$stage" && TZ=UTC zip -q -X -D "$dist/$zip_name" "${files[@]}" SHA256SUMS)

(cd "$dist" && sha256sum "$zip_name" >"$zip_name.sha256")
echo "release: $dist/$zip_name"
unzip -l "$dist/$zip_name"
cat "$dist/$zip_name.sha256"
