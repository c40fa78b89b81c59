#!/usr/bin/env bash
# The running station measured against a floor: a minimal Qt Widgets program (one label,
# 100 ms timer). Both run side by side on a private Xvfb for SECONDS, ROUNDS times, the
# order of starting them alternating between rounds. The station runs its measuring cycle
# against analyser-sim behind COM1. Printed per round and as the mean of the rounds:
#   cpu      user + system CPU time over the measured window, all threads
#   wakeups  voluntary context switches over the window, summed over all threads
#   threads  the most threads seen at once
#   rss      peak resident set (VmHWM)
#   first    time from the start of the process to its first mapped window
#   latency  (station) median and 95th percentile of a received block's processing, from
#            its arrival to the labels, from the vezaro.timing diagnostics
#
#   bench/station-vs-floor.sh [SECONDS] [ROUNDS]     (defaults 60 and 3)
# BUILD_DIR (default build) selects the build to measure; it is built first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
rounds=${2:-3}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vezaro analyser-sim bench-floor >/dev/null
bin=$root/$build/bin
floor=$root/$build/bench/bench-floor

scratch=$(mktemp -d /tmp/vz-bench.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$scratch/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$scratch/display")"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

now_ms() { date +%s%3N; }
# CPU ticks (utime + stime) of the whole process.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Voluntary context switches summed over the threads alive now.
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'; }
threads() { awk '/^Threads/ { print $2 }' "/proc/$1/status"; }
# Voluntary context switches since each thread started, by thread name.
per_thread() {
    for t in /proc/"$1"/task/*; do
        printf '%s=%s ' "$(tr ' ' _ <"$t/comm")" "$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status")"
    done
}
peak_rss_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }
# Milliseconds until the process has a mapped window (its _NET_WM_PID).
first_window_ms() {
    local pid=$1 start=$2
    for _ in $(seq 1000); do
        if xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then
            echo $(($(now_ms) - start))
            return
        fi
        sleep 0.01
    done
    echo -1
}

start_floor() {
    floor_start=$(now_ms)
    "$floor" >/dev/null 2>&1 &
    floor_pid=$!
    pids+=("$floor_pid")
    floor_first=$(first_window_ms "$floor_pid" "$floor_start")
}

start_station() {
    local dir=$scratch/station$1
    mkdir -p "$dir"
    "$bin/analyser-sim" --link-dir "$dir" --com 1 >/dev/null 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    for _ in $(seq 50); do [ -L "$dir/COM1" ] && break; sleep 0.1; done
    station_start=$(now_ms)
    (cd "$dir" && QT_LOGGING_RULES="vezaro.timing.debug=true" exec "$bin/vezaro" >/dev/null 2>>"$dir/stderr") &
    station_pid=$!
    pids+=("$station_pid")
    station_first=$(first_window_ms "$station_pid" "$station_start")
    # The start-up box (no demo file), then F2: the running cycle.
    local box main=""
    for _ in $(seq 100); do
        box=$(xdotool search --onlyvisible --name "DEMO FILE NOT FOUND" 2>/dev/null | head -1) || true
        [ -n "$box" ] && xdotool key --window "$box" Return 2>/dev/null || true
        sleep 0.2
        main=$(xdotool search --onlyvisible --name "ZAN GAS ANALISER" 2>/dev/null | head -1) || true
        [ -n "$main" ] && [ -z "$(xdotool search --onlyvisible --name "DEMO FILE NOT FOUND" 2>/dev/null)" ] && break
    done
    sleep 0.5
    xdotool windowfocus --sync "$main" 2>/dev/null || true
    xdotool key --window "$main" F2
    station_dir=$dir
}

stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

hz=$(getconf CLK_TCK)
div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-5s %-8s %9s %9s %8s %9s %8s %s\n' round program "cpu s" wakeups threads "rss MiB" "first ms" "latency ms (median / p95)"
results=$scratch/results
: >"$results"
for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
        start_floor
        start_station "$round"
    else
        start_station "$round"
        start_floor
    fi
    sleep 5 # both settled: the cycle is polling, the floor ticking
    f_cpu0=$(cpu_ticks "$floor_pid") f_wk0=$(wakeups "$floor_pid")
    s_cpu0=$(cpu_ticks "$station_pid") s_wk0=$(wakeups "$station_pid")
    : >"$station_dir/stderr"
    f_thr=0 s_thr=0
    for _ in $(seq "$seconds"); do
        sleep 1
        t=$(threads "$floor_pid") && [ "$t" -gt "$f_thr" ] && f_thr=$t
        t=$(threads "$station_pid") && [ "$t" -gt "$s_thr" ] && s_thr=$t
    done
    f_cpu=$(($(cpu_ticks "$floor_pid") - f_cpu0)) f_wk=$(($(wakeups "$floor_pid") - f_wk0))
    s_cpu=$(($(cpu_ticks "$station_pid") - s_cpu0)) s_wk=$(($(wakeups "$station_pid") - s_wk0))
    f_rss=$(peak_rss_kb "$floor_pid") s_rss=$(peak_rss_kb "$station_pid")
    f_per=$(per_thread "$floor_pid") s_per=$(per_thread "$station_pid")
    latency=$(grep -a -o 'shown in [0-9.]*' "$station_dir/stderr" | awk '{ print $3 }' | sort -n |
        awk '{ v[NR] = $1 } END { if (NR) printf "%.3f / %.3f (%d blocks)", v[int((NR + 1) / 2)], v[int(NR * 0.95 + 0.5)], NR; else print "none" }')
    stop "$floor_pid"
    stop "$station_pid"
    stop "$sim_pid"
    printf '%-5s %-8s %9.2f %9d %8d %9.1f %8d\n' "$round" floor "$(div "$f_cpu" "$hz")" "$f_wk" "$f_thr" "$(div "$f_rss" 1024)" "$floor_first"
    printf '%-5s %-8s %9.2f %9d %8d %9.1f %8d %s\n' "$round" station "$(div "$s_cpu" "$hz")" "$s_wk" "$s_thr" "$(div "$s_rss" 1024)" "$station_first" "$latency"
    echo "      threads: floor $f_per; station $s_per"
    echo "$f_cpu $f_wk $f_rss $floor_first $s_cpu $s_wk $s_rss $station_first" >>"$results"
done
awk -v hz="$hz" -v s="$seconds" '
    { for (i = 1; i <= 8; ++i) sum[i] += $i; ++n }
    END {
        printf "\nmean of %d rounds of %d s\n", n, s
        printf "%-8s %9s %12s %9s %9s\n", "", "cpu s", "wakeups/s", "rss MiB", "first ms"
        printf "%-8s %9.2f %12.1f %9.1f %9.0f\n", "floor", sum[1] / n / hz, sum[2] / n / s, sum[3] / n / 1024, sum[4] / n
        printf "%-8s %9.2f %12.1f %9.1f %9.0f\n", "station", sum[5] / n / hz, sum[6] / n / s, sum[7] / n / 1024, sum[8] / n
        printf "%-8s %9.2f %12.2f %9.2f %9.2f\n", "ratio", sum[5] / sum[1], sum[6] / sum[2], sum[7] / sum[3], sum[8] / sum[4]
    }' "$results"
