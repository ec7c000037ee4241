#!/usr/bin/env bash
# The release package, signed: runs scripts/release.sh with a throw-away
# self-signed code-signing certificate, checks the package and both
# signatures, then puts the signed programs through the end-to-end tests.
# The package's bill of materials is checked against CycloneDX's own JSON
# schema, as npm's CycloneDX library (@cyclonedx/cyclonedx-library) ships
# it, pinned by version and SHA-256 and fetched once beside WORKDIR, with
# Debian's python3-jsonschema; and against dpkg and the link.
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

cyclonedx="$(dirname "$work")/cyclonedx-library-10.3.0"
bash "$repo/scripts/npm-fetch.sh" @cyclonedx/cyclonedx-library 10.3.0 \
    9833bd949052eb18218dd64b13ad62d9246f7395eef01c66dad08fcbacf74f01 "$cyclonedx" res/schema || {
    echo "FAIL: npm could not fetch @cyclonedx/cyclonedx-library 10.3.0, whose schemas check the bill of materials"
    exit 1
}
schemas="$cyclonedx/res/schema"

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
    env -u SIGN_CERT -u SIGN_KEY -u SIGN_PKCS12 -u SIGN_PASSWORD -u SIGN_TIMESTAMP_URL -u SOURCE_DATE_EPOCH \
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
    local integration="integration/build.sh integration/inno/VantrelTools.iss integration/inno/demo.iss integration/nsis/VantrelTools.nsh integration/nsis/demo.nsi integration/sample/__shortcutsweep-en.ini integration/wix/VantrelActionRules.h integration/wix/VantrelActions.cpp integration/wix/VantrelTools.wxs integration/wix/add-removefile-rows.sh integration/wix/demo.wxs"
    check "it holds the three programs, README.txt, BUILDINFO, the schema, the bill of materials, the installer pieces and SHA256SUMS, nothing else" \
        test "$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')" = "BUILDINFO README.txt SHA256SUMS $integration sbom.cdx.json shortcutsweep.exe svckeeper.exe sweepcheck.exe sweepcheck.schema.json "
    check "SHA256SUMS covers every other file" \
        test "$(awk '{print $2}' "$unpacked/SHA256SUMS" | LC_ALL=C sort | tr '\n' ' ')" = "BUILDINFO README.txt $integration sbom.cdx.json shortcutsweep.exe svckeeper.exe sweepcheck.exe sweepcheck.schema.json "
    check "BUILDINFO names the source commit and how to build the zip again" buildinfo_names_commit "$unpacked/BUILDINFO"
    check "BUILDINFO has Windows line ends on every line" crlf_only "$unpacked/BUILDINFO"
    check "the sample manifest is the one described, byte for byte" \
        cmp -s "$unpacked/integration/sample/__shortcutsweep-en.ini" "$repo/integration/sample/__shortcutsweep-en.ini"
    check "every checksum in SHA256SUMS matches the unpacked file" checksums_match "$unpacked"
    check "README.txt has Windows line ends on every line" crlf_only "$unpacked/README.txt"
    check "README.txt names the three versions and has no unfilled field" readme_filled_in "$unpacked/README.txt"
    check "the bill of materials is valid CycloneDX 1.6 by the standard's own schema" \
        bom_valid "$unpacked/sbom.cdx.json"
    # shellcheck disable=SC2086 # one installer piece a word
    check "the bill lists each program with its version, and each program and installer piece with the SHA-256 of the file packed" \
        bom_lists_packed_files "$unpacked" $integration
}

# The CycloneDX 1.6 schema and the schemas it refers to, by the names it
# refers to them with; formats that jsonschema has no checker for here
# (date-time among them) pass, and the time stamp is checked on its own.
bom_valid() { # bill
    /usr/bin/python3 - "$schemas" "$1" <<'PY'
import json, sys
from urllib.parse import urljoin
import jsonschema
schemas, bill = sys.argv[1:3]
load = lambda name: json.load(open(f"{schemas}/{name}", encoding="utf-8"))
schema = load("bom-1.6.SNAPSHOT.schema.json")
others = {urljoin(schema["$id"], name): load(name) for name in ("spdx.SNAPSHOT.schema.json", "jsf-0.82.SNAPSHOT.schema.json")}
jsonschema.Draft7Validator.check_schema(schema)
try:
    # jsonschema 4.18 and later (Debian 13): its referencing library. Its
    # RefResolver, kept for older code, loses its way in this schema there.
    from referencing import Registry, Resource
    from referencing.jsonschema import DRAFT7
    registry = Registry().with_resources(
        (uri, Resource.from_contents(contents, default_specification=DRAFT7)) for uri, contents in others.items())
    validator = jsonschema.Draft7Validator(schema, registry=registry, format_checker=jsonschema.FormatChecker())
except ImportError:  # jsonschema 4.10 (Debian 12)
    validator = jsonschema.Draft7Validator(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=others),
                                           format_checker=jsonschema.FormatChecker())
errors = list(validator.iter_errors(json.load(open(bill, encoding="utf-8"))))
for error in errors[:5]:
    print("      " + "/".join(map(str, error.absolute_path)) + ": " + error.message[:300])
sys.exit(1 if errors else 0)
PY
}
bom_lists_packed_files() { # unpacked folder, installer pieces...
    local unpacked="$1"
    shift
    /usr/bin/python3 - "$unpacked" "$(rc_version sweep/shortcutsweep.rc)" "$(rc_version keeper/svckeeper.rc)" \
        "$(rc_version check/sweepcheck.rc)" "$@" <<'PY'
import hashlib, json, sys
unpacked, versions, pieces = sys.argv[1], sys.argv[2:5], sys.argv[5:]
bill = json.load(open(f"{unpacked}/sbom.cdx.json", encoding="utf-8"))
sha = lambda f: hashlib.sha256(open(f"{unpacked}/{f}", "rb").read()).hexdigest()
listed = {}
for c in bill["components"]:
    name = next((p["value"] for p in c.get("properties", []) if p["name"] == "vantrel:file"), c["name"])
    listed[name] = (c["type"], c.get("version"), [h["content"] for h in c.get("hashes", []) if h["alg"] == "SHA-256"])
wanted = {f"{p}.exe": ("application", v, [sha(f"{p}.exe")]) for p, v in zip(("shortcutsweep", "svckeeper", "sweepcheck"), versions)}
wanted.update({f: ("file", None, [sha(f)]) for f in pieces})
wrong = {f: listed.get(f) for f in wanted if listed.get(f) != wanted[f]}
for f, got in wrong.items():
    print(f"      {f}: listed as {got}, packed as {wanted[f]}")
sys.exit(1 if wrong else 0)
PY
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
unzip -p "$work/plain2/$zip_name" sbom.cdx.json >"$work/plain2.sbom.cdx.json"
check "  and the same bill of materials, byte for byte" cmp -s "$work/plain1/unpacked/sbom.cdx.json" "$work/plain2.sbom.cdx.json"
bom_time() { /usr/bin/python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["metadata"]["timestamp"])' "$1"; }
commit_time="$(TZ=UTC git -C "$repo" log -1 --date=format-local:%Y-%m-%dT%H:%M:%SZ --format=%cd)"
check "  whose time stamp ($(bom_time "$work/plain1/unpacked/sbom.cdx.json")) is the commit's ($commit_time), not the clock's" \
    test "$(bom_time "$work/plain1/unpacked/sbom.cdx.json")" = "$commit_time"
if [ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    check "  and BUILDINFO says the commands build it again" \
        grep -q "build this zip again, byte for byte" "$work/plain1/unpacked/BUILDINFO"
else
    check "  and BUILDINFO says it was built from uncommitted changes" \
        grep -q "built from uncommitted changes" "$work/plain1/unpacked/BUILDINFO"
fi

section "the bill of materials, against dpkg and the link"
bill="$work/plain1/unpacked/sbom.cdx.json"
# Each component, with the library the compiler links it from and the
# package dpkg says that library came from, at its installed version.
bom_has_component() { # bill, component, package, version
    /usr/bin/python3 - "$@" <<'PY'
import json, sys
from urllib.parse import quote
bill, name, package, version = sys.argv[1:5]
data = json.load(open(bill, encoding="utf-8"))
found = [c for c in data["components"] if c["name"] == name and c["type"] == "library"]
ok = (len(found) == 1 and found[0]["version"] == version
      and found[0]["purl"].startswith(f"pkg:deb/debian/{quote(package, safe='')}@{quote(version, safe='')}?")
      and found[0]["supplier"]["name"] and found[0]["licenses"])
programs = [d for d in data["dependencies"] if d["ref"].startswith("program:")]
ok = ok and len(programs) == 3 and all(found[0]["bom-ref"] in d["dependsOn"] for d in programs)
if not ok:
    print("      listed:", json.dumps(found)[:400])
sys.exit(0 if ok else 1)
PY
}
for pair in libstdc++:libstdc++.a libgcc:libgcc.a winpthreads:libpthread.a mingw-w64-crt:libmingwex.a; do
    library="$(i686-w64-mingw32-g++-posix -print-file-name="${pair#*:}")"
    package="$(dpkg-query -S "$(realpath "$library")" | head -n 1 | cut -d: -f1)"
    version="$(dpkg-query -W -f='${Version}' "$package")"
    check "${pair%%:*} ($package $version, its ${pair#*:}) is listed, with supplier and licence, as in all three programs" \
        bom_has_component "$bill" "${pair%%:*}" "$package" "$version"
done
spdx_known() { # bill: every licence identifier is on the SPDX list the schema carries, or a LicenseRef
    /usr/bin/python3 - "$schemas/spdx.SNAPSHOT.schema.json" "$1" <<'PY'
import json, re, sys
known = set(json.load(open(sys.argv[1]))["enum"])
bill = json.load(open(sys.argv[2], encoding="utf-8"))
ids = []
for c in bill["components"] + [bill["metadata"]["component"]]:
    for choice in c.get("licenses", []):
        ids += re.findall(r"[^\s()]+", choice["expression"]) if "expression" in choice else [choice["license"]["id"]]
unknown = [i for i in ids if i not in known | {"AND", "OR", "WITH"} and not re.fullmatch(r"LicenseRef-[A-Za-z0-9.-]+", i)]
print("      unknown:", unknown) if unknown else None
sys.exit(1 if unknown or not ids else 0)
PY
}
check "every licence in the bill is an SPDX identifier or a LicenseRef" spdx_known "$bill"

# Small links of our own: what the linker did not take in is not listed,
# and what the bill cannot place stops it.
tiny="$work/tiny"
mkdir -p "$tiny/build" "$tiny/elsewhere"
printf 'int main(void) { return 0; }\n' >"$tiny/build/c.c"
printf 'int elsewhere(void) { return 1; }\n' >"$tiny/elsewhere/e.c"
printf 'int elsewhere(void);\nint main(void) { return elsewhere(); }\n' >"$tiny/build/uses.c"
link_tiny() { # the linker runs in the build folder, as it does for the programs
    (cd "$tiny/build" && i686-w64-mingw32-gcc-posix -O2 -c c.c uses.c &&
        i686-w64-mingw32-gcc-posix -c ../elsewhere/e.c -o ../elsewhere/e.o &&
        i686-w64-mingw32-ar rcs ../elsewhere/libelsewhere.a ../elsewhere/e.o &&
        i686-w64-mingw32-gcc-posix -static -s -Wl,--gc-sections c.o -o c.exe -Wl,-Map=%.map &&
        i686-w64-mingw32-gcc-posix -static -s uses.o -L"$tiny/elsewhere" -lelsewhere -o uses.exe -Wl,-Map=%.map)
}
tiny_bill() { # program
    python3 "$repo/scripts/sbom.py" --stage "$tiny/build" --build "$tiny/build" --name tiny --version 0 \
        --program "$1" 0 "$1" "$tiny/build/$1.map"
}
bom_names() { /usr/bin/python3 -c 'import json, sys; print(" ".join(sorted(c["name"] for c in json.load(sys.stdin)["components"] if c["type"] == "library")))'; }
check "small C programs link" link_tiny
check "a C program's bill lists the C runtime and libgcc, and no libstdc++, which the linker did not take in" \
    test "$(tiny_bill c.exe 2>&1 | bom_names)" = "libgcc mingw-w64-crt"
check "a program holding an archive from no Debian package gets no bill, and is told why" \
    grep -q "libelsewhere.a belongs to no Debian package" <(tiny_bill uses.exe 2>&1 >/dev/null)

section "the signed programs do what the unsigned ones do"
signed="$work/pem/unpacked"
sample="Z:${signed//\//\\}\\integration\\sample\\__shortcutsweep-en.ini"
check "sweepcheck.exe, signed, passes the sample manifest of the zip as text alone (exit status 0)" \
    "$repo/scripts/wine-run" --prefix "$prefix" "$signed/sweepcheck.exe" --text-only "$sample"
# A test program passes only when it ran to GoogleTest's summary and the
# summary says so: under qemu-i386 a crashed Wine process can end with 0.
gtest_passes() { # program and arguments
    local out status=0
    out="$("$repo/scripts/wine-run" --prefix "$prefix" "$@" 2>&1)" || status=$?
    if [ "$status" != 0 ] || ! tr -d '\r' <<<"$out" | grep -qE '^\[  PASSED  \] [0-9]+ tests?\.' ||
        tr -d '\r' <<<"$out" | grep -q '^\[  FAILED  \]'; then
        tr -d '\r' <<<"$out" | grep -E 'Failure|FAILED|PASSED' | head -n 20
        echo "exit status $status"
        return 1
    fi
}
check "shortcutsweep.exe and sweepcheck.exe, signed, pass the sweep's end-to-end tests" \
    gtest_passes "$sweep_tests" "$signed/shortcutsweep.exe" "$signed/sweepcheck.exe"
if [ -n "$keeper_tests" ]; then
    check "svckeeper.exe, signed, passes the keeper's end-to-end tests" \
        gtest_passes "$keeper_tests" "$signed/svckeeper.exe" "$test_service"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed; release logs in $work/*.log"
    exit 1
fi
rm -rf "$work"
echo "all checks passed"
