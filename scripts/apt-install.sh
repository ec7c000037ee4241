# Installing Debian packages through a mirror that may be caught mid-sync.
# Sourced by setup.sh and test-on.sh; changes nothing by itself.
#
# A mirror that is being synchronised can serve an index that does not match
# its Release file ("File has unexpected size ... Mirror sync in progress?").
# apt-get update then exits non-zero, and keeps the suite's other indexes.
# When the failed index is one architecture's index of an update suite
# (security, updates), the amd64 libraries come from that suite and the i386
# side cannot match them, so wine32:i386 is "held broken". Taking the new
# packages from the release's own suite (apt's -t) gives both architectures
# one version. The machine's apt sources are never changed.

apt_update_tries="${APT_UPDATE_TRIES:-3}"
apt_update_pause="${APT_UPDATE_PAUSE:-10}"

# apt 2 marks its errors "E:" and warnings "W:"; apt 3 (Debian 13) may
# write them out as "Error:" and "Warning:".
apt_error_mark='^\(E\|Error\):'
apt_failed_fetch='^\(E\|W\|Error\|Warning\): Failed to fetch '

# The index addresses that apt-get update's output (file $1) says it could
# not fetch, one a line.
apt_failed_indexes() {
    sed -n "s/${apt_failed_fetch}\\([^ ]*\\).*/\\2/p" "$1" | sort -u
}

# The suite an index address belongs to (".../dists/SUITE/...").
apt_suite_of_index() {
    sed -n 's|.*/dists/\([^/]*\)/.*|\1|p' <<<"$1"
}

# What to do after apt-get update: reads its output (file $1) and the
# release's codename ($2); prints one word:
#   plain   every index was fetched: install as usual;
#   target  only update suites failed: install new packages from the
#           release's own suites (apt-get -t CODENAME);
#   stop    the release's own suite failed, or apt failed without naming an
#           index: nothing can be installed in a consistent way.
apt_update_decision() {
    local output="$1" codename="$2" index suite failed=no
    while IFS= read -r index; do
        [ -n "$index" ] || continue
        failed=yes
        suite="$(apt_suite_of_index "$index")"
        case "$suite" in
            "$codename"-*) ;;
            *)
                echo stop
                return
                ;;
        esac
    done < <(apt_failed_indexes "$output")
    if [ "$failed" = yes ]; then
        echo target
    elif grep -q "$apt_error_mark" "$output"; then
        echo stop
    else
        echo plain
    fi
}

# Whether apt-get install's simulation (output in file $1) installs without
# removing or downgrading anything already installed, and resolved at all.
apt_simulation_is_safe() {
    local output="$1"
    grep -q "$apt_error_mark" "$output" && return 1
    grep -q '^Remv ' "$output" && return 1
    # An "Inst" line of a package already installed names the old version
    # in brackets; a lower new version is a downgrade.
    local name old new
    while read -r name old new; do
        dpkg --compare-versions "$new" lt "$old" && return 1
    done < <(sed -n 's/^Inst \([^ ]*\) \[\([^]]*\)\] (\([^ ]*\) .*/\1 \2 \3/p' "$output")
    return 0
}

# The message for a mirror caught mid-sync: the failed indexes (file $1,
# apt's output) and what to do. $2 says what could not be done.
apt_mid_sync_message() {
    local output="$1" what="$2" index
    echo "setup: $what"
    echo "setup: apt could not fetch these indexes:"
    while IFS= read -r index; do
        [ -n "$index" ] && echo "setup:     $index"
    done < <(apt_failed_indexes "$output")
    if grep -q 'Mirror sync in progress' "$output"; then
        echo "setup: the mirror serves an index that does not match its Release file: it is"
        echo "setup: being synchronised (\"Mirror sync in progress?\"). This is the mirror's"
        echo "setup: fault, not this machine's."
    fi
    echo "setup: what to do: run setup again later (a sync usually ends within hours);"
    echo "setup: or point apt at another mirror in /etc/apt/sources.list.d/ (test-on.sh:"
    echo "setup: DEBIAN_MIRROR=...); or leave the failing suite out of the sources for"
    echo "setup: this one install and put it back afterwards. Setup changed no apt source."
}

# The release's codename (bookworm, trixie), from the running system.
apt_release_codename() {
    (
        # shellcheck disable=SC1091
        . /etc/os-release && echo "${VERSION_CODENAME:-}"
    )
}

# apt-get update, tried up to $apt_update_tries times; its last output is
# left in file $1. Succeeds when an update ran without error.
apt_update_with_retries() {
    local output="$1" try
    for ((try = 1; try <= apt_update_tries; try++)); do
        if apt-get update -q -o Acquire::Retries=2 >"$output" 2>&1 && ! grep -q "$apt_failed_fetch" "$output"; then
            return 0
        fi
        if [ "$try" -lt "$apt_update_tries" ]; then
            echo "setup: apt-get update failed (try $try of $apt_update_tries); trying again in ${apt_update_pause} s"
            sleep "$apt_update_pause"
        fi
    done
    return 1
}

# Installs the packages named, through a mirror that may be mid-sync. The
# first call runs apt-get update and keeps its decision for the later ones.
apt_install_packages() {
    local status=0 codename simulation
    codename="$(apt_release_codename)"
    if [ -z "${apt_update_output:-}" ]; then
        apt_update_output="$(mktemp /tmp/apt-update.XXXXXX)"
        apt_update_with_retries "$apt_update_output" || true
        apt_decision="$(apt_update_decision "$apt_update_output" "$codename")"
    fi
    case "$apt_decision" in
        plain)
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null || status=$?
            ;;
        target)
            echo "setup: some update indexes could not be fetched; installing from $codename's own suites"
            simulation="$(mktemp /tmp/apt-simulation.XXXXXX)"
            if DEBIAN_FRONTEND=noninteractive apt-get install -s -q -t "$codename" --no-install-recommends "$@" \
                >"$simulation" 2>&1 && apt_simulation_is_safe "$simulation"; then
                DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t "$codename" --no-install-recommends "$@" \
                    >/dev/null || status=$?
                [ "$status" != 0 ] ||
                    echo "setup: installed from $codename; their security updates come with a later apt-get upgrade"
            else
                apt_mid_sync_message "$apt_update_output" \
                    "cannot install $* with one version on both architectures while an index is missing" >&2
                status=1
            fi
            rm -f "$simulation"
            ;;
        *)
            apt_mid_sync_message "$apt_update_output" "cannot install $*" >&2
            status=1
            ;;
    esac
    return "$status"
}

# Removes what the calls above left in /tmp.
apt_install_cleanup() {
    [ -z "${apt_update_output:-}" ] || rm -f "$apt_update_output"
}
