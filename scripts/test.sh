#!/usr/bin/env bash
# The README's test command: install what is missing, build, run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
cd build
# Run once as usual, then the locale-sensitive areas again under a comma-decimal locale.
ctest --output-on-failure --timeout 300
