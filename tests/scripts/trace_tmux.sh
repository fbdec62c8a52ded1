#!/usr/bin/env bash
# The typical ticket with two traceable units on a real terminal: the
# station runs a command-line check of the demo ticket inside tmux (80 x 25),
# the other lines are scanned by their barcodes, the two units of the
# traceable line arrive as a reader sends a GS1 DataMatrix code (Ctrl+] as
# the group separator), and after the station has ended `dbftool dump traza`
# must show both units' serial, lot, expiry and code; the voucher, the
# comptes file and the print program's argument are checked too.
# Arguments: build folder, source folder.
set -u
build=${1:-build}
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed (CI installs it); the terminal test did not run"
  exit 0
fi
build=$(cd "$build" && pwd)
station="$build/bin/chk_env2"
dbftool="$build/bin/dbftool"
for p in "$station" "$dbftool"; do [ -x "$p" ] || { echo "FAIL: $p not built"; exit 1; }; done

work=$(mktemp -d)
sock="trace-test-$$"
tm() { tmux -L "$sock" "$@"; }
cleanup() { tm kill-server >/dev/null 2>&1; rm -rf "$work"; }
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
screen() { tm capture-pane -t main -p; }
wait_for() {  # text, seconds (default 15)
  local text=$1 limit=${2:-15} i=0
  while [ $i -lt $((limit * 20)) ]; do
    if screen | grep -qF -- "$text"; then return 0; fi
    sleep 0.05
    i=$((i + 1))
  done
  echo "--- screen while waiting for: $text"
  screen
  echo "---"
  return 1
}

demo="$work/demo"
"$station" --make-demo "$demo" >/dev/null || { echo "FAIL: the demo folder could not be made"; exit 1; }
mkdir -p "$work/s/qumar/comptes_tz" "$work/root/VLM/TMP"
# The fiscal print program: records the file name it is given.
printf '#!/bin/sh\nprintf "%%s" "$1" > i_n_fisc.arg\n' > "$demo/i_n_fisc"
chmod +x "$demo/i_n_fisc"

ean13() {  # 12 digits -> 13 digits with the check digit
  local d=$1 sum=0 i
  for i in $(seq 0 11); do
    local n=${d:$i:1}
    if [ $((i % 2)) -eq 0 ]; then sum=$((sum + n)); else sum=$((sum + 3 * n)); fi
  done
  echo "$d$(((10 - sum % 10) % 10))"
}
ibu=$(ean13 779000000101)
amoxi=$(ean13 779000000102)
para=$(ean13 779000000103)
gtin="0$amoxi"

tm new-session -d -s main -x 80 -y 25 \
  "cd '$demo' && env LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM=xterm-256color MAQUINA=5 DRIVE_S='$work/s' DRIVE_ROOT='$work/root' '$station' 1234 7; echo EXIT=\$?; sleep 60"
tm set-option -t main window-size manual >/dev/null 2>&1 || true

if wait_for "TICKET Nº 1234"; then pass "the check of ticket 1234 started"; else fail "the check did not start"; fi
wait_for "AMOXICILINA" >/dev/null || fail "the ticket's lines are not shown"

scan_plain() { tm send-keys -t main -l "$1" \; send-keys -t main Enter; }
# A reader's burst: the parts between separators, Ctrl+] between them.
scan_gs1() {
  local args=() first=1 part
  for part in "$@"; do
    if [ $first -eq 0 ]; then args+=(\; send-keys -t main C-]); fi
    args+=(\; send-keys -t main -l "$part")
    first=0
  done
  tm "${args[@]:1}" \; send-keys -t main Enter
}
# The unit is not in the traceability table as received yet: answer yes.
confirm_unit() {
  if wait_for "Continúa Con La Operación" 10; then tm send-keys -t main S Enter; else fail "no question for unit $1"; fi
}

scan_plain "$ibu"
scan_plain "$ibu"
scan_plain "$para"
scan_gs1 "01${gtin}21SER0001" "17271231""10LOTA"
confirm_unit 1
scan_gs1 "01${gtin}21SER0002" "10LOTB" "17280630"
confirm_unit 2

if wait_for "EXIT=0" 30; then pass "the station ended after the check"; else fail "the station did not end"; fi

dump=$("$dbftool" dump "$demo/traza.dbf" 2>&1)
rec() { grep -F '"NUMERO_INT": 1234' <<<"$dump" | grep -F "\"SERIE\": \"$1\""; }
check_unit() {  # serial lot expiry code
  local r
  r=$(rec "$1")
  if [ -z "$r" ]; then fail "no record of ticket 1234 with serial $1"; return; fi
  grep -qF "\"LOTE\": \"$2\"" <<<"$r" && pass "$1: lot $2" || fail "$1: lot is not $2: $r"
  grep -qF "\"VENC\": \"$3\"" <<<"$r" && pass "$1: expiry $3" || fail "$1: expiry is not $3: $r"
  grep -qF "\"COD_TRAZA\": \"$4\"" <<<"$r" && pass "$1: code $4" || fail "$1: code is not $4: $r"
  grep -qF '"ARCH_ASO": "?"' <<<"$r" && pass "$1: marked ?" || fail "$1: not marked ?: $r"
}
check_unit SER0001 LOTA 2027-12-31 "01${gtin}21SER0001<GS>17271231""10LOTA"
check_unit SER0002 LOTB 2028-06-30 "01${gtin}21SER0002<GS>10LOTB<GS>17280630"

voucher="$work/root/VLM/TMP/05001234.TNF"
if [ -f "$voucher" ] && grep -q "SERIE SER0002" "$voucher" && grep -q "tex_nor" "$voucher"; then
  pass "fiscal voucher written"
else
  fail "fiscal voucher missing or wrong"
fi
comptes=$(ls "$work"/s/qumar/comptes_tz/*_20111222_123456789012.txt 2>/dev/null | head -1)
if [ -n "$comptes" ] && [ "$(wc -c <"$comptes")" -eq 108 ]; then pass "comptes file with two 54-byte lines"; else fail "comptes file missing or wrong"; fi
if [ "$(cat "$demo/i_n_fisc.arg" 2>/dev/null)" = "05001234.TNF" ]; then pass "i_n_fisc given the voucher"; else fail "i_n_fisc not run with the voucher"; fi

if [ $failures -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
