#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 or 13 (run as root,
# also inside a fresh root through chroot), and makes sure this machine can
# run 32-bit Windows programs under Wine. Safe to run again: it only
# installs or configures what is missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"
source "$here/apt-install.sh"
trap apt_install_cleanup EXIT

need_packages=()
have_command() { command -v "$1" >/dev/null 2>&1; }
have_package() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: enabling the i386 architecture"
    dpkg --add-architecture i386
fi

for pkg in wine wine64 wine32:i386 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
    binutils-mingw-w64-i686 cmake ninja-build googletest clang-format locales \
    python3 zip unzip osslsigncode clang wixl msitools nsis python3-jsonschema xvfb xauth; do
    have_package "$pkg" || need_packages+=("$pkg")
done
# npm fetches Inno Setup's compiler for the installers test; any npm will
# do (Debian's, or one that came with another Node.js).
have_command npm || need_packages+=(npm)

install_packages() {
    apt_install_packages "$@"
}

if [ ${#need_packages[@]} -gt 0 ]; then
    echo "setup: installing ${need_packages[*]}"
    install_packages "${need_packages[@]}"
fi

# Wine's 32-bit half is a 32-bit Linux program. Some kernels are booted with
# 32-bit execution switched off; there it runs under qemu's user-mode
# emulator instead, registered for 32-bit ELF files through binfmt_misc.
if ! linux_runs_32bit; then
    missing=()
    have_package qemu-user-static || missing+=(qemu-user-static)
    have_package gcc-multilib || missing+=(gcc-multilib)
    if [ ${#missing[@]} -gt 0 ]; then
        echo "setup: this kernel does not run 32-bit programs; installing ${missing[*]}"
        install_packages "${missing[@]}"
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo "setup: registering qemu-i386 for 32-bit ELF programs"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >/proc/sys/fs/binfmt_misc/register
    fi
fi
if wine_needs_qemu_shim; then
    # Also in a root made for tests on such a machine, where 32-bit programs
    # run through the machine's qemu all along: the shim is built there too.
    if ! have_package gcc-multilib; then
        echo "setup: 32-bit programs run under qemu-i386 here; installing gcc-multilib for its shim"
        install_packages gcc-multilib
    fi
    build_qemu_shim
fi
if ! linux_runs_32bit; then
    echo "setup: 32-bit programs still do not run on this machine" >&2
    exit 1
fi
