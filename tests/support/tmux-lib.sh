# Shell functions for driving a terminal program in a private tmux server.
# Source it after setting `dir` to a fresh temporary folder; every wait is
# bounded, and the server is killed when the script exits.
#   tmux_start NAME COMMAND...   run COMMAND in an 80x24 session NAME
#   wait_for NAME TEXT [SECONDS] wait_gone NAME TEXT [SECONDS]
#   wait_exit NAME [SECONDS]     the program ended with status 0
#   screen NAME                  what the terminal shows now
sock="$dir/tmux.socket"
conf="$dir/tmux.conf"
trap 'tmux -S "$sock" kill-server >/dev/null 2>&1; rm -rf "$dir"' EXIT
trap 'exit 1' INT TERM HUP
# Keep a pane whose program ended, so what it left can be read.
echo "set -g remain-on-exit on" > "$conf"

t() { tmux -S "$sock" -f "$conf" "$@"; }
screen() { t capture-pane -p -t "$1"; }
fail() {
  echo "FAIL: $2"
  echo "--- the terminal:"
  screen "$1"
  exit 1
}
tmux_start() {
  name=$1
  shift
  # The program runs under a shell that writes down its exit status.
  printf '%s\necho $? > "%s/%s.status"\n' "$*" "$dir" "$name" > "$dir/$name.run"
  t new-session -d -s "$name" -x 80 -y 24 "sh $dir/$name.run" || { echo "FAIL: tmux did not start"; exit 1; }
}
wait_for() {
  i=0
  limit=$(( ${3:-10} * 10 ))
  while [ $i -lt $limit ]; do
    screen "$1" | grep -qF -- "$2" && return 0
    sleep 0.1
    i=$((i + 1))
  done
  fail "$1" "\"$2\" did not appear"
}
wait_gone() {
  i=0
  limit=$(( ${3:-10} * 10 ))
  while [ $i -lt $limit ]; do
    screen "$1" | grep -qF -- "$2" || return 0
    sleep 0.1
    i=$((i + 1))
  done
  fail "$1" "\"$2\" stayed"
}
wait_exit() {
  i=0
  limit=$(( ${2:-10} * 10 ))
  while [ $i -lt $limit ]; do
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

# tmux_start_checked NAME COMMAND...: like tmux_start, and notes the terminal
# modes before and after the program, for check_terminal_clean.
tmux_start_checked() {
  name=$1
  shift
  {
    echo "stty -g > \"$dir/$name.stty-before\""
    echo "$*"
    echo "echo \$? > \"$dir/$name.status\""
    echo "stty -g > \"$dir/$name.stty-after\""
    echo "echo END-OF-RUN"
    # The shell stays, so the pane is read as the user would see it: tmux
    # hides the cursor of a pane whose program has gone.
    echo "sleep 120"
  } > "$dir/$name.run"
  t new-session -d -s "$name" -x 80 -y 24 "sh $dir/$name.run" || { echo "FAIL: tmux did not start"; exit 1; }
}

# check_terminal_clean NAME: after the program has ended, the terminal is as
# it was: the same modes, the normal screen back with the cursor shown, and
# nothing of the program's drawing or attributes left on it. The scrollback
# counts too: tmux scrolls the last lines up when it notes the pane's end.
check_terminal_clean() {
  i=0
  until t capture-pane -p -S -200 -t "$1" | grep -q END-OF-RUN; do
    i=$((i + 1))
    [ $i -lt 50 ] || fail "$1" "the shell did not go on after the program"
    sleep 0.1
  done
  cmp -s "$dir/$1.stty-before" "$dir/$1.stty-after" || fail "$1" "the terminal modes were not restored"
  flags=$(t display -p -t "$1" '#{alternate_on} #{cursor_flag}')
  [ "$flags" = "0 1" ] || fail "$1" "alternate screen and cursor flags are '$flags', not '0 1'"
  if t capture-pane -p -S -200 -t "$1" | grep -q '[┌└│]'; then fail "$1" "the program's drawing was left on the screen"; fi
  if t capture-pane -p -e -S -200 -t "$1" | grep END-OF-RUN | grep -q "$(printf '\033')"; then
    fail "$1" "attributes were left on after the program"
  fi
}
