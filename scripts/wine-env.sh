# Shell functions for running Windows programs under Wine in a private,
# throw-away prefix. Sourced by the other scripts; changes nothing by itself.

wine_repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine_support_dir="${WINE_SUPPORT_DIR:-/var/tmp/vantrel-wine-support}"

# True when a 32-bit Linux program starts, natively or through qemu.
linux_runs_32bit() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

wine_needs_qemu_shim() {
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
        grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386
}

build_qemu_shim() {
    local src="$wine_repo_root/tools/qemu-shim/qemu_wine_shim.c"
    local stamp="$wine_support_dir/shim.sha256"
    local sum
    sum="$(sha256sum "$src" | cut -d' ' -f1)"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$sum" ]; then
        return 0
    fi
    mkdir -p "$wine_support_dir"/{i386,i686,x86_64}
    gcc -m32 -O2 -shared -fPIC -o "$wine_support_dir/i386/libqemuwineshim.so" "$src" -ldl
    cp "$wine_support_dir/i386/libqemuwineshim.so" "$wine_support_dir/i686/"
    gcc -O2 -shared -fPIC -o "$wine_support_dir/x86_64/libqemuwineshim.so" "$src"
    echo "$sum" >"$stamp"
}

# Sets the environment for Wine in the prefix $1.
wine_use_prefix() {
    export WINEPREFIX="$1"
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # Non-ASCII file names need a UTF-8 locale.
    case "${LANG:-}" in *UTF-8 | *utf8) ;; *) export LANG=C.UTF-8 ;; esac
    unset LC_ALL
    if wine_needs_qemu_shim; then
        export LD_PRELOAD="$wine_support_dir/\$PLATFORM/libqemuwineshim.so"
    fi
}

# Creates a fresh prefix in $1 and leaves a persistent server running in it.
# Everything Wine starts here outlives this function, so none of it may keep
# the caller's output open: a caller waiting for end of output would hang.
wine_prefix_create() {
    local prefix="$1"
    wine_prefix_destroy "$prefix"
    mkdir -p "$prefix"
    (
        wine_use_prefix "$prefix"
        exec </dev/null >"$prefix.log" 2>&1
        # wineboot -i leaves two service managers behind; letting the server
        # exit once leaves a single one.
        wine wineboot -i
        wineserver -w
        wineserver -p
        # A program that crashes must end at once, not wait in a debugger.
        # Without a Debugger value Wine starts winedbg --auto all the same,
        # which under qemu-i386 has hung for good; a debugger that cannot be
        # started lets the crashed program end (status 5) at once.
        local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
        wine reg add "$key" /v Debugger /t REG_SZ /d 'no-debugger-here.exe %ld %ld' /f || true
        wine reg add "$key" /v Debugger /t REG_SZ /d 'no-debugger-here.exe %ld %ld' /f /reg:32 || true
        # Start the service manager now, while our output is still detached.
        wine cmd /c exit 0
    )
}

wine_prefix_destroy() {
    local prefix="$1"
    if [ -d "$prefix" ]; then
        (wine_use_prefix "$prefix" && wineserver -k >/dev/null 2>&1) || true
        rm -rf "$prefix" "$prefix.log"
    fi
}
