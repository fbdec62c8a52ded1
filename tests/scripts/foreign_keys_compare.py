"""Compares `dbftool keys` with the `indexes` part of each EXPECTED.json.

Text keys are compared without trailing blanks, numbers as numbers.  Keys on
nullable fields are given in EXPECTED.json as raw hex (leading 0x80 for a
value, all zero for NULL, trailing compressed bytes left out); they are
decoded here the same way before comparing: text, number, or "YYYYMMDD".
"""
import datetime
import json
import os
import struct
import subprocess
import sys


def decode_hex(h, tag):
    raw = bytes.fromhex(h)
    length = tag["key_length"]
    expr = tag["key_expression"].lower()
    binary = tag.get("index_dump_type_would_be") in ("num", "date") or (
        length - 1 in (4, 8) and expr.isidentifier())
    raw = raw + (b"\0" if binary else b" ") * (length - len(raw))
    if raw[0] == 0:
        return None
    value = raw[1:]
    if not binary:
        return value.decode("cp1252").rstrip(" ")
    if len(value) == 4:
        return struct.unpack(">i", bytes([value[0] ^ 0x80]) + value[1:])[0]
    u = struct.unpack(">Q", value)[0]
    u = u ^ (1 << 63) if u & (1 << 63) else ~u & ((1 << 64) - 1)
    d = struct.unpack(">d", struct.pack(">Q", u))[0]
    if "date" in expr:
        if d == 0:
            return ""
        return (datetime.date(2000, 1, 1) + datetime.timedelta(days=int(d) - 2451545)).strftime("%Y%m%d")
    return d


def same(want, got, tag):
    if isinstance(want, dict):
        want = decode_hex(want["hex"], tag)
    if isinstance(want, str):
        return isinstance(got, str) and want.rstrip(" ") == got
    if want is None:
        return got is None
    return isinstance(got, (int, float)) and float(want) == float(got)


def main():
    tool, root, sets = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = tags_checked = 0
    for s in sets:
        expected = json.load(open(os.path.join(root, s, "EXPECTED.json"), encoding="utf-8"))
        for bag, info in expected.get("indexes", {}).items():
            for tag in info["tags"]:
                where = "%s/%s %s" % (s, bag, tag["name"])
                run = subprocess.run([tool, "keys", os.path.join(root, s, bag), "--tag", tag["name"]],
                                     capture_output=True)
                if run.returncode != 0:
                    print("FAIL %s: exit %d: %s" % (where, run.returncode, run.stderr.decode(errors="replace")))
                    failures += 1
                    continue
                got = [json.loads(l) for l in run.stdout.decode("utf-8").splitlines()]
                problems = []
                if len(got) != tag["key_count"]:
                    problems.append("%d keys, expected %d" % (len(got), tag["key_count"]))
                pairs = list(zip(tag["first_20"], got[:20]))
                if tag["last_5"]:
                    pairs += list(zip(tag["last_5"], got[-len(tag["last_5"]):]))
                for (want_key, want_rec), g in pairs:
                    if g["recno"] != want_rec or not same(want_key, g["key"], tag):
                        problems.append("expected %r/%d, got %r/%d" % (want_key, want_rec, g["key"], g["recno"]))
                        break
                if problems:
                    failures += 1
                    print("FAIL %s: %s" % (where, "; ".join(problems)))
                tags_checked += 1
    print("%d tags checked, %d failures" % (tags_checked, failures))
    return 1 if failures or tags_checked < 57 else 0


if __name__ == "__main__":
    sys.exit(main())
