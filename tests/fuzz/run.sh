#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting from its corpus in
# tests/fuzz/corpus/<target> (new inputs go to a scratch folder, not into the repository).
#   FUZZ_SECONDS    seconds per target (default 20)
#   FUZZ_BUILD_DIR  build folder (default build-fuzz)
#   FUZZ_TARGETS    targets to run (default: every fuzz_*.cpp)
#   FUZZ_BUILD_TYPE CMake build type (default RelWithDebInfo; Debug builds faster and fuzzes slower)
#   FUZZ_SEED       libFuzzer's random seed (default 1, so that a run cannot fail by chance)
#   FUZZ_RUNS       inputs per target; when set, the run ends after them instead of after FUZZ_SECONDS
# Prints one line per target; exits non-zero when a target finds a crash or a broken invariant, and
# leaves the input that did it in $FUZZ_BUILD_DIR/fuzz-findings/<target>/.
set -e
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${FUZZ_SECONDS:-20}"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
targets="${FUZZ_TARGETS:-$(cd "$root/tests/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')}"
build_type="${FUZZ_BUILD_TYPE:-RelWithDebInfo}"
seed="${FUZZ_SEED:-1}"
if [ -n "$FUZZ_RUNS" ]; then bound="-runs=$FUZZ_RUNS"; else bound="-max_total_time=$seconds"; fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKESTRAVA_FUZZ=ON -DKESTRAVA_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets

# The targets keep their databases in temporary folders; memory is faster where there is some.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then TMPDIR=/dev/shm; export TMPDIR; fi
failed=0
for target in $targets; do
  scratch="$build/fuzz-scratch/$target"
  findings="$build/fuzz-findings/$target"
  rm -rf "$scratch" "$findings"
  mkdir -p "$scratch" "$findings"
  log="$build/fuzz-$target.log"
  if nice -n 10 "$build/fuzz/$target" "$bound" -seed="$seed" -timeout=20 -rss_limit_mb=4096 \
      -print_final_stats=1 -close_fd_mask=1 -artifact_prefix="$findings/" \
      "$scratch" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: $runs runs with seed $seed, 0 crashes"
  else
    echo "$target: FOUND A PROBLEM (input in $findings)"
    grep -E -A3 'invariant broken|ERROR:|SUMMARY' "$log" | head -20
    failed=1
  fi
done
exit $failed
