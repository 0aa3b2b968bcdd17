#!/bin/sh
# Builds the Debian packages kestrava and kestrava-agent into the build folder (default build-pkg).
#   scripts/package.sh [BUILD_DIR] [extra cmake -D options]
# Extra cpack options go in CPACK_ARGS, e.g. CPACK_ARGS="-D CPACK_PACKAGE_VERSION=1.4.1".
set -e
cd "$(dirname "$0")/.."
build=${1:-build-pkg}
[ $# -gt 0 ] && shift
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVA_TESTS=OFF -DKESTRAVA_BENCH=OFF \
    -DKESTRAVA_PACKAGE=ON "$@" >/dev/null
nice cmake --build "$build"
# shellcheck disable=SC2086
(cd "$build" && cpack -G DEB $CPACK_ARGS >/dev/null)
ls "$build"/*.deb
