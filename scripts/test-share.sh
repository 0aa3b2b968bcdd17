#!/bin/sh
# The tests' share of the code, in non-blank lines: every file under tests/ (any extension, support and
# transcripts included; the fuzz corpora and CMakeLists.txt left out) against the .cpp, .h and .c files
# under src, tools and bench. Overall and per area; with --check it fails when a share is over its limit.
#   scripts/test-share.sh [--check]
set -eu
cd "$(dirname "$0")/.."
overall_limit=35
area_limit=40

# Non-blank lines of the files find lists under the given folders (missing folders count nothing).
lines() {
    existing=""
    for folder in "$@"; do [ -d "$folder" ] && existing="$existing $folder"; done
    [ -n "$existing" ] || { echo 0; return; }
    # shellcheck disable=SC2086
    find $existing -type f ! -name CMakeLists.txt ! -path 'tests/fuzz/corpus/*' -print0 |
        xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}

code_lines() {
    existing=""
    for folder in "$@"; do [ -d "$folder" ] && existing="$existing $folder"; done
    [ -n "$existing" ] || { echo 0; return; }
    # shellcheck disable=SC2086
    find $existing -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
        xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}

over=0
report() {
    # $1 label, $2 test lines, $3 code lines, $4 limit in percent
    share=$(awk -v t="$2" -v c="$3" 'BEGIN { printf "%.1f", c ? 100 * t / c : 0 }')
    verdict=ok
    if awk -v s="$share" -v l="$4" 'BEGIN { exit !(s > l) }'; then verdict="over $4%"; over=1; fi
    printf '%-8s tests %6d  code %6d  %5s%%  %s\n' "$1" "$2" "$3" "$share" "$verdict"
}

# Every folder under tests/ has its area here; support, fuzz and the lab's test count overall only.
for folder in tests/*/; do
    case "$(basename "$folder")" in
    core | protocol | tls | dispatcher | e2e | crash | gui | agent | netns | support | fuzz | lab) ;;
    *) echo "test-share: tests/$(basename "$folder") has no area: give it one in $0" >&2; exit 2 ;;
    esac
done

report overall "$(lines tests)" "$(code_lines src tools bench)" "$overall_limit"
report core "$(lines tests/core tests/protocol tests/tls tests/dispatcher tests/e2e tests/crash)" \
    "$(code_lines src/core src/protocol src/tls)" "$area_limit"
report gui "$(lines tests/gui)" "$(code_lines src/gui)" "$area_limit"
report agent "$(lines tests/agent tests/netns)" "$(code_lines src/agent)" "$area_limit"

if [ "${1:-}" = "--check" ] && [ "$over" -ne 0 ]; then
    echo "test-share: the tests are over their share of the code" >&2
    exit 1
fi
