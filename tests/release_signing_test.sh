#!/usr/bin/env bash
# The release package, signed: runs scripts/release.sh with a throw-away
# self-signed code-signing certificate, checks the package and both
# signatures, then puts the signed programs through the end-to-end tests.
#
# Usage: release_signing_test.sh WORKDIR WINEPREFIX SWEEP_E2E_TESTS
#                                [KEEPER_E2E_TESTS TEST_SERVICE]
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -ne 3 ] && [ $# -ne 5 ]; then
    echo "usage: $0 WORKDIR WINEPREFIX SWEEP_E2E_TESTS [KEEPER_E2E_TESTS TEST_SERVICE]" >&2
    exit 2
fi
work="$1"
prefix="$2"
sweep_tests="$3"
keeper_tests="${4:-}"
test_service="${5:-}"

source "$repo/tests/checks.sh"
section() { echo "--- $*"; }

for file in "$sweep_tests" $keeper_tests $test_service; do
    [ -f "$file" ] || {
        echo "missing $file: build the tests first" >&2
        exit 1
    }
done

rm -rf "$work"
mkdir -p "$work/keys"
keys="$work/keys"

section "a throw-away code-signing certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vantrel release test" \
    -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null
# Blanks and shell characters, taken literally.
# shellcheck disable=SC2016
password='pass word;$1'
openssl pkcs12 -export -in "$keys/cert.pem" -inkey "$keys/key.pem" -out "$keys/cert.p12" \
    -passout "pass:$password"

release() { # dist folder, then VAR=value settings for the release
    local dist="$1"
    shift
    env -u SIGN_CERT -u SIGN_KEY -u SIGN_PKCS12 -u SIGN_PASSWORD -u SIGN_TIMESTAMP_URL \
        RELEASE_BUILD_DIR="$work/build" RELEASE_DIST_DIR="$dist" "$@" \
        bash "$repo/scripts/release.sh" >"$dist.log" 2>&1
}
empty_folder() { [ -z "$(ls -A "$1" 2>/dev/null)" ]; }

section "a half-given signing setting stops the release before anything is packed"
check "SIGN_CERT without SIGN_KEY fails" \
    fails release "$work/half" SIGN_CERT="$keys/cert.pem"
check "  and packs nothing" empty_folder "$work/half"
check "SIGN_KEY without SIGN_CERT fails" \
    fails release "$work/half" SIGN_KEY="$keys/key.pem"
check "SIGN_PKCS12 together with SIGN_CERT and SIGN_KEY fails" \
    fails release "$work/half" SIGN_PKCS12="$keys/cert.p12" \
    SIGN_CERT="$keys/cert.pem" SIGN_KEY="$keys/key.pem"
check "a certificate file that does not exist fails" \
    fails release "$work/half" SIGN_CERT="$keys/none.pem" SIGN_KEY="$keys/key.pem"
check "  and packs nothing" empty_folder "$work/half"

rc_version() { sed -n 's/^ *VALUE "ProductVersion", "\([^"]*\)".*/\1/p' "$repo/$1"; }
zip_name="vantrel-tools_shortcutsweep-$(rc_version sweep/shortcutsweep.rc)_svckeeper-$(rc_version keeper/svckeeper.rc)_sweepcheck-$(rc_version check/sweepcheck.rc).zip"

# Unpacks the one zip in dist into dist/unpacked; checks names and checksums.
check_package() { # dist folder
    local dist="$1" unpacked="$1/unpacked"
    check "the package is named $zip_name, its SHA-256 beside it" \
        test "$(ls "$dist" | tr '\n' ' ')" = "$zip_name $zip_name.sha256 "
    check "  and that SHA-256 is the zip's" zip_checksum_matches "$dist"
    mkdir -p "$unpacked"
    unzip -q "$dist/$zip_name" -d "$unpacked"
    local integration="integration/build.sh integration/inno/VantrelTools.iss integration/inno/demo.iss integration/nsis/VantrelTools.nsh integration/nsis/demo.nsi integration/sample/__shortcutsweep-en.ini integration/wix/VantrelActions.cpp integration/wix/VantrelTools.wxs integration/wix/demo.wxs"
    check "it holds the three programs, README.txt, BUILDINFO, the schema, the installer pieces and SHA256SUMS, nothing else" \
        test "$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')" = "BUILDINFO README.txt SHA256SUMS $integration shortcutsweep.exe svckeeper.exe sweepcheck.exe sweepcheck.schema.json "
    check "SHA256SUMS covers every other file" \
        test "$(awk '{print $2}' "$unpacked/SHA256SUMS" | LC_ALL=C sort | tr '\n' ' ')" = "BUILDINFO README.txt $integration shortcutsweep.exe svckeeper.exe sweepcheck.exe sweepcheck.schema.json "
    check "BUILDINFO names the source commit and how to build the zip again" buildinfo_names_commit "$unpacked/BUILDINFO"
    check "BUILDINFO has Windows line ends on every line" crlf_only "$unpacked/BUILDINFO"
    check "the sample manifest is the one described, byte for byte" \
        cmp -s "$unpacked/integration/sample/__shortcutsweep-en.ini" "$repo/integration/sample/__shortcutsweep-en.ini"
    check "every checksum in SHA256SUMS matches the unpacked file" checksums_match "$unpacked"
    check "README.txt has Windows line ends on every line" crlf_only "$unpacked/README.txt"
    check "README.txt names the three versions and has no unfilled field" readme_filled_in "$unpacked/README.txt"
}
checksums_match() { (cd "$1" && sha256sum --quiet --strict -c SHA256SUMS); }
zip_checksum_matches() { (cd "$1" && sha256sum --quiet --strict -c "$zip_name.sha256"); }
buildinfo_names_commit() {
    local commit
    commit="$(git -C "$repo" rev-parse HEAD)"
    grep -q "Built from: commit $commit" "$1" && grep -q "git checkout $commit" "$1"
}
crlf_only() { # no line without CR before its LF, and a final LF
    ! LC_ALL=C grep -q $'[^\r]$' "$1" && ! LC_ALL=C grep -q '^$' "$1" && [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ]
}
readme_filled_in() {
    # Each program's line in the list of contents ends with its version.
    grep -q "^  shortcutsweep.exe .*version $(rc_version sweep/shortcutsweep.rc)"$'\r' "$1" &&
        grep -q "^  svckeeper.exe .*version $(rc_version keeper/svckeeper.rc)"$'\r' "$1" &&
        grep -q "^  sweepcheck.exe .*version $(rc_version check/sweepcheck.rc)"$'\r' "$1" &&
        ! grep -q @ "$1"
}

# osslsigncode verify, with the throw-away certificate as the trusted root.
signature_verified() { # exe
    local out
    out="$(osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" 2>&1)" || {
        echo "$out" | tail -n 5
        return 1
    }
    # Not "echo | grep -q": grep may end before echo has written it all, and
    # with pipefail the echo's broken pipe fails the check now and then.
    grep -qx "Signature verification: ok" <<<"$out" &&
        grep -q "Subject: /CN=Vantrel release test" <<<"$out" &&
        grep -q "Message digest algorithm *: SHA256" <<<"$out"
}

section "signed with a PEM certificate and key"
start=$(date +%s)
check "the release succeeds" release "$work/pem" SIGN_CERT="$keys/cert.pem" SIGN_KEY="$keys/key.pem"
echo "      (release took $(($(date +%s) - start)) s)"
check_package "$work/pem"
for exe in shortcutsweep svckeeper sweepcheck; do
    check "$exe.exe carries a verified SHA-256 signature by the certificate" \
        signature_verified "$work/pem/unpacked/$exe.exe"
done

section "signed with a password-protected PKCS#12 file"
check "the release succeeds" release "$work/p12" SIGN_PKCS12="$keys/cert.p12" SIGN_PASSWORD="$password"
check "  and the password never appears in its output" fails grep -qF -- "$password" "$work/p12.log"
check_package "$work/p12"
for exe in shortcutsweep svckeeper sweepcheck; do
    check "$exe.exe carries a verified SHA-256 signature by the certificate" \
        signature_verified "$work/p12/unpacked/$exe.exe"
done
check "a wrong password fails the release" \
    fails release "$work/wrong" SIGN_PKCS12="$keys/cert.p12" SIGN_PASSWORD="not it"
check "  and packs nothing" empty_folder "$work/wrong"

section "unsigned, the same sources give the same zip, byte for byte"
check "a first unsigned release succeeds" release "$work/plain1"
check "a second unsigned release succeeds" release "$work/plain2"
check_package "$work/plain1"
check "  the two zips are the same, byte for byte" cmp -s "$work/plain1/$zip_name" "$work/plain2/$zip_name"
if [ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    check "  and BUILDINFO says the commands build it again" \
        grep -q "build this zip again, byte for byte" "$work/plain1/unpacked/BUILDINFO"
else
    check "  and BUILDINFO says it was built from uncommitted changes" \
        grep -q "built from uncommitted changes" "$work/plain1/unpacked/BUILDINFO"
fi

section "the signed programs do what the unsigned ones do"
signed="$work/pem/unpacked"
sample="Z:${signed//\//\\}\\integration\\sample\\__shortcutsweep-en.ini"
check "sweepcheck.exe, signed, passes the sample manifest of the zip as text alone (exit status 0)" \
    "$repo/scripts/wine-run" --prefix "$prefix" "$signed/sweepcheck.exe" --text-only "$sample"
check "shortcutsweep.exe and sweepcheck.exe, signed, pass the sweep's end-to-end tests" \
    "$repo/scripts/wine-run" --prefix "$prefix" "$sweep_tests" "$signed/shortcutsweep.exe" "$signed/sweepcheck.exe"
if [ -n "$keeper_tests" ]; then
    check "svckeeper.exe, signed, passes the keeper's end-to-end tests" \
        "$repo/scripts/wine-run" --prefix "$prefix" "$keeper_tests" "$signed/svckeeper.exe" "$test_service"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed; release logs in $work/*.log"
    exit 1
fi
rm -rf "$work"
echo "all checks passed"
