#!/bin/sh
# qab-upgrade in an 80x24 tmux terminal against qab-device-sim protected by a
# password, from the first screen to the confirm screen, whose five fields
# are read off the terminal. Runs inside a private network namespace.
set -u
exe=$1
sim=$2
command -v tmux >/dev/null 2>&1 || { echo "FAIL: tmux is not installed"; exit 1; }

dir=$(mktemp -d)
. "$(dirname "$0")/../../support/tmux-lib.sh"
trap 'kill $sim_pid 2>/dev/null; tmux -S "$sock" kill-server >/dev/null 2>&1; rm -rf "$dir"' EXIT

"$sim" --address 127.0.0.2 --port 80 --password "tmux-pw" --qop auth \
  --product-name QABX900-E2E --mac-address 02:00:00:AA:BB:CC --software-version 3.3.4 \
  --hardware-version HW-7 --serial-number SN-TMUX-1 > "$dir/sim.log" 2>&1 &
sim_pid=$!
i=0
until curl -s -o /dev/null http://127.0.0.2/admin/advanced; do
  i=$((i + 1))
  [ $i -lt 50 ] || { echo "FAIL: the simulated device did not start"; cat "$dir/sim.log"; exit 1; }
  sleep 0.1
done

tmux_start upgrade "\"$exe\""
wait_for upgrade "Continue"
t send-keys -t upgrade Tab Enter
wait_for upgrade "Version 3.3.6"
t send-keys -t upgrade 1 2 7 . 0 . 0 . 2 Enter
wait_for upgrade "Enter Password Information"
wait_for upgrade "admin"
t send-keys -t upgrade -l "tmux-pw"
t send-keys -t upgrade Enter
wait_for upgrade "Confirm Upgrade to Ver. 3.3.6"
for field in QABX900-E2E 02:00:00:AA:BB:CC 3.3.4 HW-7 SN-TMUX-1; do
  wait_for upgrade "$field" 2
done
echo "ok: the confirm screen shows the five fields of the protected device"

# Cancel on the confirm screen: the abort message, then the end with status 0.
t send-keys -t upgrade Escape
wait_for upgrade "Upgrade Failed: User Abort"
t send-keys -t upgrade Enter
wait_exit upgrade
echo "ok: Cancel on the confirm screen ends the run with status 0"
