# Named checks for the test scripts; sourced. Each check prints "ok:" or
# "FAIL:" with its description and counts the failures in $failures.
failures=0
check() { # description, command...
    local what="$1"
    shift
    if "$@"; then
        echo "ok:   $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}
# Succeeds when the command fails.
fails() { if "$@"; then return 1; fi; }
