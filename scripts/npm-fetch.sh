#!/usr/bin/env bash
# npm-fetch.sh PACKAGE VERSION SHA256 DEST PATH...
#
# Fetches one pinned npm package with `npm pack` (npm's own configuration,
# a cafile included, applies), checks the tarball's SHA-256, and unpacks
# the given paths of it (bin, res/schema, ...) into DEST, which then holds
# them as the package does. Nothing is installed and nothing of the package
# runs. Once DEST is there it is used as it is: it is only ever made whole,
# through a temporary folder beside it.
set -euo pipefail
if [ $# -lt 5 ]; then
    echo "usage: $0 PACKAGE VERSION SHA256 DEST PATH..." >&2
    exit 2
fi
package="$1" version="$2" sum="$3" dest="$4"
shift 4
[ -d "$dest" ] && exit 0
command -v npm >/dev/null || {
    echo "npm-fetch: npm is missing (bash scripts/setup.sh installs it)" >&2
    exit 1
}
tmp="$dest.tmp"
rm -rf "$tmp" && mkdir -p "$tmp"
trap 'rm -rf "$tmp"' EXIT
if ! (cd "$tmp" && npm pack --silent "$package@$version" >tarball 2>npm.log); then
    cat "$tmp/npm.log" >&2
    echo "npm-fetch: npm could not fetch $package@$version; in a fresh root, npm may need the" \
        "host's certificate bundle: npm config set cafile FILE" >&2
    exit 1
fi
tarball="$tmp/$(tail -n 1 "$tmp/tarball")"
if ! echo "$sum  $tarball" | sha256sum -c --quiet >/dev/null 2>&1; then
    echo "npm-fetch: $package@$version is not the tarball expected: SHA-256 $(sha256sum "$tarball" | cut -d' ' -f1)," \
        "expected $sum" >&2
    exit 1
fi
tar -xzf "$tarball" -C "$tmp" "${@/#/package/}"
mv "$tmp/package" "$dest"
