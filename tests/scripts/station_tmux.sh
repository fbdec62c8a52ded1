#!/usr/bin/env bash
# The station on a real terminal, started as ./scripts/demo.sh starts it: a
# demo data folder "demo" made by chk_env2 --make-demo, then
# chk_env2 --data demo, inside tmux (80 x 25).  Checks the header line and
# its colour, the entry form, types ticket 1236 and seller 7, reaches the
# ticket check (the check screen with "TICKET Nº 1236"; the demo's ticket
# 1236 was checked before, so it is rebuilt from the check log with nothing
# left to count and the check ends by itself whatever the seller may do),
# leaves it (with Esc, answering its questions, if it shows any), sees the
# form again with both fields blank, leaves with Esc and finds the process
# ended with status 0 and the terminal in its normal modes.  Then a terminal
# that is too small gets a message and the form once it is large enough.
# Arguments: build folder, source folder.
set -u
build=${1:-build}
src=${2:-.}
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed (CI installs it); the station terminal test did not run"
  exit 0
fi
bin="$build/bin/chk_env2"
[ -x "$bin" ] || { echo "FAIL: $bin not built"; exit 1; }
bin=$(cd "$(dirname "$bin")" && pwd)/chk_env2

sock="station-test-$$"
. "$(dirname "$0")/tmux_common.bash"

# The demo script must still start the station the way this test does.
demo_script="$src/scripts/demo.sh"
if grep -q 'chk_env2 --make-demo demo' "$demo_script" && grep -q 'chk_env2 --data demo' "$demo_script"; then
  pass "demo.sh makes ./demo and starts chk_env2 --data demo"
else
  fail "$demo_script no longer starts the station as this test does"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/station-tmux.XXXXXX")
cleanup() {
  tm kill-server >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

cd "$work" || exit 1
if "$bin" --make-demo demo >make-demo.log 2>&1 && [ -e demo/acceso2.dbf ]; then
  pass "demo folder made"
else
  fail "chk_env2 --make-demo demo: $(cat make-demo.log)"
  exit 1
fi

# The entry form with both fields blank: rows 5 and 6 hold only the labels.
form_blank() {
  local s
  s=$(screen "$1")
  [ "$(sed -n 6p <<<"$s" | sed 's/ *$//')" = "     Ingrese Nº Interno" ] &&
    [ "$(sed -n 7p <<<"$s" | sed 's/ *$//')" = "     Vendedor:" ]
}
start() { start_program "$1" "$2" "$3" "cd '$work' && '$bin' --data demo"; }  # as demo.sh runs it

# ------------------------------------------------------------ one check
start main 80 25
if wait_for main "Ingrese Nº Interno"; then pass "station started on the demo folder"; else fail "station did not start"; fi
s=$(screen main)
[ "$(sed -n 1p <<<"$s" | sed 's/ *$//')" = "                    Control de Empaque y Traza de Productos" ] &&
  pass "header line" || fail "header line: '$(sed -n 1p <<<"$s")'"
got=$(colour_at main 0 30)
[ "$got" = "97/46" ] && pass "header in w+/bg" || fail "header colour $got, want 97/46"
grep -qF "Vendedor:" <<<"$s" && pass "seller field label" || fail "seller field label"
got=$(colour_at main 5 5)
[ "$got" = "93/40" ] && pass "labels in gr+/n" || fail "label colour $got, want 93/40"
form_blank main && pass "form starts blank" || fail "form does not start blank"

tm send-keys -t main 1236 Enter
tm send-keys -t main 7 Enter

# The seller's password, when the seller validation asks for it (demo seller
# 7 has the password 1234).
reached=""
for _ in $(seq 1 200); do
  s=$(screen main)
  if grep -qF "TICKET Nº 1236" <<<"$s"; then reached="check screen"; break; fi
  if grep -qF "Ticket 1236, vendedor 7" <<<"$s"; then reached="stand-in message"; break; fi
  if grep -qF "Clave" <<<"$s" && ! grep -qF "*" <<<"$(sed -n 10p <<<"$s")"; then
    tm send-keys -t main 1234 Enter
    sleep 0.3
  fi
  sleep 0.05
done
if [ -n "$reached" ]; then
  pass "ticket 1236 with seller 7 reached the ticket check ($reached)"
else
  fail "the ticket check was not reached"
  screen main
fi

# Leave the check with Esc, answering yes to its questions (leave with
# products missing, leave with units not traced), until the form is back.
back=""
for _ in $(seq 1 40); do
  if form_blank main; then back=yes; break; fi
  s=$(screen main)
  if grep -qF "Sale De Todos Modos?" <<<"$s"; then
    tm send-keys -t main S Enter
  elif ! grep -qF "Ingrese Nº Interno" <<<"$s" || grep -qF "TICKET Nº" <<<"$s" ||
    grep -qF "Ticket 1236, vendedor 7" <<<"$s"; then
    tm send-keys -t main Escape
  fi
  sleep 0.5
done
[ -n "$back" ] && pass "Esc left the check; the form is back with both fields blank" ||
  { fail "the form did not come back"; screen main; }

tm send-keys -t main Escape
if wait_for main "EXIT=0"; then pass "Esc in the form ended the station with status 0"; else fail "station did not end"; fi
wait_for main "TTY:" 5 >/dev/null
s=$(screen main)
grep -qx "TTY:icanon" <<<"$s" && grep -qx "TTY:echo" <<<"$s" && pass "terminal restored (icanon, echo)" ||
  fail "terminal not restored: $(grep TTY: <<<"$s" | tr '\n' ' ')"
grep -qF "Ingrese Nº Interno" <<<"$s" && fail "the station's screen was left on the terminal" ||
  pass "the shell's screen is back"

# ------------------------------------------------- a terminal too small
check_small_terminal

finish "all station terminal checks passed"
