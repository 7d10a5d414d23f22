#!/bin/sh
# One whole upgrade, as a user gets it: qab-upgrade in an 80x24 tmux terminal
# against qab-device-sim, in real time (each pass waits 30 s for flashing),
# inside a private network namespace. Usage: upgrade_in_tmux.sh SCENARIO
# UPGRADER TWO_STAGE_UPGRADER SIMULATOR TARGET_IMAGE, with SCENARIO one of
# plain, protected, two-stage, mismatch, cancel-waiting.
set -u
scenario=$1 upgrader=$2 two_stage=$3 sim=$4 image=$5
command -v tmux >/dev/null 2>&1 || { echo "FAIL: tmux is not installed"; exit 1; }

dir=$(mktemp -d)
. "$(dirname "$0")/../../support/tmux-lib.sh"
trap 'kill $sim_pid 2>/dev/null; tmux -S "$sock" kill-server >/dev/null 2>&1; rm -rf "$dir"' EXIT

exe=$upgrader
sim_args="--expect-image $image --flash-ms 2000"
case $scenario in
  plain) ;;
  protected) sim_args="$sim_args --password first-pw --qop auth --password-after-flash second-pw" ;;
  two-stage) exe=$two_stage sim_args="--software-version 3.2.0 --flash-ms 2000" ;;
  mismatch) sim_args="$sim_args --version-after-flash 3.3.5" ;;
  cancel-waiting) sim_args="--no-fetch" ;;
  *) echo "FAIL: unknown scenario $scenario"; exit 1 ;;
esac

# shellcheck disable=SC2086
"$sim" --address 127.0.0.2 --port 80 --verbose $sim_args > "$dir/sim.log" 2>&1 &
sim_pid=$!
i=0
until curl -s -o /dev/null http://127.0.0.2/admin/advanced; do
  i=$((i + 1))
  [ $i -lt 50 ] || { echo "FAIL: the simulated device did not start"; cat "$dir/sim.log"; exit 1; }
  sleep 0.1
done
sim_saw() { grep -qF -- "$1" "$dir/sim.log" || { echo "FAIL: the device did not see: $1"; cat "$dir/sim.log"; exit 1; }; }

tmux_start_checked u "\"$exe\""
wait_for u "Continue"
t send-keys -t u Tab Enter
wait_for u "Version 3.3.6"
t send-keys -t u 1 2 7 . 0 . 0 . 2 Enter
if [ "$scenario" = protected ]; then
  wait_for u "Enter Password Information"
  t send-keys -t u -l first-pw
  t send-keys -t u Enter
fi
wait_for u "Confirm Upgrade to Ver. 3.3.6"
[ "$scenario" = two-stage ] && wait_for u "older than 3.3.1"
t send-keys -t u Enter

case $scenario in
  cancel-waiting)
    wait_for u "Waiting For Firmware Download Request From QAB"
    wait_gone u "Connecting with"
    t send-keys -t u Escape
    wait_for u "Upgrade Failed: User Abort"
    t send-keys -t u Enter
    wait_exit u
    sim_saw "upgrade requested: tftp://127.0.0.1:69/qab"
    ;;
  mismatch)
    wait_for u "Upgrade Failed: Version not matching" 60
    if screen u | grep -q "Successful"; then fail u "a success screen with a mismatch"; fi
    t send-keys -t u Enter
    wait_exit u
    sim_saw "matches the expected image"
    ;;
  *)
    if [ "$scenario" = protected ]; then
      # After flashing the device asks again, with its new password.
      wait_for u "Enter Password Information" 60
      t send-keys -t u -l second-pw
      t send-keys -t u Enter
    fi
    limit=60
    [ "$scenario" = two-stage ] && limit=120
    wait_for u "QAB@127.0.0.2 Upgrade Successful!" $limit
    wait_for u "3.3.6" 2
    t send-keys -t u Enter
    wait_exit u
    if [ "$scenario" = two-stage ]; then
      sim_saw "fetch completed: 524388 bytes"
      sim_saw "fetch completed: 1074589 bytes"
      first=$(grep -o 'upgrade requested: tftp://[^ ]*' "$dir/sim.log" | sed -n 1p)
      second=$(grep -o 'upgrade requested: tftp://[^ ]*' "$dir/sim.log" | sed -n 2p)
      case $first in *.bi0) ;; *) echo "FAIL: first request $first"; exit 1 ;; esac
      case $second in *.bi1) ;; *) echo "FAIL: second request $second"; exit 1 ;; esac
      [ "${first%/*}" = "${second%/*}" ] || { echo "FAIL: the passes used other ports: $first $second"; exit 1; }
    else
      sim_saw "matches the expected image"
    fi
    ;;
esac
check_terminal_clean u
echo "ok: $scenario"
