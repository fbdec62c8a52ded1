#!/usr/bin/env bash
# chk_env2.exe in wine's console inside tmux (80 x 25) on the demo folder:
# the header and the entry form show, ticket 1234 of seller 7 (password
# 1234) opens its check, a burst of three scans sent at once is counted
# whole, and Esc (with "S" to leave with products missing) ends the station
# with status 0.
# Arguments: Windows build folder, source folder, Linux build folder.
. "$(dirname "$0")/common.bash"
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed; wine's console was not tried"
  exit 0
fi
work=$(mktemp -d)
sock="wine-station-$$"
tm() { tmux -L "$sock" "$@"; }
trap 'tm kill-server >/dev/null 2>&1; rm -rf "$work"' EXIT
screen() { tm capture-pane -t main -p; }
wait_for() {  # text, seconds (default 20)
  local i
  for i in $(seq 1 $((${2:-20} * 10))); do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  echo "--- screen while waiting for: $1"; screen; echo "---"
  return 1
}

wine "$win/bin/chk_env2.exe" --make-demo "$(winepath -w "$work/demo" 2>/dev/null)" >/dev/null 2>&1 ||
  { echo "FAIL: chk_env2.exe --make-demo"; exit 1; }
tm new-session -d -s main -x 80 -y 25 \
  "cd '$work/demo' && env TERM=xterm-256color LANG=C.UTF-8 wine '$win/bin/chk_env2.exe'; echo EXIT=\$?; sleep 60"
wait_for "Ingrese Nº Interno" 60 && pass "entry form" || fail "no entry form"
[ "$(screen | sed -n 1p | sed 's/ *$//')" = "                    Control de Empaque y Traza de Productos" ] &&
  pass "header line" || fail "header line: '$(screen | sed -n 1p)'"
tm send-keys -t main 1234 Enter
sleep 0.5
tm send-keys -t main 7 Enter
wait_for "Clave" && tm send-keys -t main 1234 Enter
wait_for "TICKET Nº 1234" && pass "the check of ticket 1234" || fail "the check did not open"
tm send-keys -t main -l 7790000001017 \; send-keys -t main Enter \; send-keys -t main -l 7790000001017 \; \
  send-keys -t main Enter \; send-keys -t main -l 7790000001031 \; send-keys -t main Enter
sleep 3
s=$(screen)
grep -qE "^IBUPROFENO 400 +2 +2 +7790000001017" <<<"$s" && grep -qE "^PARACETAMOL 1 G +1 +1 +7790000001031" <<<"$s" &&
  pass "a burst of three scans counted whole" || { fail "the burst was not counted whole"; echo "$s"; }
for _ in $(seq 1 10); do
  s=$(screen)
  grep -q "EXIT=" <<<"$s" && break
  if grep -qF "Sale De Todos Modos?" <<<"$s"; then tm send-keys -t main S Enter; else tm send-keys -t main Escape; fi
  sleep 2
done
wait_for "EXIT=0" 10 && pass "Esc ended the station with status 0" || fail "the station did not end on Esc"
finish
