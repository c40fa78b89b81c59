#!/usr/bin/env bash
# Every pregledi command over an old station's log: make-trail writes RECORDS examinations
# (200 to a file, with their SHA-256 chain) into a scratch station directory, and each command
# runs once over it, timed by /usr/bin/time: wall seconds and peak resident memory; then the
# station's append is timed over it and over an empty directory. With TESTS, make-archive also
# writes an archive of TESTS two-speed tests (monthly files, each with its chain), and the test
# commands run over it too; verify and seal then cover both.
#
#   bench/trail-bench.sh [RECORDS [TESTS]]      (default 150000, no tests)
#
# BUILD_DIR (default build) selects the build; it is configured and built first unless
# VZ_BENCH_NO_BUILD is set (the test that runs this script over a small log sets it). Each
# command's exit status and output are checked; a command that fails makes the script exit 1.
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-150000}
tests=${2:-0}
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
if [ -z "${VZ_BENCH_NO_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target pregledi make-trail make-archive bench-append >/dev/null
fi
pregledi=$build/bin/pregledi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

scratch=$(mktemp -d /tmp/vz-trail-bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
station=$scratch/station
"$build/bench/make-trail" "$station" "$records"
echo "log: $records examinations in $(ls "$station" | grep -c '^Pregledi[0-9]*\.GPG$') files," \
     "$(du -sk "$station" | cut -f1) KiB"
official=0
if [ "$tests" -gt 0 ]; then
    made=$("$build/bench/make-archive" "$station" "$tests")
    official=$(sed -n 's/.*(\([0-9]*\) official.*/\1/p' <<<"$made")
    echo "archive: $made; $(ls "$station" | grep -c '\.jsonl$') files"
fi

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

if [ "$tests" -gt 0 ]; then
    run tests "$pregledi" --dir "$station" tests
    [ "$(lines "$scratch/out")" -eq $((official + 1)) ] || fail "tests: $(lines "$scratch/out") lines"

    run "tests --json" "$pregledi" --dir "$station" tests --json
    [ "$(grep -c '^,\?{"number":' "$scratch/out")" -eq "$official" ] || fail "tests --json: wrong number of objects"

    plate=$(sed -n 2p "$scratch/out" | sed 's/.*"registration":"\([^"]*\)".*/\1/')
    run "tests --reg (one plate)" "$pregledi" --dir "$station" tests --reg "$plate"
    [ "$(lines "$scratch/out")" -ge 2 ] || fail "tests --reg $plate: nothing found"

    run "export --tests --csv" "$pregledi" --dir "$station" export --tests --csv
    [ "$(grep -c $'\r$' "$scratch/out")" -eq $((official + 1)) ] || fail "export --tests --csv: wrong number of rows"

    for n in 1 $((official / 2)) "$official"; do
        run "show-test $n" "$pregledi" --dir "$station" show-test "$n"
        grep -q "^Test: $n (official)\$" "$scratch/out" || fail "show-test $n: $(head -n 2 "$scratch/out")"
    done

    run "reprint-test $official -o" "$pregledi" --dir "$station" reprint-test "$official" -o "$scratch/test.pdf"
    [ "$(head -c 4 "$scratch/test.pdf" 2>/dev/null)" = "%PDF" ] || fail "reprint-test: no PDF"

    run seal "$pregledi" --dir "$station" seal
    # The head names its month: P2026-03/45 HEX.
    grep -q "^P[0-9]\{4\}-[0-9]\{2\}/$official [0-9a-f]\{64\}\$" "$scratch/out" || fail "seal: no protocol head"
    head=$(sed -n 's/^P\([0-9/-]*\) \([0-9a-f]\{16\}\).*/P\1:\2/p' "$scratch/out")
    run "verify --expect-head P" "$pregledi" --dir "$station" verify --expect-head "$head"
fi

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
