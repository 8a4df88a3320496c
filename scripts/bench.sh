#!/usr/bin/env bash
# Builds the benchmarks in Release (in build-bench/) and runs every one, then prints one table:
# each figure's median, its goal, and its ratio to the peer measured in the same run.
# Usage: scripts/bench.sh [results-dir]   (default build-bench/results; JSON and logs stay there)
# Takes some minutes and about 3 GB of temporary disk (the 10,000-photo start-up database).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build qt6-base-dev libsqlite3-dev libbenchmark-dev libdeflate-dev zlib1g-dev
          fonts-dejavu-core python3)
bash scripts/install-packages.sh "${packages[@]}"

build=build-bench
results="${1:-$build/results}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRINE_TESTS=OFF -DKESTRINE_BENCH=ON > /dev/null
cmake --build "$build" --parallel "$(nproc)" > "$build/bench-build.log" 2>&1 || { cat "$build/bench-build.log"; exit 1; }

mkdir -p "$results"
rm -f "$results"/*.json
export QT_QPA_PLATFORM=offscreen
# The peers djpeg (libjpeg-turbo-progs) and vips (libvips-tools) are used where installed.
for program in kestrine_records_bench kestrine_canvas_bench kestrine_editor_bench kestrine_print_bench \
               kestrine_bench kestrine_startup_bench; do
  echo "running $program ..." >&2
  "$build/bench/$program" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/$program.json" --benchmark_out_format=json \
    > "$results/$program.log" 2>&1 || { cat "$results/$program.log"; exit 1; }
done
echo >&2
python3 bench/bench_table.py "$results" | tee "$results/table.md"
