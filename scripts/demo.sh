#!/usr/bin/env bash
# The main job, shown on a demo install: builds the programs, then runs
# shortcutsweep under Wine over a folder with manifests in all four
# languages and reports which shortcuts went, which stayed, and why.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo="$PWD"
bash scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target shortcutsweep >/dev/null
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
    "Other/Unrelated.url|kept|listed as Public\\..\\Other\\Unrelated.url: a line with .. is refused"
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
manifest ja "$L\\デスクトップ\\Vantrel ヘルプ.url" "$L\\Public\\*.url" "$L\\Public\\..\\Other\\Unrelated.url" ""
printf '@echo off\r\n' >"$install/__shortcutsweep.bat"

echo
echo "Install folder $(winpath "$install"):"
ls -1 "$install" | sed 's/^/    /'
echo
echo "Running: wine shortcutsweep.exe (no arguments: the manifests beside the program)"
start=$(date +%s%N)
status=0
wine "$(winpath "$install")\\shortcutsweep.exe" || status=$?
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
exit $unexpected
