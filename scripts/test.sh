#!/usr/bin/env bash
# The README's test command: install what is missing, build, run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
# No two types share a name across the files (a link-time check of the programs).
scripts/check-odr.sh
cd build
# Every test, the end-to-end runs under Xvfb included.
ctest --output-on-failure --timeout 300
cd ..
# The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
scripts/test-sanitized.sh
# Every fuzz target for a bounded time from its seeds.
scripts/fuzz-ci.sh 12
