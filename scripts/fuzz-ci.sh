#!/usr/bin/env bash
# Builds build-fuzz/ and runs every fuzz target for a bounded time, one after another:
#
#   scripts/fuzz-ci.sh [SECONDS]      (default 20 seconds a target)
#
# Installs nothing (scripts/install-deps.sh brings clang and libFuzzer). Prints one line
# per target and fails when any target does not build or finds a crash; the full output of
# each run is kept in build-fuzz/fuzz/logs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=$root/build-fuzz
mkdir -p "$build/fuzz/logs"

failed=0
# fuzz/run.sh configures build-fuzz/ and builds each target before running it.
for target in $("$root/fuzz/run.sh" --list); do
    log=$build/fuzz/logs/$target.log
    if "$root/fuzz/run.sh" "$target" "$seconds" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        failed=1
    fi
    summary=$(grep '^fuzz ' "$log" | tail -n 1)
    execs=$(echo "$summary" | grep -oE '[0-9]+ executions' | grep -oE '[0-9]+' || echo 0)
    printf '%-10s %10s execs  %s\n' "$target" "${execs:-0}" "$result"
    if [ "$result" != ok ]; then
        echo "  $summary"
        tail -n 30 "$log" | sed 's/^/  | /'
    fi
done
exit $failed
