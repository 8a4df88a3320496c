#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (clang, so the fuzz
# targets build there too) into build-sanitize/ and runs the whole test suite there.
# Any sanitizer report fails its test. Usage: scripts/sanitize.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build-sanitize RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKESTRINE_SANITIZE=ON -DKESTRINE_BENCH=OFF
source scripts/sanitizer-env.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-sanitize --output-on-failure --parallel "$(nproc)" --timeout 300 "$@"
