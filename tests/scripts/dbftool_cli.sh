#!/usr/bin/env bash
# dbftool's command line: exit codes, messages naming the file and the
# problem, load writing nothing when a line is bad, verify finding damage.
# Arguments: build folder, source folder.
set -uo pipefail
build=${1:?build folder}
src=${2:?source folder}
tool="$build/bin/dbftool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect_rc CODE CMD...: runs CMD, keeps its output in $work/out and $work/err.
expect_rc() {
  local want=$1; shift
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  [ "$rc" -eq "$want" ] || fail "exit $rc (expected $want): $* -- $(head -c 300 "$work/err")"
}
expect_err() { grep -q -- "$1" "$work/err" || fail "stderr lacks '$1': $(head -c 300 "$work/err")"; }
expect_out() { grep -q -- "$1" "$work/out" || fail "stdout lacks '$1': $(head -c 300 "$work/out")"; }

# Help and usage.
expect_rc 0 "$tool" --help
for c in info dump create load verify "Exit codes"; do expect_out "$c"; done
expect_rc 0 "$tool" help dump
expect_out "--codepage"
expect_rc 2 "$tool" nosuch
expect_rc 2 "$tool" dump
expect_rc 2 "$tool" dump x.dbf --format xml
expect_err "jsonl or csv"
expect_rc 2 "$tool" dump x.dbf --codepage 999
expect_rc 2 "$tool" create "$work/bad.dbf" --field NAME
expect_rc 2 "$tool" create "$work/bad.dbf" --field NAME:X:5
[ -e "$work/bad.dbf" ] && fail "a refused create left a file"

# Missing and damaged files.
expect_rc 3 "$tool" dump "$work/missing.dbf"
expect_err "missing.dbf"
printf '\x03\x7a\x01\x01' >"$work/short.dbf"
expect_rc 3 "$tool" dump "$work/short.dbf"
expect_err "short.dbf"
expect_rc 1 "$tool" verify "$work/short.dbf"
expect_out "short.dbf"

# Create, and never over an existing table.
t="$work/items.dbf"
expect_rc 0 "$tool" create "$t" --field CODE:C:7 --field QTY:N:5 --field PRICE:N:8:2 --field SOLD:D --field NOTE:M
cp "$t" "$work/items.orig"
expect_rc 4 "$tool" create "$t" --field OTHER:C:3
expect_err "already exists"
cmp -s "$t" "$work/items.orig" || fail "create changed an existing table"

# A load with a bad line writes nothing and names every bad line.
printf '%s\n' '{"values": {"CODE": "A1", "QTY": 1}}' \
  '{"values": {"QTY": 1234567}}' \
  '{"values": {"CODE": "A2", "SOLD": "2027-02-30"}}' \
  '{"values": {"NOPE": 1}}' >"$work/bad.jsonl"
expect_rc 1 "$tool" load "$t" <"$work/bad.jsonl"
for l in "line 2" "line 3" "line 4" "nothing loaded"; do expect_err "$l"; done
grep -q "line 1" "$work/err" && fail "a good line was reported"
cmp -s "$t" "$work/items.orig" || fail "a refused load changed the table"

printf '%s\n' '{"values": {"CODE": "A1", "QTY": 1, "PRICE": 2.5, "SOLD": "2027-12-31", "NOTE": "n\u00ba 1"}}' \
  '{"recno": 7, "deleted": true, "values": {"CODE": "A2"}}' >"$work/good.jsonl"
expect_rc 0 "$tool" load "$t" <"$work/good.jsonl"
expect_rc 0 "$tool" dump "$t"
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "dump after load: $(cat "$work/out")"
expect_out '"recno": 2, "deleted": true'
expect_out '"PRICE": 2.50'
expect_rc 0 "$tool" dump "$t" --format csv
expect_out "recno,deleted,CODE,QTY,PRICE,SOLD,NOTE"
expect_rc 0 "$tool" verify "$t"

# Damage found by verify: a number field with letters, a memo reference
# past the end of the memo file.
cp "$t" "$work/damaged.dbf"
cp "$work/items.fpt" "$work/damaged.fpt"
hl=$(/usr/bin/python3 -c "import sys; d=open(sys.argv[1],'rb').read(); print(d[8]|d[9]<<8)" "$t")
# record 1: flag(1) CODE(7) QTY(5) -> QTY at hl+8
printf 'ab?de' | dd of="$work/damaged.dbf" bs=1 seek=$((hl + 8)) conv=notrunc status=none
# record 1 NOTE at hl+1+7+5+8+8 = hl+29
printf '    999999' | dd of="$work/damaged.dbf" bs=1 seek=$((hl + 29)) conv=notrunc status=none
expect_rc 1 "$tool" verify "$work/damaged.dbf"
expect_out "record 1: field QTY"
expect_out "record 1: field NOTE"
expect_rc 1 "$tool" dump "$work/damaged.dbf"
expect_out '"invalid"'
expect_err "record 1"

# Tables of other programs' newer formats are read, never written.
cp "$src/tests/fixtures/foreign/go-foxpro/TEST.DBF" "$src/tests/fixtures/foreign/go-foxpro/TEST.FPT" "$work/"
chmod u+w "$work/TEST.DBF" "$work/TEST.FPT"
cp "$work/TEST.DBF" "$work/test.orig"
echo '{"values": {}}' | "$tool" load "$work/TEST.DBF" >"$work/out" 2>"$work/err"
[ $? -eq 4 ] || fail "load into a Visual FoxPro table was not refused"
expect_err "TEST.DBF"
cmp -s "$work/TEST.DBF" "$work/test.orig" || fail "a refused load changed TEST.DBF"

echo "$failures failures"
[ "$failures" -eq 0 ]
