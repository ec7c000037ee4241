#!/usr/bin/env bash
# sweepcheck's JSON against its published schema: every line sweepcheck
# --json prints, over manifests that reach every kind of line and every
# trap, in both modes, when something cannot be checked, on a usage error
# and with traps silenced, validates against check/sweepcheck.schema.json
# (Debian's python3-jsonschema), and every run's standard output ends in a
# summary that agrees with its exit status and counts the findings as
# printed. And the sample manifest that ships passes the gate: --text-only,
# exit 0.
#
# Usage: sweepcheck_schema_test.sh SWEEPCHECK_EXE SCHEMA SAMPLE_MANIFEST WINE_PREFIX WORKDIR
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -ne 5 ]; then
    echo "usage: $0 SWEEPCHECK_EXE SCHEMA SAMPLE_MANIFEST WINE_PREFIX WORKDIR" >&2
    exit 2
fi
exe="$1" schema="$2" sample="$3" prefix="$4" work="$5"
source "$repo/tests/checks.sh"
rm -rf "$work"
mkdir -p "$work/out"
work="$(cd "$work" && pwd)"
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }

# An install with every trap, and a shortcut for "would delete".
bin="$work/bin"
links="$work/Links"
mkdir -p "$bin" "$links/w" "$work/empty"
printf '[InternetShortcut]\r\n' >"$links/a.url"
L="$(winpath "$links")"
manifest() { printf '\xef\xbb\xbf' >"$bin/__shortcutsweep-$1.ini"; printf '%s' "$2" >>"$bin/__shortcutsweep-$1.ini"; }
manifest en "$L\\a.url"$'\r\n'"$L\\A.URL"$'\r\n'"rel.url"$'\r\n'"$L\\w\\*.url"$'\r\n'"$L\\a.url"$'\r\n'"\"$L\\q.url\""$'\r\n'"$L\\b.url "$'\r\n'"%PUBLIC%\\x.url"$'\r\n'"$L\\a?.url"$'\r\n'"$L\\last.url"
manifest de "$L\\a.url"$'\n'"$L\\b.url"$'\r'"$L\\c.url"$'\r\n'
printf '%s\r\n' "$L\\a.url" >"$bin/__shortcutsweep-fr.ini" # no byte-order mark
printf '\xef\xbb\xbf' >"$bin/__shortcutsweep-ja.ini"      # empty
manifest it "$L\\a.url"$'\r\n'
printf 'x' >"$bin/__shortcutsweep.bat"
utf16="$work/utf16.ini"
printf '\xff\xfe' >"$utf16"
# Windows-1252 after the mark; a set of one language, for --expect.
mkdir -p "$work/ansi" "$work/ja"
printf '\xef\xbb\xbf%s\\Gr\xf6\xdfe.url\r\n' "$L" >"$work/ansi/__shortcutsweep-en.ini"
printf '\xef\xbb\xbf%s\\a.url\r\n' "$L" >"$work/ja/__shortcutsweep-ja.ini"

# Each run: name, expected exit status, arguments.
runs=(
    "machine|1|--json $(winpath "$bin")"
    "text|1|--json --text-only $(winpath "$bin")"
    "files|1|--json $(winpath "$bin")\\__shortcutsweep-en.ini $(winpath "$utf16")"
    "empty|1|--json --text-only $(winpath "$work/empty")"
    "missing|2|--json $(winpath "$work")\\none.ini"
    "nofolder|2|--json --text-only $(winpath "$work")\\none"
    "sample|0|--json --text-only $(winpath "$sample")"
    "ansi|1|--json $work/ansi/__shortcutsweep-en.ini"
    "expect|1|--json --text-only --expect en,de,fr,ja $work/ja"
    "usage|2|--json --text-only --bogus"
    "ignore|1|--json --ignore wildcard-matches-nothing,question-mark $(winpath "$bin")"
)
for run in "${runs[@]}"; do
    IFS='|' read -r name want arguments <<<"$run"
    status=0
    # shellcheck disable=SC2086 # the arguments are meant to split; none holds a blank
    "$repo/scripts/wine-run" --prefix "$prefix" "$exe" $arguments >"$work/out/$name.jsonl" 2>"$work/out/$name.err" ||
        status=$?
    check "$name: exit status $want (got $status)" test "$status" = "$want"
done

check "the sample manifest passes the gate as text alone" grep -q '"status":0' "$work/out/sample.jsonl"
for run in "${runs[@]}"; do
    IFS='|' read -r name want _ <<<"$run"
    check "$name: standard output ends in the summary, status $want" \
        grep -q "^{\"kind\":\"summary\",.*\"status\":$want}"$'\r'"\$" <(tail -n 1 "$work/out/$name.jsonl")
done
check "a usage error is told in the summary's trouble" grep -q '"trouble":\["usage: unknown option --bogus"\]' \
    "$work/out/usage.jsonl"

# The summary counts the findings printed: those silenced apart.
counts() { # files...
    /usr/bin/python3 - "$@" <<'PY'
import json, sys
bad = 0
for name in sys.argv[1:]:
    items = [json.loads(line) for line in open(name, encoding="utf-8", newline="")]
    found = [i for i in items if i["kind"] == "finding"]
    silenced = sum(1 for i in found if i.get("silenced"))
    summary = items[-1]
    if (summary["findings"], summary.get("silenced", 0)) != (len(found) - silenced, silenced):
        bad += 1
        print(f"{name}: summary {summary['findings']}/{summary.get('silenced')}, printed {len(found) - silenced}/{silenced}")
sys.exit(1 if bad else 0)
PY
}
check "every summary counts the findings printed, those silenced apart" counts "$work"/out/*.jsonl
check "--ignore marks the findings of the traps it names silenced" \
    grep -q '"trap":"question-mark",.*"silenced":true}' "$work/out/ignore.jsonl"
check "--ignore silences only the traps it names" grep -q '"trap":"refused",.*"silenced":false}' "$work/out/ignore.jsonl"

validate() { # schema, files...
    /usr/bin/python3 - "$@" <<'PY'
import json, sys
from jsonschema import Draft202012Validator
schema = json.load(open(sys.argv[1], encoding="utf-8"))
Draft202012Validator.check_schema(schema)
validator = Draft202012Validator(schema)
bad = 0
kinds, traps = set(), set()
for name in sys.argv[2:]:
    for number, line in enumerate(open(name, encoding="utf-8", newline=""), 1):
        if not line.endswith("\r\n"):
            print(f"{name}:{number}: not ended by CR LF"); bad += 1
        item = json.loads(line)
        errors = list(validator.iter_errors(item))
        if errors:
            bad += 1
            print(f"{name}:{number}: {errors[0].message}")
        kinds.add(item.get("kind"))
        if item.get("kind") == "finding":
            traps.add(item.get("trap"))
print("kinds:", " ".join(sorted(kinds)))
print("traps:", " ".join(sorted(traps)))
sys.exit(1 if bad else 0)
PY
}
check "every line of every run validates against the schema" validate "$schema" "$work"/out/*.jsonl
report="$(validate "$schema" "$work"/out/*.jsonl || true)"
echo "$report" | grep -E '^(kinds|traps):' | sed 's/^/      /'
check "the runs reach every kind of line" \
    grep -qx 'kinds: batch file finding line manifest summary sweepcheck' <<<"$(grep '^kinds:' <<<"$report")"
missing_traps="$(/usr/bin/python3 -c '
import json, sys
traps = set(json.load(open(sys.argv[1]))["$defs"]["finding"]["properties"]["trap"]["enum"])
seen = set(sys.argv[2].split()[1:])
print(" ".join(sorted(traps - seen - {"wildcard-matches-nothing", "manifest-left-alone", "manifest-not-read"})))
' "$schema" "$(grep '^traps:' <<<"$report")")"
check "the runs reach every trap but the three that need a machine's state ($missing_traps)" test -z "$missing_traps"

# The validator has teeth: a trap it does not know, a field too many.
printf '%s\r\n' '{"kind":"finding","manifest":"x","line":0,"trap":"no-such-trap","message":""}' >"$work/bad1.jsonl"
printf '%s\r\n' '{"kind":"summary","mode":"text-only","manifests":1,"findings":0,"trouble":[],"status":0,"extra":1}' \
    >"$work/bad2.jsonl"
check "a line with an unknown trap does not validate" fails validate "$schema" "$work/bad1.jsonl"
check "a line with an unknown field does not validate" fails validate "$schema" "$work/bad2.jsonl"

if [ "$failures" -ne 0 ]; then
    echo "FAIL: $failures check(s) failed; outputs in $work/out"
    exit 1
fi
echo "PASS: all checks passed"
