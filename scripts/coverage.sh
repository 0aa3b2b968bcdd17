#!/bin/sh
# Line and branch coverage of every library (src/protocol, src/tls, src/core, src/gui, src/agent) from a
# Debug --coverage build of its own, with the whole suite run: as root, so that the namespace and lab tests
# run too. The build folder must not lie under /tmp: the lab computers mount a /tmp of their own, which
# would hide the agent's counts. Tests, benchmarks and tools are not counted. Branch figures leave out the
# compiler's exception and unreachable branches. Run again in the same folder, it rebuilds only what changed.
#   COVERAGE_BUILD_DIR build folder (default build-coverage)
#   COVERAGE_TESTS     ctest -R pattern (default: every test)
set -e
command -v gcovr >/dev/null || { echo "coverage: needs gcovr (apt-get install gcovr)" >&2; exit 2; }
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${COVERAGE_BUILD_DIR:-$root/build-coverage}"
tests="${COVERAGE_TESTS:-.}"
[ "$(id -u)" -eq 0 ] || echo "coverage: not root, the namespace and lab tests will skip" >&2
case "$build" in /tmp/*) echo "coverage: $build lies under /tmp, the agent's counts will be lost" >&2 ;; esac

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRAVA_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_C_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
nice cmake --build "$build" -j2
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -R "$tests" -j2 --output-on-failure || echo "coverage: some tests failed" >&2

trace="$build/coverage.json"
gcovr -r "$root" --object-directory "$build" -f "$root/src/" --exclude-throw-branches \
  --exclude-unreachable-branches --gcov-ignore-parse-errors -j 2 --json "$trace"
for library in protocol tls core gui agent; do
  gcovr -r "$root" -a "$trace" -f "$root/src/$library/" --print-summary |
    awk -v label="src/$library" '/^lines:/ {l=$2} /^branches:/ {b=$2} END {printf "%-14s lines %7s  branches %7s\n", label, l, b}'
done
