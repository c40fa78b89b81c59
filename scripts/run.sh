#!/usr/bin/env bash
# The README's run command: install what is missing, build, then start the station in run/
# with the analyser simulator behind COM1 (a link run/COM1 to the simulator's pty).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p run
cd run
[ -e CarModel.DB ] || ../build/bin/carmodel-import ../data/CarModel.csv CarModel.DB
[ -e SERVICE.ini ] || cp ../data/SERVICE.ini .
../build/bin/analyser-sim --link-dir . --com 1 &
sim=$!
xvfb=""
trap 'kill $sim $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e COM1 ] && break; sleep 0.1; done
echo "analyser simulator running behind $(pwd)/COM1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "no display: starting the station under Xvfb on :99"
    Xvfb :99 -screen 0 1280x1024x24 >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:99
    sleep 1
fi
../build/bin/vezaro
