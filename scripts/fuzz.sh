#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (BUILD_DIR, default build-fuzz) and runs each for
# FUZZ_SECONDS (default 25) from its seed corpus in fuzz/corpus/<target>. A crash, a sanitizer
# report or a broken invariant ends the run with the reproducing input in FUZZ_ARTIFACTS.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-25}
artifacts=${FUZZ_ARTIFACTS:-$build_dir/fuzz-artifacts}

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DVEXA_FUZZ=ON -DVEXA_BENCH=OFF "$@" >/dev/null
cmake --build "$build_dir" --target vexa_fuzzers --parallel "$(nproc)"

mkdir -p "$artifacts"
for seeds in fuzz/corpus/*/; do
  name=$(basename "$seeds")
  corpus="$build_dir/fuzz-corpus/$name"
  mkdir -p "$corpus"
  echo "== fuzz: ${name} for ${seconds} s =="
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build_dir/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/${name}-" "$corpus" "$seeds" 2>&1 | tail -n 12
done
