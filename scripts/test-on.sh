#!/usr/bin/env bash
# scripts/test-on.sh [--demo] [--keep] RELEASE [test.sh arguments...]
#
# Runs the README's test command on a brand-new Debian system: makes a
# throw-away root with debootstrap (minbase, from Debian's own packages),
# clones this checkout's current commit into it, and runs
# `bash scripts/test.sh` there as root, as a newcomer would. RELEASE is
# bookworm (Debian 12) or trixie (Debian 13). Run it as root.
#
#   --demo   run `bash scripts/demo.sh` first, in the same root
#   --keep   leave the root's folder behind (unmounted) to look into
#
# Only committed work is tested: the root gets a clone, not the work tree.
# The root is unmounted and removed at the end, also when something fails.
# DEBIAN_MIRROR names another mirror; VANTREL_ROOT_DIR where the root is made.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

demo=no
keep=no
while [ $# -gt 0 ]; do
    case "$1" in
        --demo) demo=yes ;;
        --keep) keep=yes ;;
        *) break ;;
    esac
    shift
done
release="${1:-}"
case "$release" in
    bookworm | trixie) shift ;;
    *)
        echo "usage: scripts/test-on.sh [--demo] [--keep] bookworm|trixie [test.sh arguments...]" >&2
        exit 2
        ;;
esac
if [ "$(id -u)" != 0 ]; then
    echo "test-on: run as root (debootstrap, mount and chroot need it)" >&2
    exit 2
fi

mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
commit="$(git -C "$repo" rev-parse HEAD)"
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    echo "test-on: note: uncommitted changes are not tested; the root gets commit $commit"
fi

started=$SECONDS
phase_started=$SECONDS
phase() { # ends the current phase with its time, names the next
    local now=$SECONDS
    [ -z "${phase_name:-}" ] || printf 'test-on: %s took %d min %02d s\n' "$phase_name" \
        $(((now - phase_started) / 60)) $(((now - phase_started) % 60))
    phase_name="$1"
    phase_started=$now
    [ -z "$phase_name" ] || echo "test-on: $phase_name ..."
}

if ! command -v debootstrap >/dev/null 2>&1; then
    echo "test-on: installing debootstrap"
    # A mirror caught mid-sync: the same decision and message as setup's.
    (
        source "$repo/scripts/apt-install.sh"
        trap apt_install_cleanup EXIT
        apt_install_packages debootstrap
    )
fi

parent="${VANTREL_ROOT_DIR:-/var/tmp}"
mkdir -p "$parent"
root="$(mktemp -d "$parent/vantrel-$release.XXXXXX")"
chmod 755 "$root" # a system's root, which mktemp made private

# Ends what still runs inside the root (a Wine server, its services),
# unmounts everything below it, deepest first, and removes it.
cleanup() {
    local status=$? pid mounts
    set +e
    trap - EXIT INT TERM
    phase ""
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "$pid" 2>/dev/null
    done
    sleep 1
    mounts="$(awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r)"
    for m in $mounts; do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
    if awk -v r="$root" 'index($2, r "/") == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
        echo "test-on: something is still mounted below $root; left it in place" >&2
    elif [ "$keep" = yes ]; then
        echo "test-on: the root is kept in $root"
    else
        rm -rf --one-file-system "$root"
    fi
    printf 'test-on: %s, %s, exit status %d, %d min %02d s in all\n' "$release" "${commit:0:12}" "$status" \
        $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60))
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

phase "debootstrap $release into $root"
debootstrap --variant=minbase --include=git,ca-certificates "$release" "$root" "$mirror" \
    >"$root.debootstrap.log" 2>&1 || {
    tail -n 30 "$root.debootstrap.log" >&2
    rm -f "$root.debootstrap.log"
    exit 1
}
rm -f "$root.debootstrap.log"

phase "preparing the root"
# npm's TLS may go through a certificate authority that this machine
# trusts and a new system does not: give npm in the root this machine's
# bundle, as this machine's own /etc/npmrc does.
cp /etc/ssl/certs/ca-certificates.crt "$root/etc/ssl/host-ca-certificates.crt"
echo "cafile=/etc/ssl/host-ca-certificates.crt" >"$root/etc/npmrc"
mount -t proc proc "$root/proc"
# On a kernel without 32-bit execution this machine runs 32-bit programs
# through qemu-i386, registered in binfmt_misc; the root sees that
# registration too, so that its setup builds the shim Wine needs there.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc"
fi
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
git clone -q --no-local "$repo" "$root/root/vantrel"
git -C "$root/root/vantrel" checkout -q --detach "$commit"

# A newcomer's root shell: a clean environment, a UTF-8 locale that
# exists without the locales package. Waited for in the background, so
# that a TERM or an interrupt cleans up at once.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        ${http_proxy:+http_proxy="$http_proxy"} ${https_proxy:+https_proxy="$https_proxy"} \
        ${no_proxy:+no_proxy="$no_proxy"} CI="${CI:-}" \
        bash -c 'cd /root/vantrel && "$@"' bash "$@" </dev/null &
    wait $!
}

if [ "$demo" = yes ]; then
    phase "bash scripts/demo.sh in $release"
    in_root bash scripts/demo.sh
fi
phase "bash scripts/test.sh${*:+ $*} in $release"
in_root bash scripts/test.sh "$@"
