#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
#   scripts/test.sh                      the normal build, in build/
#   scripts/test.sh --sanitize address   AddressSanitizer + UBSan, in build-asan/
#   scripts/test.sh --sanitize thread    ThreadSanitizer, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
if [ "${1:-}" = "--sanitize" ]; then sanitize="${2:?--sanitize needs address or thread}"; fi
case "$sanitize" in
  "") dir=build ;;
  address) dir=build-asan ;;
  thread) dir=build-tsan ;;
  *) echo "unknown sanitizer: $sanitize" >&2; exit 2 ;;
esac

scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$dir" -DQAB_SANITIZE="$sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir" -j"$jobs"
cd "$dir"
ctest --output-on-failure -j"$jobs" --timeout 600
