#!/usr/bin/env bash
# Setup's decision on a mirror caught mid-sync, from apt's recorded output:
# no network, no package installed. apt-get is replaced by a function that
# replays recorded output and notes how it was called.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/checks.sh"
source "$here/../scripts/apt-install.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Recorded on Debian 12 on 2026-12-09: the security suite's i386 index.
cat >"$work/security-i386.txt" <<'EOF'
Hit:1 http://deb.debian.org/debian bookworm InRelease
Hit:2 http://deb.debian.org/debian bookworm-updates InRelease
Get:3 http://deb.debian.org/debian-security bookworm-security InRelease [48.0 kB]
Err:4 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
  Hashes of expected file:
   - Filesize:376004 [weak]
   - SHA256:5aa58ea44688978d17b28ffab762d89251fefc64aa2548ac43e228e5fd91d903
  Release file created at: Mon, 07 Dec 2026 23:22:40 +0000
Fetched 241 kB in 1s (311 kB/s)
Reading package lists...
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
   Hashes of expected file:
    - Filesize:376004 [weak]
    - SHA256:5aa58ea44688978d17b28ffab762d89251fefc64aa2548ac43e228e5fd91d903
   Release file created at: Mon, 07 Dec 2026 23:22:40 +0000
E: Some index files failed to download. They have been ignored, or old ones used instead.
EOF
# The release's own suite, in apt 3's words.
sed -e 's|bookworm-security/main/binary-i386|trixie/main/binary-i386|' -e 's|debian-security|debian|' \
    -e 's/^E: /Error: /' "$work/security-i386.txt" >"$work/release-i386.txt"
grep -v '^E: \|^Err:\|^  \|^   ' "$work/security-i386.txt" >"$work/clean.txt"
printf '%s\n' "Hit:1 http://deb.debian.org/debian bookworm InRelease" \
    "E: The repository 'http://deb.debian.org/debian bookworm Release' no longer has a Release file." >"$work/no-release.txt"

check "the recorded security index: the failed index is named" \
    test "$(apt_failed_indexes "$work/security-i386.txt")" = \
    "http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
check "the recorded security index: install from the release's own suites" \
    test "$(apt_update_decision "$work/security-i386.txt" bookworm)" = target
check "the release's own index (apt 3's words): stop" \
    test "$(apt_update_decision "$work/release-i386.txt" trixie)" = stop
check "an update that failed without naming an index: stop" \
    test "$(apt_update_decision "$work/no-release.txt" bookworm)" = stop
check "every index fetched: install as usual" test "$(apt_update_decision "$work/clean.txt" bookworm)" = plain

message="$(apt_mid_sync_message "$work/release-i386.txt" "cannot install wine")"
check "the message names the failed index" grep -q 'trixie/main/binary-i386/Packages.xz' <<<"$message"
check "the message says what it means and what to do" \
    bash -c 'grep -q "being synchronised" <<<"$1" && grep -q "run setup again later" <<<"$1" &&
        grep -q "changed no apt source" <<<"$1"' _ "$message"

printf '%s\n' "Inst libcap2 [1:2.66-4+deb12u2+b2] (1:2.66-4+deb12u3+b1 Debian:12.15/oldstable [amd64])" \
    "Inst wine32:i386 (8.0~repack-4 Debian:12.15/oldstable [i386])" >"$work/sim-upgrade.txt"
printf '%s\n' "Inst libgstreamer1.0-0 [1.22.0-2+deb12u1] (1.22.0-2 Debian:12.15/oldstable [amd64])" >"$work/sim-downgrade.txt"
printf '%s\n' "Remv libfoo [1.0]" "Inst wine32:i386 (8.0~repack-4 Debian:12.15/oldstable [i386])" >"$work/sim-remove.txt"
printf '%s\n' "E: Unable to correct problems, you have held broken packages." >"$work/sim-broken.txt"
check "a simulation that installs and upgrades is safe" apt_simulation_is_safe "$work/sim-upgrade.txt"
check "a simulation that downgrades is not" fails apt_simulation_is_safe "$work/sim-downgrade.txt"
check "a simulation that removes is not" fails apt_simulation_is_safe "$work/sim-remove.txt"
check "a simulation that did not resolve is not" fails apt_simulation_is_safe "$work/sim-broken.txt"

# The whole install, against a replayed apt-get.
replay_update="" replay_simulation=""
apt-get() {
    echo "apt-get $*" >>"$work/calls"
    case "$*" in
        update*) cat "$replay_update" && ! grep -q '^E' "$replay_update" ;;
        *" -s "*) cat "$replay_simulation" && ! grep -q '^E' "$replay_simulation" ;;
        *) return 0 ;;
    esac
}
apt_release_codename() { echo bookworm; }
sleep() { :; }
install_once() { # update output, simulation output
    rm -f "$work/calls"
    unset apt_update_output apt_decision
    replay_update="$1" replay_simulation="$2"
    apt_install_packages wine32:i386 >"$work/out" 2>&1
    local status=$?
    apt_install_cleanup
    return $status
}

install_once "$work/security-i386.txt" "$work/sim-upgrade.txt"
check "a missing security index: installed from the release's suites" \
    grep -qx 'apt-get install -y -qq -t bookworm --no-install-recommends wine32:i386' "$work/calls"
check "a missing index: apt-get update tried $apt_update_tries times" \
    test "$(grep -c '^apt-get update' "$work/calls")" = "$apt_update_tries"
check "a second install takes the first one's decision without updating again" \
    bash -c 'source "$1"; calls="$2" apt_update_output=/dev/null apt_decision=plain
        apt-get() { echo "$*" >>"$calls"; }; : >"$calls"; apt_install_packages x >/dev/null
        grep -q install "$calls" && ! grep -q update "$calls"' \
    _ "$here/../scripts/apt-install.sh" "$work/calls2"

fails install_once "$work/security-i386.txt" "$work/sim-broken.txt"
check "held broken packages even from the release's suites: setup stops" \
    fails grep -q 'install -y' "$work/calls"
check "... naming the index and the mirror's sync" \
    bash -c 'grep -q "bookworm-security/main/binary-i386" "$1" && grep -q "Mirror sync" "$1"' _ "$work/out"

fails install_once "$work/release-i386.txt" "$work/sim-upgrade.txt"
check "the release's own index missing: nothing is installed" fails grep -q 'install' "$work/calls"

install_once "$work/clean.txt" "$work/sim-upgrade.txt"
check "every index fetched: one update, then a plain install" \
    test "$(cat "$work/calls")" = "$(printf '%s\n' 'apt-get update -q -o Acquire::Retries=2' \
        'apt-get install -y -qq --no-install-recommends wine32:i386')"

echo "setup decision: $failures failed"
[ "$failures" = 0 ]
