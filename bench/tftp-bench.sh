#!/bin/sh
# The TFTP transfer benchmark: the 1,074,589-byte sample image served by our
# listener (qab-tftp-bench-server, built from the upgrader's own code) and by
# tftpd-hpa (in.tftpd), each fetched by the same client, curl's TFTP client,
# on loopback inside a private network namespace; several runs each,
# alternating. Prints the median times and their ratio (ours / tftpd-hpa; at
# most 1.0 is the target), then the CPU share of our waiting screen's loop
# while it waits for a request (below 2% of one core is the target), read
# from /proc/<pid>/stat.
#
# Usage: bench/tftp-bench.sh [BUILD_DIR] [RUNS] [IDLE_SECONDS]
#   BUILD_DIR     a build folder of this tree (default: build)
#   RUNS          transfers per server (default: 9)
#   IDLE_SECONDS  how long the idle share is measured (default: 5)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${QAB_BENCH_IN_NAMESPACE:-}" ]; then
  export QAB_BENCH_IN_NAMESPACE=1
  exec sh "$here/../tests/support/netns-run" sh "$here/tftp-bench.sh" "$@"
fi

build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-9}
idle_seconds=${3:-5}
server=$build/bench/qab-tftp-bench-server
image=$build/resources/sample-target.img
tftpd=${QAB_IN_TFTPD:-/usr/sbin/in.tftpd}
name=qab4f2.bi1
for f in "$server" "$image"; do [ -e "$f" ] || { echo "missing $f: build the tree first" >&2; exit 1; }; done
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 1; }
[ -x "$tftpd" ] || { echo "tftpd-hpa ($tftpd) is not installed" >&2; exit 1; }

work=$(mktemp -d)
ours_pid=
tftpd_pid=
cleanup() {
  test -n "$ours_pid" && kill -9 "$ours_pid" 2>/dev/null
  test -n "$tftpd_pid" && kill -9 "$tftpd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "tftp-bench: $*" >&2; exit 1; }

# Starts our server and waits (at most 5 s) for its port. Each start has a
# file of its own: an old "port" line must not be taken for the new one.
starts=0
start_ours() {
  starts=$((starts + 1))
  out="$work/ours.$starts.out"
  "$server" "$image" "/$name" >"$out" 2>&1 &
  ours_pid=$!
  tries=0
  until grep -qs '^port ' "$out"; do
    tries=$((tries + 1))
    [ $tries -le 500 ] || fail "our server did not listen"
    sleep 0.01
  done
  ours_port=$(sed -n 's/^port //p' "$out")
}
stop_ours() {
  kill -9 "$ours_pid" 2>/dev/null || true
  wait "$ours_pid" 2>/dev/null || true
  ours_pid=
}

# One fetch with curl: prints curl's own total time in seconds and checks
# the file received.
fetch() {
  rm -f "$work/got"
  t=$(curl -s --max-time 60 -o "$work/got" -w '%{time_total}' "tftp://127.0.0.1:$1//$name") || fail "curl failed on port $1"
  cmp -s "$work/got" "$image" || fail "the image fetched from port $1 differs"
  echo "$t"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

mkdir "$work/root" && chmod 755 "$work/root"
cp "$image" "$work/root/$name" && chmod 644 "$work/root/$name"
"$tftpd" -L -4 -s -u "$(id -un)" -a :6969 "$work/root" &
tftpd_pid=$!
sleep 0.2

echo "image: $(wc -c <"$image") bytes; $runs runs each, alternating; client: $(curl --version | head -1 | cut -d' ' -f1-2)"
: >"$work/ours.times"
: >"$work/tftpd.times"
run=1
while [ $run -le "$runs" ]; do
  start_ours
  fetch "$ours_port" >>"$work/ours.times"
  stop_ours
  fetch 6969 >>"$work/tftpd.times"
  run=$((run + 1))
done
ours=$(median <"$work/ours.times")
theirs=$(median <"$work/tftpd.times")
echo "ours:      median $ours s  (runs: $(tr '\n' ' ' <"$work/ours.times"))"
echo "tftpd-hpa: median $theirs s  (runs: $(tr '\n' ' ' <"$work/tftpd.times"))"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio ours / tftpd-hpa: %.3f (target: at most 1.0)\n", a / b }'

# The waiting loop's share of one core, from utime + stime in /proc/<pid>/stat
# (fields 14 and 15, after the command name in parentheses).
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
start_ours
sleep 1
before=$(cpu_ticks "$ours_pid")
sleep "$idle_seconds"
after=$(cpu_ticks "$ours_pid")
stop_ours
hz=$(getconf CLK_TCK)
awk -v t=$((after - before)) -v hz="$hz" -v s="$idle_seconds" \
  'BEGIN { printf "waiting loop: %.2f%% of one core over %d s (target: below 2%%)\n", 100 * t / hz / s, s }'
