#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a scratch copy of its seed corpus, so the
# committed corpus never grows by accident:
#
#   fuzz/run.sh TARGET SECONDS [more libFuzzer options]
#   fuzz/run.sh --list              (the targets, one a line)
#
# TARGET is one of the fuzz_TARGET.cpp files beside this script. Builds build-fuzz/
# (clang, VZ_FUZZ=ON) first when needed. Prints the executions done; on a crash, a leak, a
# sanitizer report, a broken invariant or a hang it exits non-zero and names the file that
# holds the input (kept under build-fuzz/fuzz/crashes/TARGET/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
targets=$(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/^fuzz_\(.*\)\.cpp$/\1/' | tr '\n' ' ')

usage() {
    echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer options]" >&2
    echo "targets: $targets" >&2
    exit 2
}
if [ "${1:-}" = --list ]; then
    printf '%s\n' $targets
    exit 0
fi
[ $# -ge 2 ] || usage
target=$1
seconds=$2
shift 2
case " $targets " in *" $target "*) ;; *) usage ;; esac
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -gt 0 ] || usage

# Configure once; a build directory made without VZ_FUZZ is configured again with it.
if ! grep -q '^VZ_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVZ_FUZZ=ON -DVZ_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target "fuzz_$target" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/vezaro-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/tmp"
cp "$root/fuzz/corpus/$target/"* "$work/corpus/"
artifacts=$build/fuzz/crashes/$target
mkdir -p "$artifacts"
options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/")
[ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")

# The targets make their scratch directories under TMPDIR: inside the run's own folder, so
# nothing stays behind even when a target dies.
set +e
TMPDIR=$work/tmp "$build/fuzz/fuzz_$target" "${options[@]}" "$@" "$work/corpus" 2>&1 | tee "$work/log"
status=${PIPESTATUS[0]}
set -e
execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work/log" | tail -n 1)
if [ -z "$execs" ]; then # a crash ends the run before the final statistics
    execs=$(grep -oE '^#[0-9]+' "$work/log" | tail -n 1 | tr -d '#')
fi
if [ "$status" -ne 0 ]; then
    crash=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$work/log" | tail -n 1)
    echo "fuzz $target: ${execs:-0} executions, FAILED (exit $status); input: ${crash:-none written}"
    exit 1
fi
echo "fuzz $target: ${execs:-0} executions in ${seconds} s, no crash"
