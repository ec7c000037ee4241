#!/usr/bin/env bash
# svckeeper when the service manager cannot be reached: it must end
# normally and at once, with and without an argument, and the service's
# registration must be exactly as it was.
#
# Usage: keeper_without_manager_test.sh WORKDIR SVCKEEPER_EXE TEST_SERVICE_EXE
#
# Works in a Wine prefix of its own: the manager is made unreachable by
# restarting that prefix's Wine server with Wine's service manager
# (services.exe) switched off, which no other test may share.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -ne 3 ]; then
    echo "usage: $0 WORKDIR SVCKEEPER_EXE TEST_SERVICE_EXE" >&2
    exit 2
fi
work="$1"
keeper="$2"
test_service="$3"
source "$repo/scripts/wine-env.sh"

prefix="$work/wineprefix"
rm -rf "$work"
mkdir -p "$work"
cp "$keeper" "$test_service" "$work/"
wine_prefix_create "$prefix"
trap 'wine_prefix_destroy "$prefix"' EXIT
wine_use_prefix "$prefix"

source "$repo/tests/checks.sh"

W="Z:${work//\//\\}"
service_key='HKLM\System\CurrentControlSet\Services\Vantrel Service'
registration() { wine reg query "$service_key" /s 2>/dev/null | tr -d '\r'; }
manager_knows_the_service() { wine sc query "Vantrel Service" >/dev/null 2>&1; }

wine sc create "Vantrel Service" binpath= "\"$W\\test_service.exe\" running \"$W\\service.log\"" \
    start= demand >/dev/null
before="$(registration)"
check "the service is registered, on demand" grep -q 'Start.*REG_DWORD.*0x3' <<<"$before"
check "the manager knows the service" manager_knows_the_service

# A new server, and with it a new session, in which services.exe may not run.
wineserver -k
wineserver -w
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;services.exe=d"
check "the manager cannot be reached" fails manager_knows_the_service
for arguments in "" "x"; do
    start=$(date +%s%N)
    status=0
    timeout 120 wine "$W\\svckeeper.exe" $arguments || status=$?
    elapsed_ms=$((($(date +%s%N) - start) / 1000000))
    echo "svckeeper.exe${arguments:+ $arguments}: exit status $status after $elapsed_ms ms"
    check "svckeeper${arguments:+ $arguments} ends normally" test "$status" = 0
    check "svckeeper${arguments:+ $arguments} ends within 30 s" test "$elapsed_ms" -lt 30000
done

# Back to a session with the manager.
wineserver -k
wineserver -w
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES%;services.exe=d}"
check "the manager can be reached again" manager_knows_the_service
check "the registration is exactly as before" test "$(registration)" = "$before"
check "the service was never started" test ! -e "$work/service.log"
wine sc delete "Vantrel Service" >/dev/null || true

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
