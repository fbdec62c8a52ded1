#!/usr/bin/env bash
# The console on a real terminal: runs build/bin/condemo inside tmux (80 x 25),
# types into it with send-keys (a form, a 60-character reader burst with
# Ctrl+] separators, Alt+C, function keys, an accented letter), reads the
# screen back with capture-pane and checks characters, colours, that no key
# is lost, that __RUN returns to an intact screen, that a small terminal gets
# a message, and that the terminal is sane again when the program ends.
# Arguments: build folder, source folder.
set -u
build=${1:-build}
demo="$build/bin/condemo"
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed (CI installs it); the terminal test did not run"
  exit 0
fi
[ -x "$demo" ] || { echo "FAIL: $demo not built"; exit 1; }
demo=$(cd "$(dirname "$demo")" && pwd)/condemo

sock="condemo-test-$$"
. "$(dirname "$0")/tmux_common.bash"
cleanup() { tm kill-server >/dev/null 2>&1; }
trap cleanup EXIT

start() { start_program "$1" "$2" "$3" "'$demo'"; }

# ---------------------------------------------------------------- main run
start main 80 25
if wait_for main "Ingrese Nº Interno"; then pass "demo started"; else fail "demo did not start"; fi

# Characters: header, box drawing, Nº and accented letters in UTF-8.
s=$(screen main)
grep -qF "Control de Empaque y Traza de Productos" <<<"$s" && pass "header text" || fail "header text"
grep -qF "╔══════════════════════╗" <<<"$s" && pass "double frame" || fail "double frame"
grep -qF "║ TICKET Nº 0042       ║" <<<"$s" && pass "Nº inside the frame" || fail "Nº inside the frame"
grep -qF "│ Caja ª éáíóú ñ    │" <<<"$s" && pass "single frame and accented letters" || fail "single frame and accented letters"

# Colours of single cells (colour_at, tmux_common.bash).
check_colour() {  # row, column, expected fg/bg, what
  local got
  got=$(colour_at main "$1" "$2")
  [ "$got" = "$3" ] && pass "$4 ($got)" || fail "$4: colour at $1,$2 is $got, want $3"
}
check_colour 0 25 97/46 "header in w+/bg"
check_colour 2 60 93/41 "ticket box in gr+/r"
check_colour 2 24 91/40 "ROJO in r+/n"
check_colour 2 29 92/40 "VERDE in g+/n"
check_colour 2 35 97/44 "AZUL in w+/b"

# The entry form.
tm send-keys -t main 1234 Enter 7 Enter
if wait_for main "Ticket 1234 vendedor 7"; then pass "form read ticket and seller"; else fail "form"; fi
wait_for main "Producto" && pass "browse shown" || fail "browse not shown"

# A reader burst: 60 characters with two group separators (Ctrl+]) and Enter,
# sent four times back to back.
part1=01077981234567892112345678901
part2=1727123110LOT44
part3=91123456789012
want="${part1}@${part2}@${part3}"
[ ${#want} -eq 60 ] || fail "test burst is ${#want} characters"
burst() {
  tm send-keys -t main -l "$part1" \; send-keys -t main C-] \; send-keys -t main -l "$part2" \; \
    send-keys -t main C-] \; send-keys -t main -l "$part3" \; send-keys -t main Enter
}
burst
if wait_for main "Lectura 60: $want"; then pass "60-key burst arrived whole"; else fail "burst"; fi
burst; burst; burst
# Each Enter counts one unit on the current line: 4 scans, none lost.
if wait_for main "IBUPROFENO 400 MG X 20 #1           1    4"; then pass "four bursts back to back, no key lost"; else fail "bursts lost keys"; fi
screen main | grep -qF "Lectura 60: $want" && pass "last burst intact" || fail "last burst"

# An accented letter typed on the UTF-8 terminal arrives as its code page 850 code.
tm send-keys -t main -l "é" \; send-keys -t main Enter
wait_for main "Lectura 1: é" && pass "accented letter" || fail "accented letter"
tm send-keys -t main -l "é"
wait_for main "Tecla: 130" && pass "é is code 130" || fail "é code"
tm send-keys -t main Enter

# Key codes.
check_key() {  # tmux key name, expected code
  tm send-keys -t main "$1"
  wait_for main "Tecla: $2 " 5 && pass "key $1 is $2" || fail "key $1 should be $2"
}
check_key M-c 302
check_key M-1 376
# Alt+Enter (full screen in a window) is swallowed: no Esc, no Enter.
tm send-keys -t main M-Enter
check_key F4 -3
check_key F1 28
check_key F3 -2
check_key F10 -9
check_key S-F1 -10
check_key C-PageDown 30
check_key C-PageUp 31
check_key Home 1
check_key PageDown 3

# Ctrl with the keypad keys and mouse events, sent as the bytes an xterm
# sends for them (keypad in application mode, SGR mouse reports).
check_bytes() {  # expected code, what, hex bytes...
  local want=$1 what=$2
  shift 2
  tm send-keys -t main -H "$@"
  wait_for main "Tecla: $want " 5 && pass "$what is $want" || fail "$what should be $want"
}
sgr() { printf '1b 5b 3c'; printf ' %x' $(printf '%s' "$1" | od -An -tu1); }  # ESC [ < text
check_bytes 398 "Ctrl+keypad minus" 1b 4f 35 6d
check_bytes 400 "Ctrl+keypad plus" 1b 4f 35 6b
check_bytes 1014 "wheel forward" $(sgr "64;10;10M")
check_bytes 1015 "wheel backward" $(sgr "65;10;10M")
check_bytes 1004 "right button" $(sgr "2;10;10M")
check_bytes 1001 "mouse moved" $(sgr "35;12;10M")

# Window title.
title=$(tm display -p -t main '#{pane_title}')
[ "$title" = "Velmor 32" ] && pass "window title" || fail "window title is '$title'"

# __RUN hands the terminal over and gets it back.
tm send-keys -t main F2
wait_for main "Comando terminado: 0" && pass "__RUN returned status 0" || fail "__RUN"
s=$(screen main)
grep -qF "Control de Empaque y Traza de Productos" <<<"$s" && grep -qF "║ TICKET Nº 0042       ║" <<<"$s" &&
  grep -qF "Producto" <<<"$s" && pass "screen intact after __RUN" || fail "screen after __RUN"
grep -qF "RUN-OK" <<<"$s" && fail "command output left on the console screen" || pass "command output gone"

# Esc ends the program; the terminal is in its normal modes again.
tm send-keys -t main Escape
if wait_for main "EXIT=0"; then pass "program ended with status 0"; else fail "program did not end"; fi
wait_for main "TTY:" 5 >/dev/null
s=$(screen main)
grep -qF "kept setting: font 11x22 Lucida Console" <<<"$s" && grep -qF "kept setting: close button disabled" <<<"$s" &&
  pass "window settings the terminal cannot apply are reported" || fail "kept settings not reported"
grep -qx "TTY:icanon" <<<"$s" && grep -qx "TTY:echo" <<<"$s" && pass "terminal restored (icanon, echo)" ||
  fail "terminal not restored: $(grep TTY: <<<"$s" | tr '\n' ' ')"

# --------------------------------------------------- a terminal too small
check_small_terminal

finish "all terminal checks passed"
