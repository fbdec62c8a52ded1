# Helpers of the terminal tests, sourced by them: tmux on the test's own
# socket (set `sock` first), the screen read back plain or with colours,
# waiting for a text, the colour of one cell, and counting the checks.
# Not a test itself (only tests/scripts/*.sh run as tests).

tm() { tmux -L "$sock" "$@"; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Screen text (plain) or with colours (-e) of a session.
screen() { tm capture-pane -t "$1" -p; }
screen_e() { tm capture-pane -t "$1" -p -e; }

# Starts `command` in a new session $1 of $2 x $3 cells on a UTF-8 terminal;
# when it ends, "EXIT=<status>" and the terminal's icanon and echo modes
# ("TTY:icanon" or "TTY:-icanon", ...) are printed and the pane stays.
start_program() {  # session, width, height, command
  tm new-session -d -s "$1" -x "$2" -y "$3" \
    "env LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM=xterm-256color sh -c \"$4\"; echo EXIT=\$?; stty -a | tr ' ;' '\n\n' | grep -x -e '-\\?icanon' -e '-\\?echo' | sed 's/^/TTY:/'; sleep 60"
  tm set-option -t "$1" window-size manual >/dev/null 2>&1 || true
}

# Waits until the screen of session $1 contains the fixed text $2, at most $3
# seconds (default 10); shows the screen when it does not come.
wait_for() {
  local s=$1 text=$2 limit=${3:-10} i=0
  local tries=$((limit * 20))
  while [ $i -lt $tries ]; do
    if screen "$s" | grep -qF -- "$text"; then return 0; fi
    sleep 0.05
    i=$((i + 1))
  done
  echo "--- screen of $s while waiting for: $text"
  screen "$s"
  echo "---"
  return 1
}

# Colour of one cell, read from capture-pane -e: "fg/bg" as SGR numbers (97
# bright white, 46 cyan, ...; "c<n>" for a 256-colour index).
colour_at() {  # session, row, column (from 0)
  screen_e "$1" | python3 -c '
import re, sys
row, col = int(sys.argv[1]), int(sys.argv[2])
line = sys.stdin.read().split("\n")[row]
fg, bg, x = "39", "49", 0
for m in re.finditer(r"\x1b\[([0-9;]*)m|([^\x1b])", line):
    if m.group(2) is not None:
        if x == col:
            print(fg + "/" + bg); sys.exit(0)
        x += 1
        continue
    codes = [c for c in m.group(1).split(";") if c] or ["0"]
    i = 0
    while i < len(codes):
        c = int(codes[i])
        if c == 0: fg, bg = "39", "49"
        elif 30 <= c <= 39 or 90 <= c <= 97: fg = str(c)
        elif 40 <= c <= 49 or 100 <= c <= 107: bg = str(c)
        elif c in (38, 48) and i + 2 < len(codes):
            if c == 38: fg = "c" + codes[i + 2]
            else: bg = "c" + codes[i + 2]
            i += 2
        i += 1
print("none")
' "$2" "$3"
}

# A terminal of 60 x 20 gets the message that 25 x 80 are needed; made 80 x
# 25, it shows the entry form, and Esc there ends the program with status 0.
# Uses the test's start() (session, width, height).
check_small_terminal() {
  start small 60 20
  if wait_for small "Terminal too small: 25 x 80 needed."; then pass "small terminal gets a message"; else fail "small terminal"; fi
  tm resize-window -t small -x 80 -y 25
  if wait_for small "Ingrese Nº Interno"; then pass "form drawn once the terminal is large enough"; else fail "after resize"; fi
  tm send-keys -t small Escape
  wait_for small "EXIT=0" && pass "left the form with Esc" || fail "Esc in the form"
}

# The end of a test: its status from the failed checks.
finish() {
  if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "$1"
  exit 0
}
