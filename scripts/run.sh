#!/usr/bin/env bash
# The README's run command: install what is missing, build, then start the station in run/
# with the analyser simulator behind COM1 (a link run/COM1 to the simulator's pty).
# VZ_SIM_ARGS adds options to the simulator, e.g. a car to test:
#   VZ_SIM_ARGS='--vehicle ../data/vehicles/petrol-catalyst-pass.profile --hold --control engine.sock'
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only the programs this runs, not the test suite (scripts/test.sh builds everything).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target vezaro analyser-sim carmodel-import
mkdir -p run
cd run
[ -e CarModel.DB ] || ../build/bin/carmodel-import ../data/CarModel.csv CarModel.DB
[ -e SERVICE.ini ] || cp ../data/SERVICE.ini .
# shellcheck disable=SC2086 # the options are words
../build/bin/analyser-sim --link-dir . --com 1 ${VZ_SIM_ARGS:-} &
sim=$!
xvfb=""
trap 'kill $sim $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e COM1 ] && break; sleep 0.1; done
echo "analyser simulator running behind $(pwd)/COM1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # Xvfb picks a free display and writes its number to a file.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>.display 2>/dev/null &
    xvfb=$!
    for _ in $(seq 100); do [ -s .display ] && break; sleep 0.1; done
    number=$(head -1 .display)
    export DISPLAY=":$number"
    echo "no display: the station runs under Xvfb on $DISPLAY"
fi
echo "stop with Ctrl+C (or close the window): the simulator and any Xvfb stop with it"
../build/bin/vezaro
