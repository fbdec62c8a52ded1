#!/usr/bin/env bash
# dbftool on order bags: verify finds a damaged tag (naming bag and tag),
# reindex repairs it, index adds a tag holding exactly the keys its records give, and a key
# expression that does not parse is refused with its position.  On a table of
# our own: load keeps every tag, info lists the tags, keys walks a descending
# tag downwards, and a damaged leaf sibling link fails keys and verify until
# reindex.
# Arguments: build folder, source folder.
set -euo pipefail
build=${1:?build folder}
src=${2:?source folder}
tool="$build/bin/dbftool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src/tests/fixtures/foreign/vfp-northwind/orders."* "$work/"
chmod u+w "$work"/*
fail() { echo "FAIL: $*"; exit 1; }

"$tool" keys "$work/orders.cdx" --tag CUSTOMERID > "$work/before.jsonl"
"$tool" verify "$work/orders.dbf" > "$work/out" || fail "verify of the sample: $(cat "$work/out")"

# Point the first child of the CUSTOMERID root beyond the end of the file.
/usr/bin/python3 - "$work/orders.cdx" <<'PY'
import struct, sys
path = sys.argv[1]
b = bytearray(open(path, "rb").read())
# Find the CUSTOMERID header by its key expression in the expression pools.
for off in range(1536, len(b), 512):
    if b[off + 512:off + 523] == b"customerid\0":
        root = struct.unpack("<I", b[off:off + 4])[0]
        kl = struct.unpack("<H", b[off + 12:off + 14])[0]
        assert b[root] & 2 == 0, "root is a leaf"
        b[root + 12 + kl + 4:root + 12 + kl + 8] = struct.pack(">I", 0x7FFFFE00)
        open(path, "wb").write(b)
        break
else:
    sys.exit("no CUSTOMERID header")
PY
if "$tool" verify "$work/orders.dbf" > "$work/out"; then fail "verify missed the damage"; fi
grep -q "orders.cdx" "$work/out" && grep -q "CUSTOMERID" "$work/out" || fail "verify message: $(cat "$work/out")"
if "$tool" keys "$work/orders.cdx" --tag CUSTOMERID > /dev/null 2> "$work/err"; then fail "keys read a damaged tag"; fi
grep -q "CUSTOMERID" "$work/err" || fail "keys message: $(cat "$work/err")"

"$tool" reindex "$work/orders.dbf" > "$work/out" || fail "reindex: $(cat "$work/out")"
"$tool" verify "$work/orders.dbf" > "$work/out" || fail "verify after reindex: $(cat "$work/out")"
"$tool" keys "$work/orders.cdx" --tag CUSTOMERID > "$work/after.jsonl"
cmp -s "$work/before.jsonl" "$work/after.jsonl" || fail "reindexed keys differ"

"$tool" index "$work/orders.dbf" --tag LATE --key "STR(orderid % 97, 2)+STR(orderid,6)" --for "orderid > 10500" > "$work/out" \
  || fail "index: $(cat "$work/out")"
"$tool" verify "$work/orders.dbf" > /dev/null || fail "verify after index"
ours=$("$tool" keys "$work/orders.cdx" --tag LATE | /usr/bin/python3 -c 'import json,sys; [print(json.loads(l)["key"], json.loads(l)["recno"]) for l in sys.stdin]')
# The keys the tag must hold, computed from the records themselves: live or
# deleted, every record with ORDERID > 10500, in key order then record order.
theirs=$("$tool" dump "$work/orders.dbf" | /usr/bin/python3 -c '
import json, sys
rows = []
for line in sys.stdin:
    r = json.loads(line)
    o = r["values"]["ORDERID"]
    if o > 10500:
        rows.append(("%2d%6d" % (o % 97, o), r["recno"]))
for key, recno in sorted(rows):
    print(key, recno)')
[ "$ours" = "$theirs" ] || fail "the new tag holds other keys than its records give"
[ -n "$ours" ] || fail "no keys"

if "$tool" index "$work/orders.dbf" --tag BAD --key "UPPER(shipname" 2> "$work/err"; then fail "bad key accepted"; fi
grep -q "position" "$work/err" || fail "bad key message: $(cat "$work/err")"
# A table of our own with a memo and three tags (one descending, one with FOR
# and unique): load keeps every tag.
t="$work/stock.dbf"
"$tool" create "$t" --field CODE:C:8 --field N:N:6 --field NOTE:M > /dev/null
"$tool" index "$t" --tag CODE --key CODE > /dev/null
"$tool" index "$t" --tag N --key N --descending > /dev/null
"$tool" index "$t" --tag BIG --key "CODE" --for "N > 500" --unique > /dev/null
/usr/bin/python3 -c '
for i in range(3000): print("{\"values\": {\"CODE\": \"C%05d\", \"N\": %d, \"NOTE\": \"memo %d\"}}" % ((i * 7919) % 3000, i, i))' > "$work/lines.jsonl"
"$tool" load "$t" < "$work/lines.jsonl" || fail "load"
"$tool" verify "$t" > "$work/out" || fail "verify after load: $(cat "$work/out")"
[ "$(tail -1 "$work/out")" = "verify: no problems" ] || fail "verify summary: $(tail -1 "$work/out")"
"$tool" info "$t" > "$work/out"
grep -q "tag N          key N  descending" "$work/out" && grep -q "tag BIG        key CODE  for N > 500  unique" "$work/out" \
  || fail "info tags: $(cat "$work/out")"
[ "$("$tool" keys "$work/stock.cdx" --tag N | head -2 | tr -d '\n')" = '{"key": 2999, "recno": 3000}{"key": 2998, "recno": 2999}' ] \
  || fail "keys of a descending tag: $("$tool" keys "$work/stock.cdx" --tag N | head -2)"

# The fourth leaf of CODE loses its right sibling link: keys and verify fail
# naming bag and tag (never a short list with exit 0); reindex repairs.
/usr/bin/python3 - "$work/stock.cdx" <<'PY'
import struct, sys
b = bytearray(open(sys.argv[1], "rb").read())
off = next(o for o in range(1536, len(b), 512) if b[o + 512:o + 517] == b"CODE\0")
n = struct.unpack("<I", b[off:off + 4])[0]
while not struct.unpack("<H", b[n:n + 2])[0] & 2:
    n = struct.unpack(">I", b[n + 12 + 8 + 4:n + 12 + 8 + 8])[0]
for _ in range(3):
    n = struct.unpack("<i", b[n + 8:n + 12])[0]
b[n + 8:n + 12] = struct.pack("<i", -1)
open(sys.argv[1], "wb").write(b)
PY
rc=0; "$tool" keys "$work/stock.cdx" --tag CODE > /dev/null 2> "$work/err" || rc=$?
[ $rc -eq 3 ] || fail "keys over a damaged sibling link: exit $rc"
grep -q "stock.cdx, tag CODE: .*sibling" "$work/err" || fail "keys message: $(cat "$work/err")"
if "$tool" verify "$t" > "$work/out"; then fail "verify missed the sibling link"; fi
grep -q "tag CODE" "$work/out" && grep -q "^verify: [0-9]* problems*$" "$work/out" || fail "verify: $(cat "$work/out")"
"$tool" reindex "$t" > /dev/null || fail "reindex"
"$tool" verify "$t" > /dev/null || fail "verify after reindex"

# A tag whose key this engine cannot compute (its expression names a field
# the table lacks): load refuses before writing anything.
/usr/bin/python3 - "$work/stock.cdx" <<'PY'
import sys
b = bytearray(open(sys.argv[1], "rb").read())
at = next(o for o in range(1536, len(b), 512) if b[o + 512:o + 522] == b"CODE\0N > 5")
b[at + 512:at + 516] = b"XXXX"
open(sys.argv[1], "wb").write(b)
PY
cp "$t" "$work/stock.before"
echo '{"values": {"CODE": "Z1", "N": 1}}' > "$work/one.jsonl"
rc=0; "$tool" load "$t" < "$work/one.jsonl" 2> "$work/err" || rc=$?
[ $rc -eq 4 ] || fail "load into a table whose bag cannot be kept: exit $rc"
grep -q "tag BIG" "$work/err" && grep -q "nothing loaded" "$work/err" || fail "load message: $(cat "$work/err")"
cmp -s "$t" "$work/stock.before" || fail "a refused load changed the table"
echo "cdx tools: ok"
