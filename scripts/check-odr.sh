#!/usr/bin/env bash
# Builds the programs with link-time optimisation into build-odr/ so that the linker sees
# every type of every file at once, and fails when two different types share one name
# (g++'s -Wodr). Such a clash is silent otherwise: the linker keeps one of the two types'
# out-of-line member functions for both, and the other type's objects break only where the
# compiler did not inline the call.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-flto=auto -Wodr -Werror=odr"
cmake -S . -B build-odr -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
# Quiet when it passes; on a failure the compiler's words say which types clash and where.
if ! cmake --build build-odr --target vezaro pregledi analyser-sim carmodel-import >build-odr/build.log 2>&1; then
    grep -v -e '^: && ' -e '^\[[0-9]*/[0-9]*\] ' build-odr/build.log | tail -n 40 >&2
    echo "check-odr: the link-time build failed (the whole output is in build-odr/build.log)" >&2
    exit 1
fi
