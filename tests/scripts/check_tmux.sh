#!/usr/bin/env bash
# The typical ticket checked on a real terminal: the station runs inside tmux
# (80 x 25) on a demo folder made in a temporary folder, started as README.md
# says (chk_env2 --data DIR TICKET SELLER); packages are scanned as a reader
# sends them (a burst of characters, Ctrl+] for the group separator, Enter);
# the screen is read back with capture-pane (line colours, status line) and
# the check log with dbftool dump.  Then the same ticket is called again:
# rebuilt from the log it is complete at once and shows "OK!!!".
# Arguments: build folder, source folder.
set -u
build=${1:-build}
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed (CI installs it); the check terminal test did not run"
  exit 0
fi
bin=$(cd "$build/bin" 2>/dev/null && pwd) || { echo "FAIL: $build/bin missing"; exit 1; }
station="$bin/chk_env2"
dbftool="$bin/dbftool"
[ -x "$station" ] && [ -x "$dbftool" ] || { echo "FAIL: chk_env2 or dbftool not built"; exit 1; }

sock="check-test-$$"
. "$(dirname "$0")/tmux_common.bash"

work=$(mktemp -d "${TMPDIR:-/tmp}/check-tmux.XXXXXX")
cleanup() {
  tm kill-server >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# The demo folder, the site's folders for the comptes file and the voucher,
# and a print program that only records its argument.
"$station" --make-demo "$work/demo" >/dev/null || { echo "FAIL: demo folder not made"; exit 1; }
mkdir -p "$work/s/qumar/comptes_tz" "$work/root/VLM/TMP"
printf '#!/bin/sh\necho "$1" >> "%s/printed"\n' "$work" >"$work/demo/i_n_fisc"
chmod +x "$work/demo/i_n_fisc"

start() {  # session
  start_program "$1" 80 25 "cd '$work' && DRIVE_S='$work/s' DRIVE_ROOT='$work/root' '$station' --data '$work/demo' 1234 7"
}

# Foreground colour of a cell ("92" bright green, "93" bright yellow, "37" white).
check_fg() {  # session, row, column, expected foreground, what
  local got
  got=$(colour_at "$1" "$2" "$3")
  [ "${got%%/*}" = "$4" ] && pass "$5 ($got)" || fail "$5: colour at $2,$3 is $got, want foreground $4"
}
# The screen row (from 0) showing a text, empty when none.
row_of() { screen "$1" | grep -nF -- "$2" | head -1 | cut -d: -f1 | awk '{print $1 - 1}'; }

barcode() {  # product code -> its barcode digits, from the product table
  "$dbftool" dump "$work/demo/producto.dbf" | python3 -c '
import json, sys
for line in sys.stdin:
    v = json.loads(line)["values"]
    if v["CODIGO"] == sys.argv[1]:
        print(int(v["CODVAR"]))
' "$1"
}
ibu=$(barcode 0000101)
amox=$(barcode 0000102)
para=$(barcode 0000103)
[ -n "$ibu" ] && [ -n "$amox" ] && [ -n "$para" ] || { echo "FAIL: demo barcodes not read"; exit 1; }

# ------------------------------------------------------------ first check
start one
if wait_for one "TICKET Nº 1234" 15; then pass "browse of ticket 1234"; else fail "browse not shown"; fi
wait_for one "Hay Diferencias!!!" && pass "status: differences" || fail "status line"
check_fg one 4 35 91 "differences in bright red"

scan() { tm send-keys -t one -l "$1" \; send-keys -t one Enter; }
# A GS1 DataMatrix as the reader sends it: AI 01 GTIN, 21 serial, group
# separator, 17 expiry, 10 lot, Enter.  The unit is not in the traceability
# table yet, so the station asks whether to go on: "S", Enter.
gs1_scan() {  # serial
  tm send-keys -t one -l "010${amox}21$1" \; send-keys -t one C-] \; send-keys -t one -l "1728123110L0T1" \; \
    send-keys -t one Enter
  if wait_for one "Ingresado" 10; then pass "unit $1 not received: question"; else fail "no question for $1"; fi
  tm send-keys -t one S Enter
}

scan "$ibu"
sleep 1
r=$(row_of one "IBUPROFENO")
if [ -n "$r" ]; then
  check_fg one "$r" 50 93 "a partly counted line is yellow"
else
  fail "IBUPROFENO not on the screen"
fi
scan "$ibu"
gs1_scan SERIAL0001
gs1_scan SERIAL0002
sleep 1
for p in IBUPROFENO AMOXICILINA; do
  r=$(row_of one "$p")
  check_fg one "${r:-0}" 50 92 "$p complete: green"
done
r=$(row_of one "PARACETAMOL")
check_fg one "${r:-0}" 50 37 "PARACETAMOL not counted yet: white"
r=$(row_of one "AMOXICILINA")
screen one | sed -n "$((r + 1))p" | grep -qE "AMOXICILINA 500 +2 +2 +$amox S" && pass "Vend and Cheq of the GS1-scanned line" ||
  fail "quantities of the GS1 line: $(screen one | sed -n "$((r + 1))p")"
scan "$para"
if wait_for one "EXIT=0" 30; then pass "the check ended"; else fail "the station did not end"; fi

log=$("$dbftool" dump "$work/demo/log_env.dbf" | grep -F '"NUMERO": 1234,')
n=$(grep -c . <<<"$log")
[ "$n" = 3 ] && pass "three log lines for ticket 1234" || fail "log lines for 1234: $n"
for want in '"CODIGO": "0000101", "CANTID": 2, "CANT_CHK": 2' '"CODIGO": "0000102", "CANTID": 2, "CANT_CHK": 2' \
  '"CODIGO": "0000103", "CANTID": 1, "CANT_CHK": 1'; do
  grep -qF "$want" <<<"$log" && pass "log: $want" || fail "log lacks: $want"
done
[ "$(grep -cF '"VEND_CHK": 7' <<<"$log")" = 3 ] && pass "log: counted by seller 7" || fail "log: VEND_CHK"
grep -qF "\"CB\": $amox, \"CP\": \"$amox\", \"TRAZA\": \"S\"" <<<"$log" && pass "log: the traced line" ||
  fail "log: traced line"
"$dbftool" verify "$work/demo/log_env.dbf" >/dev/null 2>&1 && pass "log_env and its bag verify" || fail "log_env does not verify"
traza=$("$dbftool" dump "$work/demo/traza.dbf")
for serial in SERIAL0001 SERIAL0002; do
  grep -qF "\"SERIE\": \"$serial\"" <<<"$traza" && pass "traceability record of $serial" || fail "no record of $serial"
done

# ------------------------------------------------------ the second check
start two
if wait_for two "OK!!!" 15; then pass "ticket complete at once"; else fail "OK!!! not shown"; fi
check_fg two 4 38 92 "OK!!! in bright green"
wait_for two "Comprobante OK!!!" && pass "message Comprobante OK!!!" || fail "message"
r=$(row_of two "IBUPROFENO")
check_fg two "${r:-0}" 50 92 "lines rebuilt from the log are green"
wait_for two "EXIT=0" 30 && pass "second check ended" || fail "second check did not end"

finish "check terminal test passed"
