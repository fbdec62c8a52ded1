#!/usr/bin/env bash
# The seller validation on a real terminal: the station (chk_env2 on a demo
# folder) inside tmux (80 x 25).  Seller 7 types the password 1234 into the
# password box (only stars are shown) and the ticket check starts; seller 12
# types a wrong password and stays in the form; Esc ends the station with
# the terminal restored.  Then Alt+C closes the station from a waiting
# message box, writing the close log.
# Arguments: build folder, source folder.
set -u
export LC_ALL=C.UTF-8
build=${1:-build}
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed (CI installs it); the access terminal test did not run"
  exit 0
fi
bin="$build/bin/chk_env2"
[ -x "$bin" ] || { echo "FAIL: $bin not built"; exit 1; }
bin=$(cd "$(dirname "$bin")" && pwd)/chk_env2

sock="access-test-$$"
tm() { tmux -L "$sock" "$@"; }
work=$(mktemp -d "${TMPDIR:-/tmp}/access-tmux.XXXXXX")
cleanup() {
  tm kill-server >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
screen() { tm capture-pane -t "$1" -p; }
# Line $2 (from 0) of the screen of session $1.
line() { screen "$1" | sed -n "$(($2 + 1))p"; }
# $4 characters of line $2 from column $3 (from 0).
cells() {
  local l
  l=$(line "$1" "$2")
  l="$l$(printf '%80s' '')"
  echo "${l:$3:$4}"
}

# Waits until the screen of session $1 contains the fixed text $2, at most $3
# seconds (default 10); shows the screen when it does not come.
wait_for() {
  local s=$1 text=$2 limit=${3:-10} i=0
  while [ $i -lt $((limit * 20)) ]; do
    if screen "$s" | grep -qF -- "$text"; then return 0; fi
    sleep 0.05
    i=$((i + 1))
  done
  echo "--- screen of $s while waiting for: $text"
  screen "$s"
  echo "---"
  return 1
}
# Waits until the screen of session $1 no longer contains $2.
wait_gone() {
  local s=$1 text=$2 limit=${3:-10} i=0
  while [ $i -lt $((limit * 20)) ]; do
    if ! screen "$s" | grep -qF -- "$text"; then return 0; fi
    sleep 0.05
    i=$((i + 1))
  done
  return 1
}

start() {  # session
  tm new-session -d -s "$1" -x 80 -y 25 \
    "env LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM=xterm-256color '$bin' --data '$work/demo'; echo EXIT=\$?; stty -a | tr ' ;' '\n\n' | grep -x -e '-\\?icanon' -e '-\\?echo' | sed 's/^/TTY:/'; sleep 60"
  tm set-option -t "$1" window-size manual >/dev/null 2>&1 || true
}

if "$bin" --make-demo "$work/demo" >"$work/make-demo.log" 2>&1; then
  pass "demo folder made"
else
  fail "chk_env2 --make-demo: $(cat "$work/make-demo.log")"
  exit 1
fi

# ------------------------------------------------ a seller with a password
start main
wait_for main "Ingrese Nº Interno" && pass "station started" || fail "station did not start"
tm send-keys -t main 1234 Enter
tm send-keys -t main 7 Enter
if wait_for main "F1Cam"; then pass "password box of seller 7"; else fail "no password box"; fi
[ "$(cells main 8 52 5)" = "Clave" ] && pass "\"Clave\" on the box's top edge" || fail "box top: '$(line main 8)'"
tm send-keys -t main 12
wait_for main "**" 5 >/dev/null
got=$(cells main 9 52 5)
[ "$got" = "**   " ] && pass "typed characters show as stars" || fail "password entry shows '$got'"
tm send-keys -t main 34 Enter
if wait_gone main "F1Cam"; then pass "password box closed"; else fail "password box stays"; fi
reached=""
for _ in $(seq 1 100); do
  s=$(screen main)
  if grep -qF "TICKET Nº 1234" <<<"$s" || grep -qF "Ticket 1234, vendedor 7" <<<"$s"; then reached=yes; break; fi
  sleep 0.05
done
[ -n "$reached" ] && pass "seller 7 validated: the ticket check started" || { fail "the check did not start"; screen main; }

# Back to the form: Esc out of the check, answering yes to its questions.
back=""
for _ in $(seq 1 40); do
  s=$(screen main)
  if [ "$(line main 6 | sed 's/ *$//')" = "     Vendedor:" ] && ! grep -qF "TICKET Nº" <<<"$s" &&
    ! grep -qF "Ticket 1234, vendedor 7" <<<"$s"; then
    back=yes
    break
  fi
  if grep -qF "Sale De Todos Modos?" <<<"$s"; then tm send-keys -t main S Enter; else tm send-keys -t main Escape; fi
  sleep 0.5
done
[ -n "$back" ] && pass "the form is back" || { fail "the form did not come back"; screen main; }

# ------------------------------------------------------ a wrong password
tm send-keys -t main 1234 Enter
tm send-keys -t main 12 Enter
wait_for main "F1Cam" && pass "password box of seller 12" || fail "no password box for seller 12"
tm send-keys -t main 9999 Enter
if wait_gone main "F1Cam"; then pass "wrong password: box closed"; else fail "box stays after a wrong password"; fi
sleep 0.5
s=$(screen main)
if grep -qF "TICKET Nº" <<<"$s" || grep -qF "vendedor 12" <<<"$s"; then
  fail "a wrong password started the check"
else
  pass "a wrong password is refused"
fi
[ "$(cells main 6 15 4)" = "  12" ] && pass "the form stays on seller 12" || fail "seller field: '$(line main 6)'"

tm send-keys -t main Escape
if wait_for main "EXIT=0"; then pass "Esc ended the station with status 0"; else fail "station did not end"; fi
wait_for main "TTY:" 5 >/dev/null
s=$(screen main)
grep -qx "TTY:icanon" <<<"$s" && grep -qx "TTY:echo" <<<"$s" && pass "terminal restored (icanon, echo)" ||
  fail "terminal not restored: $(grep TTY: <<<"$s" | tr '\n' ' ')"

# ------------------------------------------ Alt+C while a message box waits
# Seller 7 checks ticket 1234 and scans the same traceable unit twice: the
# second scan is refused in a three-line box that waits for a key.  Alt+C
# there asks "Cierra Velmor???"; "S" writes the close log and ends the
# station with the terminal restored.
amox=$("$build/bin/dbftool" dump "$work/demo/producto.dbf" | python3 -c '
import json, sys
for line in sys.stdin:
    v = json.loads(line)["values"]
    if v["CODIGO"] == "0000102":
        print(int(v["CODVAR"]))
')
[ -n "$amox" ] || fail "demo barcode of 0000102 not read"
start altc
wait_for altc "Ingrese Nº Interno" && pass "station started again" || fail "station did not start again"
tm send-keys -t altc 1234 Enter
tm send-keys -t altc 7 Enter
wait_for altc "F1Cam" >/dev/null || fail "no password box"
tm send-keys -t altc 1234 Enter
wait_for altc "TICKET Nº 1234" 15 && pass "check of ticket 1234 started" || fail "check not started"
unit() {
  tm send-keys -t altc -l "010${amox}21ALTC0001" \; send-keys -t altc C-] \; \
    send-keys -t altc -l "1728123110L0T1" \; send-keys -t altc Enter
}
unit
wait_for altc "Ingresado" && tm send-keys -t altc S Enter || fail "first scan: no question"
wait_gone altc "Ingresado" || fail "first scan: question stays"
unit
wait_for altc "Ingresado" && tm send-keys -t altc S Enter || fail "second scan: no question"
if wait_for altc "Ya Habia Sido Pasado"; then pass "the same unit again: refused in a box"; else fail "no box for the same unit"; fi
tm send-keys -t altc M-c
if wait_for altc "Cierra Velmor???"; then pass "Alt+C asks before closing"; else fail "Alt+C: no question"; fi
tm send-keys -t altc S Enter
if wait_for altc "EXIT=0" 15; then pass "Alt+C closed the station with status 0"; else fail "Alt+C did not close the station"; fi
wait_for altc "TTY:" 5 >/dev/null
s=$(screen altc)
grep -qx "TTY:icanon" <<<"$s" && grep -qx "TTY:echo" <<<"$s" && pass "terminal restored after Alt+C (icanon, echo)" ||
  fail "terminal not restored after Alt+C: $(grep TTY: <<<"$s" | tr '\n' ' ')"
log="$work/demo/log_altc.txt"
if [ -f "$log" ]; then
  # One close: a blank line, the heading, a blank line, the close line (date,
  # time, seller in 4, machine), then the chain of routines, innermost first;
  # every line ends in CR LF.
  body=$(tr -d '\r' <"$log")
  [ "$(sed -n 2p <<<"$body")" = "Fecha | Hora | Vddr | PtoVta" ] && pass "close log heading" || fail "close log heading: $(sed -n 2p <<<"$body")"
  sed -n 4p <<<"$body" | grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{2}\|[0-9]{2}:[0-9]{2}:[0-9]{2}\|   7\|55$' &&
    pass "close line: date, time, seller 7, machine 55" || fail "close line: $(sed -n 4p <<<"$body")"
  chain=$(grep -o '^Llamada desde: [A-Z_0-9]*' <<<"$body" | sed 's/^Llamada desde: //' | tr '\n' ' ')
  [ "$chain" = "CARTEL_3 FUNCION PRINCI MAIN " ] && pass "routine chain: $chain" || fail "routine chain: '$chain'"
  [ "$(grep -c $'\r$' "$log")" -eq "$(wc -l <"$log")" ] && pass "close log lines end in CR LF" || fail "close log line ends"
else
  fail "no close log written"
fi

[ "$failures" -eq 0 ] && echo "all passed" || echo "$failures failed"
exit $((failures > 0))
