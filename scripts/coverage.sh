#!/bin/sh
# Line and branch coverage of the console's code from a Debug --coverage build of its own: runs the core,
# GUI, end-to-end and crash tests, then prints src/core as a whole and per folder, and src/gui. Tests,
# benchmarks and tools are not counted. Branch figures are given twice: all branches, and without the
# compiler's exception and unreachable branches.
#   COVERAGE_BUILD_DIR build folder (default build-coverage)
#   COVERAGE_TESTS     ctest -R pattern (default: core, GUI, end-to-end and crash tests)
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${COVERAGE_BUILD_DIR:-$root/build-coverage}"
tests="${COVERAGE_TESTS:-^(core|gui|e2e|crash)/}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRAVA_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
nice cmake --build "$build" -j2
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -R "$tests" -j2 --output-on-failure || echo "coverage: some tests failed" >&2

summary() {
  # $1: label, $2: folder below src/, $3: tracefile
  gcovr -r "$root" -a "$3" -f "$root/src/$2" --print-summary |
    awk -v label="$1" '/^lines:/ {l=$2} /^branches:/ {b=$2} END {printf "%-24s lines %7s  branches %7s\n", label, l, b}'
}
for pass in all reachable; do
  trace="$build/coverage-$pass.json"
  if [ "$pass" = all ]; then set --; else set -- --exclude-throw-branches --exclude-unreachable-branches; fi
  gcovr -r "$root" --object-directory "$build" -f "$root/src/core/" -f "$root/src/gui/" \
    --gcov-ignore-parse-errors -j 2 --json "$trace" "$@"
  echo "== branches: $pass"
  summary "src/core" core/ "$trace"
  for dir in "$root"/src/core/*/; do
    name="$(basename "$dir")"
    summary "  core/$name" "core/$name/" "$trace"
  done
  summary "src/gui" gui/ "$trace"
done
