#!/usr/bin/env bash
# The Debian package as a station gets it: built with cpack from the build directory, its
# contents checked (programs, launcher, samples, desktop entry, icon, manual pages, notes),
# and the programs run from the unpacked tree and, when this runs as root, installed with
# dpkg: `--version`, and `vezaro-station --dir` on a scratch directory under a private
# Xvfb, which must show the main window.
# usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$(readlink -f "$1")
version=$2
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log"; fail "cpack did not make the package"; }
deb=$(ls "$scratch"/out/vezaro_"$version"_*.deb) || fail "no vezaro_${version}_*.deb"

# Contents.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/contents"
for f in /usr/bin/vezaro /usr/bin/analyser-sim /usr/bin/carmodel-import /usr/bin/vezaro-station /usr/bin/pregledi \
    /usr/share/vezaro/CarModel.DB /usr/share/vezaro/SERVICE.ini \
    /usr/share/applications/vezaro.desktop /usr/share/icons/hicolor/scalable/apps/vezaro.svg \
    /usr/share/man/man1/vezaro.1.gz /usr/share/man/man1/vezaro-station.1.gz \
    /usr/share/man/man1/analyser-sim.1.gz /usr/share/man/man1/carmodel-import.1.gz \
    /usr/share/man/man1/pregledi.1.gz \
    /usr/share/doc/vezaro/README.station /usr/share/doc/vezaro/examples/99-vezaro-analyser.rules \
    /usr/share/doc/vezaro/operator-guide.md /usr/share/doc/vezaro/operator-guide.bg.md \
    /usr/share/doc/vezaro/maintainer-guide.md; do
    grep -qxF "$f" "$scratch/contents" || fail "the package lacks $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6serialport6 libqt6sql6-sqlite libqt6printsupport6 qt6-qpa-plugins; do
    [[ $depends == *"$p"* ]] || fail "Depends lacks $p: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/vezaro.desktop" || fail "desktop entry"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
    [ -z "$out" ] || fail "man -l $page: $out"
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "$version" || fail "$page names no version"
done
cmp "$root/usr/share/vezaro/CarModel.DB" "$build/data/CarModel.DB" || fail "sample table differs"

# Starts the launcher on a private X server and waits for the main window; leaves it running.
xpid=""
start_x() {
    # -noreset: the launcher is started twice on this server, and a reset between the two
    # would refuse the second.
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$scratch/display" 2>"$scratch/xvfb.log" &
    xpid=$!
    pids+=("$xpid")
    for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    display=":$(head -1 "$scratch/display")"
    [ "$display" != ":" ] || fail "Xvfb did not start"
}
station_shows_its_window() { # BIN_DIR STATION_DIR
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$1/vezaro-station" --dir "$2" >"$scratch/station.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    # A new station has no demo file: the start-up box comes first, then the main window.
    local box="" found=""
    for _ in $(seq 150); do
        box=$(DISPLAY=$display xdotool search --onlyvisible --name "DEMO FILE NOT FOUND" 2>/dev/null | head -1) && [ -n "$box" ] && break
        sleep 0.1
    done
    [ -n "$box" ] || { cat "$scratch/station.log"; fail "no start-up box from $1/vezaro-station"; }
    DISPLAY=$display xdotool windowfocus --sync "$box" key Return
    for _ in $(seq 150); do
        found=$(DISPLAY=$display xdotool search --onlyvisible --name "ZAN GAS ANALISER" 2>/dev/null | head -1) && [ -n "$found" ] && break
        sleep 0.1
    done
    [ -n "$found" ] || { cat "$scratch/station.log"; fail "no main window from $1/vezaro-station"; }
    kill -TERM "$pid"
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    ! kill -0 "$pid" 2>/dev/null || fail "the station did not end on SIGTERM"
    [ -f "$2/VEZARO.INI" ] || fail "no VEZARO.INI written in $2"
}

check_programs() { # BIN_DIR
    local bin=$1
    for p in vezaro analyser-sim carmodel-import vezaro-station pregledi; do
        [ "$(env -u DISPLAY "$bin/$p" --version)" = "$p $version" ] || fail "$bin/$p --version"
        env -u DISPLAY "$bin/$p" --help | grep -qi usage || fail "$bin/$p --help"
        if env -u DISPLAY "$bin/$p" --no-such-option >/dev/null 2>"$scratch/err"; then
            fail "$bin/$p accepted an unknown option"
        fi
        [ "$(wc -l <"$scratch/err")" -eq 1 ] || fail "$bin/$p: the error is not one line"
    done

    # A new station directory gets the samples; a station's own files stay as they are.
    local station="$scratch/station-$RANDOM"
    station_shows_its_window "$bin" "$station"
    cmp -s "$station/SERVICE.ini" "$root/usr/share/vezaro/SERVICE.ini" || fail "no sample SERVICE.ini"
    cmp -s "$station/CarModel.DB" "$root/usr/share/vezaro/CarModel.DB" || fail "no sample CarModel.DB"
    printf 'OWN STATION\r\n' >"$station/SERVICE.ini"
    station_shows_its_window "$bin" "$station"
    [ "$(cat "$station/SERVICE.ini")" = $'OWN STATION\r' ] || fail "the station's SERVICE.ini was overwritten"
}

start_x
check_programs "$root/usr/bin"
if [ "$(id -u)" -eq 0 ] && [ "${VZ_PACKAGE_NO_INSTALL:-}" != 1 ]; then
    dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i"; }
    [ "$(dpkg-query -W -f='${Version}' vezaro)" = "$version" ] || fail "not installed"
    check_programs /usr/bin
else
    echo "not root: the package was checked unpacked, not installed"
fi
echo "package vezaro $version: ok"
