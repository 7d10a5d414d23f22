#!/bin/sh
# qab-device-sim's TFTP side as people run it: after a trigger sent with curl
# it fetches the image from tftpd-hpa, checks it against --expect-image, is
# away while flashing and comes back on another address with the image's
# version. Skips (77) without tftpd-hpa.
# Usage: command_tftp_test.sh QAB_DEVICE_SIM CURL IN_TFTPD IMAGE   (inside a private network namespace)
set -u
sim=$1
curl=$2
tftpd=$3
image=$4
[ -x "$tftpd" ] || { echo "in.tftpd is not installed"; exit 77; }
work=$(mktemp -d)
sim_pid=
tftpd_pid=
trap 'test -n "$sim_pid" && kill -9 $sim_pid 2>/dev/null; test -n "$tftpd_pid" && kill -9 $tftpd_pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/out" >&2; exit 1; }
wait_for() {  # wait_for TEXT FILE: at most 20 s
  tries=0
  until grep -qF -- "$1" "$2"; do
    tries=$((tries + 1))
    test $tries -le 200 || fail "never saw: $1"
    sleep 0.1
  done
}

"$sim" --help >"$work/help" || fail "--help exits with $?"
grep -q -- "--expect-image FILE" "$work/help" || fail "--help does not describe --expect-image"
grep -q -- "--reboot-at-block N" "$work/help" || fail "--help does not describe the TFTP faults"
"$sim" --stray nonsense 2>/dev/null
test $? -eq 2 || fail "an unknown stray kind does not exit with 2"

mkdir "$work/root" && chmod 755 "$work/root"
cp "$image" "$work/root/qab9c1.bi1" && chmod 644 "$work/root/qab9c1.bi1"
"$tftpd" -L -4 -s -u "$(id -un)" -a :6969 "$work/root" &
tftpd_pid=$!

: >"$work/out"
"$sim" --address 127.0.0.2 --expect-image "$image" --flash-ms 300 --address-after-flash 127.0.0.3 \
  --duplicate-acks >"$work/out" &
sim_pid=$!
wait_for "serving on 127.0.0.2:80" "$work/out"

code=$("$curl" -s --max-time 10 -o /dev/null -w '%{http_code}' "http://127.0.0.2/admin/upgrade?tftp://127.0.0.1:6969/qab9c1.bi1")
test "$code" = 200 || fail "the trigger: $code"
wait_for "upgrade: flashed; now reporting version 3.3.6" "$work/out"
grep -q "upgrade: fetch completed: 1074589 bytes in 2099 blocks, last 413 bytes" "$work/out" || fail "the fetch's outcome"
grep -q "matches the expected image" "$work/out" || fail "the image was not compared"
"$curl" -s --max-time 10 -o "$work/page" http://127.0.0.3/admin/advanced || fail "not back on 127.0.0.3"
grep -q "<td>Software Version:</td><td>3.3.6</td>" "$work/page" || fail "the page does not report 3.3.6"

kill -TERM $sim_pid
wait $sim_pid
status=$?
sim_pid=
test $status -eq 0 || fail "exit status $status after SIGTERM"
echo "qab-device-sim TFTP side: ok"
