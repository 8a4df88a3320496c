#!/usr/bin/env bash
# Sets up, builds and runs every test suite; then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each fuzz target for a minute. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

# The plain build first, so an ordinary failure shows quickly.
bash scripts/setup.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 300

bash scripts/sanitize.sh
bash scripts/fuzz.sh 60
