"""Compares `dbftool dump` of every table of the foreign sample sets with the
set's EXPECTED.json (values as an independent reader returned them).

Usage: foreign_dump_compare.py DBFTOOL FOREIGN_DIR SET...

The readers' known differences from what the file holds, and how they are
handled (each follows the "conventions" of EXPECTED.json and PROVENANCE.md):
- the reader ignores _NullFlags: a field listed in a record's
  `null_fields_derived` is NULL, and our dump shows it as null.
- the reader returns V/Q fields whole; `varlen_derived` holds their real value,
  which our dump shows.
- `_NullFlags` itself is not shown by our dump.
- text memos are cut to 200 characters; `memo_full_length` gives the length.
- binary values are {binary_length, hex_head}; our dump gives {"hex": ...}.
- T values: our dump shows whole seconds ("YYYY-MM-DDTHH:MM:SS"), the reader adds
  the fraction when there is one; the first 19 characters must match.
- a table without a code-page mark (byte 29 = 0) was decoded by the readers
  with `encoding_used`; our dump is given the same code page (--codepage).
"""
import json
import os
import subprocess
import sys

CODEPAGE_NUMBER = {"cp437": 437, "cp850": 850, "cp1252": 1252, "cp1251": 1251}


def dump(dbftool, path, codepage):
    cmd = [dbftool, "dump", path]
    if codepage:
        cmd += ["--codepage", str(codepage)]
    res = subprocess.run(cmd, capture_output=True)
    if res.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(cmd), res.returncode,
                                                  res.stderr.decode("utf-8", "replace").strip()))
    text = res.stdout.decode("utf-8")
    return [json.loads(line) for line in text.splitlines() if line.strip()]


def info(dbftool, path):
    res = subprocess.run([dbftool, "info", path, "--format", "json"], capture_output=True)
    if res.returncode != 0:
        raise RuntimeError("info %s failed: %s" % (path, res.stderr.decode("utf-8", "replace").strip()))
    return json.loads(res.stdout.decode("utf-8"))


def is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


def compare_value(ftype, exp, ours, full_length):
    """Returns None when equal, else a description of the difference."""
    if isinstance(exp, dict) and "binary_length" in exp:
        if not (isinstance(ours, dict) and set(ours) == {"hex"}):
            return "expected binary %r, got %r" % (exp, ours)
        raw = bytes.fromhex(ours["hex"])
        if len(raw) != exp["binary_length"] or not ours["hex"].startswith(exp["hex_head"]):
            return "binary differs: expected %d bytes %s..., got %d bytes %s..." % (
                exp["binary_length"], exp["hex_head"], len(raw), ours["hex"][:64])
        return None
    if exp is None:
        return None if ours is None else "expected null, got %r" % (ours,)
    if isinstance(exp, bool):
        return None if ours is exp else "expected %r, got %r" % (exp, ours)
    if is_number(exp):
        return None if is_number(ours) and ours == exp else "expected %r, got %r" % (exp, ours)
    if isinstance(exp, dict):
        return None if ours == exp else "expected %r, got %r" % (exp, ours)
    if not isinstance(ours, str):
        return "expected %r, got %r" % (exp, ours)
    if ftype == "T":
        if len(ours) == 19 and ours == exp[:19] and (len(exp) == 19 or exp[19] == "."):
            return None
        return "expected %r, got %r" % (exp, ours)
    if full_length is not None:
        if len(ours) != full_length:
            return "expected a memo of %d characters, got %d" % (full_length, len(ours))
        return None if ours[:200] == exp else "memo differs in its first 200 characters"
    return None if ours == exp else "expected %r, got %r" % (exp, ours)


def compare_table(dbftool, folder, name, t):
    problems = []
    path = os.path.join(folder, name)
    codepage = None
    if t["code_page_byte"] == "0x00" and t["encoding_used"] in CODEPAGE_NUMBER:
        codepage = CODEPAGE_NUMBER[t["encoding_used"]]

    head = info(dbftool, path)
    for key, want in (("version", int(t["version_byte"], 16)),
                      ("code_page_mark", int(t["code_page_byte"], 16)),
                      ("record_count", t["record_count"]),
                      ("header_length", t["header_length"]),
                      ("record_length", t["record_length"])):
        if head.get(key) != want:
            problems.append("info %s: expected %r, got %r" % (key, want, head.get(key)))
    got_fields = [(f["name"], f["type"], f["length"], f["decimals"], f["flags"]) for f in head.get("fields", [])]
    want_fields = [(f["name"], f["type"], f["length"], f["decimals"], int(f["flags"], 16)) for f in t["fields"]]
    if got_fields != want_fields:
        problems.append("info fields: expected %r, got %r" % (want_fields, got_fields))

    records = dump(dbftool, path, codepage)
    if len(records) != t["record_count"]:
        problems.append("expected %d records, got %d" % (t["record_count"], len(records)))
    types = {f["name"]: f["type"] for f in t["fields"]}
    for exp in t["records_first_20"]:
        recno = exp["recno"]
        if recno > len(records):
            problems.append("record %d missing" % recno)
            continue
        ours = records[recno - 1]
        where = "record %d" % recno
        if ours.get("recno") != recno:
            problems.append("%s: recno shown as %r" % (where, ours.get("recno")))
        if ours.get("deleted") is not exp["deleted"]:
            problems.append("%s: deleted expected %r, got %r" % (where, exp["deleted"], ours.get("deleted")))
        want = {k: v for k, v in exp["values"].items() if k != "_NullFlags"}
        for k in exp.get("null_fields_derived", []):
            want[k] = None
        want.update(exp.get("varlen_derived", {}))
        got = ours.get("values", {})
        if list(got) != list(want):
            problems.append("%s: fields expected %r, got %r" % (where, list(want), list(got)))
            continue
        lengths = exp.get("memo_full_length", {})
        for k, v in want.items():
            diff = compare_value(types[k], v, got[k], lengths.get(k))
            if diff:
                problems.append("%s field %s: %s" % (where, k, diff))
    return problems


def main():
    dbftool, foreign = sys.argv[1], sys.argv[2]
    failures = 0
    tables = 0
    for set_name in sys.argv[3:]:
        folder = os.path.join(foreign, set_name)
        with open(os.path.join(folder, "EXPECTED.json"), encoding="utf-8") as f:
            expected = json.load(f)
        for name, t in expected["tables"].items():
            tables += 1
            try:
                problems = compare_table(dbftool, folder, name, t)
            except Exception as e:  # a failed run is a failure of this table
                problems = [str(e)]
            for p in problems[:20]:
                print("%s/%s: %s" % (set_name, name, p))
            if len(problems) > 20:
                print("%s/%s: ... %d problems in all" % (set_name, name, len(problems)))
            if problems:
                failures += 1
    print("%d tables compared, %d differ" % (tables, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
