#!/usr/bin/env bash
# The main job: a real upgrade of a simulated QAB device, in your terminal.
#
#   scripts/run.sh            builds what is missing, starts qab-device-sim at
#                             127.0.0.2 in a private network namespace and runs
#                             qab-upgrade beside it; you type the address and
#                             watch the whole upgrade to the success screen
#   scripts/run.sh --device   builds and runs qab-upgrade for a real device on
#                             your LAN (see README: it needs root or the
#                             cap_net_bind_service capability for UDP port 69)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target qab-upgrade qab-device-sim qab_sample_images >/dev/null

if [ "${1:-}" = "--device" ]; then
  exec build/app/qab-upgrade
fi

if [ ! -t 0 ] || [ ! -t 1 ]; then
  echo "scripts/run.sh runs qab-upgrade in your terminal: start it from one." >&2
  exit 1
fi

password=demo-pass
log=$(mktemp /tmp/qab-device-sim.XXXXXX.log)
cat <<TEXT
A simulated QAB device is starting at 127.0.0.2, in a private network
namespace of its own (nothing leaves this machine). Its administrator is
"admin" with the password "$password".

In qab-upgrade: Tab then Enter to continue past the warning, type 127.0.0.2
and press Enter, give the password when asked, then Enter on "Upgrade".
The device takes the firmware over TFTP and flashes it; qab-upgrade waits
about 30 seconds and then checks the version the device reports.
TEXT
printf 'Press Enter to start. '
read -r _

if [ "$(id -u)" = 0 ]; then ns="unshare -n"; else ns="unshare -rn"; fi
status=0
$ns sh -c '
  ip link set lo up
  "$1" --address 127.0.0.2 --port 80 --password "$2" --qop auth \
       --expect-image "$3" --flash-ms 5000 --verbose > "$4" 2>&1 &
  sim=$!
  i=0
  while ! grep -q "serving on" "$4" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 50 ] || { cat "$4"; exit 1; }; sleep 0.1
  done
  "$5"
  status=$?
  kill $sim 2>/dev/null
  exit $status
' run build/tools/qab-device-sim/qab-device-sim "$password" build/resources/sample-target.img "$log" \
  build/app/qab-upgrade || status=$?

echo
echo "What the simulated device saw:"
sed 's/^/  /' "$log"
rm -f "$log"
exit $status
