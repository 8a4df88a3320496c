#!/usr/bin/env bash
# Installs what the build and the tests need (only what is missing), then configures and builds.
# Usage: scripts/setup.sh [build-dir] [cmake build type] [more cmake arguments...]
# KESTRINE_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build qt6-base-dev qt6-image-formats-plugins libsqlite3-dev zlib1g-dev
          libdeflate-dev libgtest-dev libbenchmark-dev fonts-dejavu-core xvfb xauth poppler-utils)
# A clang build (the sanitizer build and its fuzz targets) also needs clang's runtime libraries
# (sanitizers, libFuzzer) and llvm's symbolizer for readable reports.
case " $* " in
  *clang*) packages+=(clang libclang-rt-14-dev llvm) ;;
esac
bash scripts/install-packages.sh "${packages[@]}"

build="${1:-build}"
type="${2:-RelWithDebInfo}"
shift $(( $# < 2 ? $# : 2 ))
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
targets=()
for t in ${KESTRINE_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
