#!/bin/sh
# qab-device-sim as people run it: --help, a bad option, then serving a
# protected page that curl reads, until SIGTERM ends it with status 0.
# Usage: command_test.sh QAB_DEVICE_SIM CURL   (inside a private network namespace)
set -u
sim=$1
curl=$2
work=$(mktemp -d)
pid=
trap 'test -n "$pid" && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$sim" --help >"$work/help" || fail "--help exits with $?"
grep -q -- "--address A.B.C.D" "$work/help" || fail "--help does not describe --address"
"$sim" --no-such-option 2>/dev/null
test $? -eq 2 || fail "a bad option does not exit with 2"

"$sim" --address 127.0.0.2 --port 80 --password s3cret --qop auth --serial-number SIM-CMD-7 >"$work/out" &
pid=$!
tries=0
until grep -q "serving on 127.0.0.2:80" "$work/out"; do
  tries=$((tries + 1))
  test $tries -le 100 || fail "not serving after 10 s"
  sleep 0.1
done

code=$("$curl" -s --max-time 10 -o "$work/page" -w '%{http_code}' http://127.0.0.2/admin/advanced)
test "$code" = 401 || fail "without a password: $code"
code=$("$curl" -s --max-time 10 --digest -u admin:s3cret -o "$work/page" -w '%{http_code}' http://127.0.0.2/admin/advanced)
test "$code" = 200 || fail "with the password: $code"
grep -q "<td>Serial Number:</td><td>SIM-CMD-7</td>" "$work/page" || fail "the page lacks the serial number"
code=$("$curl" -s --max-time 10 --digest -u admin:wrong -o /dev/null -w '%{http_code}' http://127.0.0.2/admin/advanced)
test "$code" = 401 || fail "with a wrong password: $code"

kill -TERM $pid
tries=0
while kill -0 $pid 2>/dev/null; do
  tries=$((tries + 1))
  test $tries -le 50 || fail "still running 5 s after SIGTERM"
  sleep 0.1
done
wait $pid
status=$?
pid=
test $status -eq 0 || fail "exit status $status after SIGTERM"
echo "qab-device-sim command: ok"
