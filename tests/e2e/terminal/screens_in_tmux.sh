#!/bin/sh
# Runs qab-upgrade in a private tmux server at 80x24 and answers its screens
# with keys: Enter on the warning ends the run silently with status 0; Tab,
# Enter reaches the address screen with the image's version; a bad address is
# refused with "Invalid IP Address". Every wait is bounded; the tmux server is
# always killed.
set -u
exe=$1
command -v tmux >/dev/null 2>&1 || { echo "FAIL: tmux is not installed"; exit 1; }

dir=$(mktemp -d)
. "$(dirname "$0")/../../support/tmux-lib.sh"

# Enter on the warning presses Cancel, its default button and focus.
tmux_start warning "\"$exe\""
wait_for warning "Firmware Upgrade"
wait_for warning "Continue"
t send-keys -t warning Enter
wait_exit warning
if screen warning | grep -qE "Error|Upgrade Failed|cannot talk"; then fail warning "a message was shown"; fi
echo "ok: Enter on the warning ends the run silently with status 0"

# Tab, Enter: on to the address screen; a bad address is refused.
tmux_start address "\"$exe\""
wait_for address "Continue"
t send-keys -t address Tab Enter
wait_for address "Version 3.3.6"
t send-keys -t address 1 . 2 . 3 Enter
wait_for address "Invalid IP Address"
t send-keys -t address Enter
wait_gone address "Invalid IP Address"
wait_for address "Version 3.3.6"
t send-keys -t address Escape
wait_exit address
echo "ok: the address screen shows the version and refuses a bad address; Escape ends the run"
echo "2 passed, 0 failed"
