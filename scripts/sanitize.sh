#!/usr/bin/env bash
# Builds everything with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ and runs the whole test suite there.
# Any sanitizer report fails its test. Usage: scripts/sanitize.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build-sanitize RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKESTRINE_SANITIZE=ON -DKESTRINE_BENCH=OFF
source scripts/sanitizer-env.sh
export QT_QPA_PLATFORM=offscreen
if ! ctest --test-dir build-sanitize --output-on-failure --parallel "$(nproc)" --timeout 300 "$@"; then
  # Qt has no frame pointers, so the quick unwinder's allocation stacks stop inside Qt. The failed
  # tests once more with full stacks, so a leak report names the call of ours that made it.
  echo "Running the failed tests again with full allocation stacks:"
  ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0" \
    ctest --test-dir build-sanitize --rerun-failed --output-on-failure --parallel "$(nproc)" --timeout 600 || true
  exit 1
fi
