#!/usr/bin/env bash
# Builds the fuzz targets (clang, with the sanitizers) and runs them side by side, each for the given
# number of seconds.
# Usage: scripts/fuzz.sh [seconds (default 60)] [target...]
# Targets: DictionaryFileFuzz, PrefsFuzz, PicturesFuzz (all by default). New inputs that reach new
# code are kept in build-fuzz/fuzz-corpus/<target>/, so a later run goes on from there; a crash
# leaves its input in build-fuzz/fuzz-crashes/<target>/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(DictionaryFileFuzz PrefsFuzz PicturesFuzz)

# Its own build: the records library compiled for coverage, and nothing but the fuzz targets.
build=build-fuzz
KESTRINE_TARGETS="DictionaryFileFuzz PrefsFuzz PicturesFuzz MakeFuzzCorpus" \
  bash scripts/setup.sh "$build" RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKESTRINE_FUZZ=ON -DKESTRINE_BENCH=OFF
source scripts/sanitizer-env.sh

# Seeds: our own writers' output and hand-built shapes, plus the small pictures of the test data.
seeds="$build/fuzz-seeds"
rm -rf "$seeds"
"$build/tests/fuzz/MakeFuzzCorpus" "$seeds"
if [ -d tests/data ]; then
  while IFS= read -r -d '' f; do
    rel="${f#tests/data/}"
    cp "$f" "$seeds/PicturesFuzz/data-${rel//\//_}"
  done < <(find tests/data -type f -size -64k -print0)
fi

pids=()
for t in "${targets[@]}"; do
  mkdir -p "$build/fuzz-corpus/$t" "$build/fuzz-crashes/$t"
  opts=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1
        -artifact_prefix="$build/fuzz-crashes/$t/")
  [ -f "tests/fuzz/$t.dict" ] && opts+=(-dict="tests/fuzz/$t.dict")
  case "$t" in
    # The decoders are not instrumented: keep every seed picture in play.
    PicturesFuzz) opts+=(-max_len=65536 -keep_seed=1 -cross_over_uniform_dist=1) ;;
    *) opts+=(-max_len=16384) ;;
  esac
  echo "Fuzzing $t for $seconds s"
  "$build/tests/fuzz/$t" "${opts[@]}" "$build/fuzz-corpus/$t" "$seeds/$t" >"$build/fuzz-$t.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  t="${targets[$i]}"
  if wait "${pids[$i]}"; then
    echo "$t: $(grep -E '^(stat::number_of_executed_units|Done )' "$build/fuzz-$t.log" | tr '\n' ' ')"
  else
    failed=1
    echo "FAILED: $t (log $build/fuzz-$t.log; input in $build/fuzz-crashes/$t/)"
    tail -n 60 "$build/fuzz-$t.log"
    echo "Reproduce: $build/tests/fuzz/$t <input>"
  fi
done
exit "$failed"
