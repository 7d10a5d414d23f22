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
# A private server on a socket of our own, gone with the folder.
sock="$dir/tmux.socket"
conf="$dir/tmux.conf"
trap 'tmux -S "$sock" kill-server >/dev/null 2>&1; rm -rf "$dir"' EXIT
trap 'exit 1' INT TERM HUP
# Keep a pane whose program ended, so what it left can be read.
echo "set -g remain-on-exit on" > "$conf"
# The program runs under a shell that writes down its exit status.
printf '"%s"\necho $? > "%s/$1.status"\n' "$exe" "$dir" > "$dir/run"

t() { tmux -S "$sock" -f "$conf" "$@"; }
screen() { t capture-pane -p -t "$1"; }
fail() {
  echo "FAIL: $2"
  echo "--- the terminal:"
  screen "$1"
  exit 1
}
# wait_for SESSION TEXT: up to 10 s for TEXT to appear.
wait_for() {
  i=0
  while [ $i -lt 100 ]; do
    screen "$1" | grep -qF -- "$2" && return 0
    sleep 0.1
    i=$((i + 1))
  done
  fail "$1" "\"$2\" did not appear"
}
# wait_gone SESSION TEXT: up to 10 s for TEXT to go.
wait_gone() {
  i=0
  while [ $i -lt 100 ]; do
    screen "$1" | grep -qF -- "$2" || return 0
    sleep 0.1
    i=$((i + 1))
  done
  fail "$1" "\"$2\" stayed"
}
# wait_exit SESSION: up to 10 s for the program to end; checks status 0.
wait_exit() {
  i=0
  while [ $i -lt 100 ]; do
    if [ -s "$dir/$1.status" ]; then
      status=$(cat "$dir/$1.status")
      [ "$status" = 0 ] && return 0
      fail "$1" "exit status $status, not 0"
    fi
    sleep 0.1
    i=$((i + 1))
  done
  fail "$1" "the program did not end"
}

# Enter on the warning presses Cancel, its default button and focus.
t new-session -d -s warning -x 80 -y 24 "sh $dir/run warning" || { echo "FAIL: tmux did not start"; exit 1; }
wait_for warning "Firmware Upgrade"
wait_for warning "Continue"
t send-keys -t warning Enter
wait_exit warning
if screen warning | grep -qE "Error|Upgrade Failed|cannot talk"; then fail warning "a message was shown"; fi
echo "ok: Enter on the warning ends the run silently with status 0"

# Tab, Enter: on to the address screen; a bad address is refused.
t new-session -d -s address -x 80 -y 24 "sh $dir/run address"
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
