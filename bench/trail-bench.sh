#!/usr/bin/env bash
# Every pregledi command over an old station's log: make-trail writes RECORDS examinations
# (200 to a file, with their SHA-256 chain) into a scratch station directory, and each command
# runs once over it, timed by /usr/bin/time: wall seconds and peak resident memory; then the
# station's append is timed over it and over an empty directory.
#
#   bench/trail-bench.sh [RECORDS]      (default 150000)
#
# BUILD_DIR (default build) selects the build; it is configured and built first unless
# VZ_BENCH_NO_BUILD is set (the test that runs this script over a small log sets it). Each
# command's exit status and output are checked; a command that fails makes the script exit 1.
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-150000}
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
if [ -z "${VZ_BENCH_NO_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target pregledi make-trail bench-append >/dev/null
fi
pregledi=$build/bin/pregledi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

scratch=$(mktemp -d /tmp/vz-trail-bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
station=$scratch/station
"$build/bench/make-trail" "$station" "$records"
echo "log: $records examinations in $(ls "$station" | grep -c '^Pregledi[0-9]*\.GPG$') files," \
     "$(du -sk "$station" | cut -f1) KiB"

failed=0
fail() {
    echo "FAILED: $*" >&2
    failed=1
}
# run NAME COMMAND...: the command's output goes to $scratch/out, its messages to $scratch/err.
run() {
    local name=$1
    shift
    local status=0
    /usr/bin/time -f '%e %M' -o "$scratch/time" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    read -r wall kib < <(tail -n 1 "$scratch/time")
    awk -v n="$name" -v w="$wall" -v k="$kib" -v s="$status" \
        'BEGIN { printf "%-24s %7.2f s %8.1f MiB  exit %d\n", n, w, k / 1024, s }'
    [ "$status" -eq 0 ] || fail "$name exited $status: $(head -c 300 "$scratch/err")"
}
lines() { wc -l <"$1" | tr -d ' '; }

run list "$pregledi" --dir "$station" list
[ "$(lines "$scratch/out")" -eq $((records + 1)) ] || fail "list: $(lines "$scratch/out") lines"

# The chain matches every record: verify exits 0.
run verify "$pregledi" --dir "$station" verify

run "export --csv" "$pregledi" --dir "$station" export --csv
[ "$(lines "$scratch/out")" -eq $((records + 1)) ] || fail "export --csv: $(lines "$scratch/out") lines"

run "export --json" "$pregledi" --dir "$station" export --json
[ "$(grep -c '"number": ' "$scratch/out")" -eq "$records" ] || fail "export --json: wrong number of objects"

run "export --csv -o" "$pregledi" --dir "$station" export --csv -o "$scratch/exams.csv"
[ "$(lines "$scratch/exams.csv")" -eq $((records + 1)) ] || fail "export --csv -o: wrong file"

run "show $records" "$pregledi" --dir "$station" show "$records"
grep -q "^Examination: $records\$" "$scratch/out" || fail "show: $(head -n 2 "$scratch/out")"

run "reprint $records -o" "$pregledi" --dir "$station" reprint "$records" -o "$scratch/copy.pdf"
[ "$(head -c 4 "$scratch/copy.pdf" 2>/dev/null)" = "%PDF" ] || fail "reprint: no PDF"

# The station's PRINT (its trail part) over this log and over an empty directory: it must not
# slow down as the log grows. Last, because it adds examinations.
mkdir "$scratch/empty"
for target in "$station" "$scratch/empty"; do
    label="append ($( [ "$target" = "$station" ] && echo "$records-record log" || echo "empty directory"))"
    if out=$("$build/bench/bench-append" "$target" 50 2>&1); then
        printf '%-32s %s\n' "$label" "$out"
    else
        fail "$label: $out"
    fi
done

[ "$failed" -eq 0 ] && echo "every command did what it should"
exit "$failed"
