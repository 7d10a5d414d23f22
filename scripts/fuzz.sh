#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan, in build-fuzz/)
# and runs each for a bounded time from its seed corpus, two at a time. Fails
# on any crash, leak, sanitizer report or hang, and prints one line per target.
#   scripts/fuzz.sh [seconds]   seconds per target: the argument, else
#                               QAB_FUZZ_SECONDS, else 30
# New inputs that reach new code are kept in build-fuzz/fuzz-runs/<target>/
# corpus, so later runs start from them; a failing input is saved beside it in
# artifacts/. The seed corpora in fuzz/corpus are only read.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${QAB_FUZZ_SECONDS:-30}}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: seconds per target must be a positive whole number, not '$seconds'" >&2
  exit 2
fi
jobs="${QAB_FUZZ_JOBS:-2}"
build=build-fuzz

# clang and its libFuzzer runtime, besides what the build needs anyway.
scripts/deps.sh
missing=()
command -v clang >/dev/null 2>&1 && command -v clang++ >/dev/null 2>&1 || missing+=(clang)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed" ||
  missing+=(libclang-rt-14-dev)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DQAB_FUZZ=ON -DQAB_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target qab_fuzz_targets >/dev/null

# target, longest input, dictionary
targets=(
  "fuzz_device_address 256 address.dict"
  "fuzz_device_response 131100 http.dict"
  "fuzz_authorization 4096 http.dict"
  "fuzz_tftp_datagram 1500 tftp.dict"
  "fuzz_tftp_handling 1643 tftp.dict"
)

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

run_target() {
  local name=$1 max_len=$2 dict=$3
  local work=$build/fuzz-runs/$name
  mkdir -p "$work/corpus" "$work/artifacts"
  rm -f "$work"/artifacts/*
  local rc=0
  # libFuzzer stops itself after max_total_time; the outer timeout only ends
  # a run that does not.
  timeout --kill-after=10 $((seconds + 60)) "$build/fuzz/$name" \
    -max_total_time="$seconds" -timeout=10 -max_len="$max_len" -dict="fuzz/dict/$dict" \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "fuzz/corpus/$name" >"$work/log" 2>&1 || rc=$?
  echo "$rc" >"$work/rc"
}

rm -f "$build"/fuzz-runs/*/rc
running=0
for t in "${targets[@]}"; do
  # shellcheck disable=SC2086
  run_target $t &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

failed=0
for t in "${targets[@]}"; do
  name=${t%% *}
  work=$build/fuzz-runs/$name
  rc=$(cat "$work/rc" 2>/dev/null || echo missing)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n 1)
  # A target's own check names what failed; else the sanitizer's first line.
  report=$(grep -m 1 '^check failed: ' "$work/log" ||
    grep -m 1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|^SUMMARY: ' \
      "$work/log" || true)
  if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
    result="FAILED: hung, ended by timeout"
  elif [ -n "$report" ]; then
    result="FAILED: $report"
  elif [ "$rc" != 0 ]; then
    result="FAILED: exit status $rc"
  elif [ -z "$runs" ] || [ "$runs" = 0 ]; then
    result="FAILED: no executions reported"
  else
    result="clean"
  fi
  printf '%-22s %10s runs in %ss (%s/s), corpus %s inputs: %s\n' "$name" "${runs:-?}" "$seconds" "${rate:-?}" \
    "$(find "$work/corpus" -type f | wc -l)" "$result"
  if [ "$result" != clean ]; then
    failed=1
    echo "  log: $work/log" >&2
    for a in "$work"/artifacts/*; do [ -e "$a" ] && echo "  input: $a" >&2; done
    tail -n 30 "$work/log" | sed 's/^/  | /' >&2
  fi
done
exit "$failed"
