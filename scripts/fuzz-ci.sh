#!/usr/bin/env bash
# Builds build-fuzz/ and runs every fuzz target for a bounded time, one after another:
#
#   scripts/fuzz-ci.sh [SECONDS]      (default 20 seconds a target)
#
# Installs nothing (scripts/install-deps.sh brings clang and libFuzzer). Prints one line
# per target and fails when any target finds a crash; the full output of each run is kept
# in build-fuzz/fuzz/logs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=$root/build-fuzz
targets="frames settings service demo csvimport examlog"

if ! grep -q '^VZ_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVZ_FUZZ=ON -DVZ_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target fuzzers >/dev/null
mkdir -p "$build/fuzz/logs"

failed=0
for target in $targets; do
    log=$build/fuzz/logs/$target.log
    if "$root/fuzz/run.sh" "$target" "$seconds" >"$log" 2>&1; then
        result=ok
    else
        result=CRASH
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
