"""Writes tables with our engine (`dbftool create` + `dbftool load`) and reads
them with dbfread and python-dbf, which must return exactly the values loaded.

Usage: python_readers_check.py DBFTOOL WORK_FOLDER
"""
import datetime
import json
import os
import subprocess
import sys

import dbf
import dbfread

FIELDS_PLAIN = ["NAME:C:30", "CODE:C:7", "QTY:N:6", "PRICE:N:10:2", "RATE:N:8:3",
                "SOLD:D", "OK:L"]
FIELDS_MEMO = FIELDS_PLAIN + ["NOTE:M", "SERIES:M"]

LONG_NOTE = ("Línea de prueba con acentos: áéíóú ÁÉÍÓÚ ñÑ üÜ ç Nº ª ¿? ¡! ° ± ½\r\n" * 12)

RECORDS = [
    {"values": {"NAME": "Ñandú Nº 1234", "CODE": "0012345", "QTY": 12, "PRICE": 1234.56,
                "RATE": -0.125, "SOLD": "2027-12-31", "OK": True,
                "NOTE": "Señal ¿Qué? ¡Sí! ÁÉÍÓÚ üç Nº 5", "SERIES": "A" * 100}},
    {"values": {}},  # every field blank
    {"values": {"NAME": "X" * 30, "CODE": "ABCDEFG", "QTY": -99999, "PRICE": 0, "RATE": 0.001,
                "SOLD": "1999-01-01", "OK": False, "NOTE": LONG_NOTE, "SERIES": None}},
    {"deleted": True, "values": {"NAME": "borrado", "QTY": 1, "NOTE": "nota de un registro borrado"}},
    {"values": {"NAME": "  leading blanks kept", "QTY": 0, "PRICE": -12.5, "SOLD": "2000-02-29",
                "OK": None, "NOTE": "una línea"}},
]


def run(cmd, stdin=None):
    res = subprocess.run(cmd, input=stdin, capture_output=True)
    if res.returncode != 0:
        raise SystemExit("%s failed (%d): %s" % (" ".join(cmd), res.returncode,
                                                 res.stderr.decode("utf-8", "replace")))
    return res.stdout.decode("utf-8")


def expected_values(fields, rec):
    """The value each reader must return for each field, from what was loaded."""
    out = {}
    for spec in fields:
        name, ftype = spec.split(":")[:2]
        v = rec["values"].get(name)
        if ftype == "C":
            # C fields are blank-padded to their width; blank reads as "".
            out[name] = (v or "").rstrip(" ")
        elif v is None:
            out[name] = None
        elif ftype == "D":
            out[name] = datetime.date.fromisoformat(v)
        else:
            out[name] = v
    return out


def check_equal(reader, recno, name, want, got, problems):
    if isinstance(want, bool) or want is None:
        ok = got is want
    elif isinstance(want, (int, float)):
        ok = isinstance(got, (int, float)) and not isinstance(got, bool) and got == want
    else:
        ok = type(got) is type(want) and got == want
    if not ok:
        problems.append("%s: record %d field %s: expected %r, got %r" % (reader, recno, name, want, got))


def read_dbfread(path, fields, problems):
    table = dbfread.DBF(path, load=True, char_decode_errors="strict")
    if table.encoding != "cp850":
        problems.append("dbfread: code page taken as %s, not cp850" % table.encoding)
    live = [r for r in RECORDS if not r.get("deleted")]
    dead = [r for r in RECORDS if r.get("deleted")]
    if len(table.records) != len(live) or len(table.deleted) != len(dead):
        problems.append("dbfread: %d live + %d deleted records, expected %d + %d" % (
            len(table.records), len(table.deleted), len(live), len(dead)))
        return
    for group, got_records in ((live, table.records), (dead, table.deleted)):
        for rec, got in zip(group, got_records):
            recno = RECORDS.index(rec) + 1
            for name, want in expected_values(fields, rec).items():
                value = got[name]
                # dbfread gives an absent memo as None and a memo's text whole.
                check_equal("dbfread", recno, name, want, value, problems)


def read_python_dbf(path, fields, problems):
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    try:
        if table.codepage.name != "cp850":
            problems.append("python-dbf: code page taken as %s, not cp850" % table.codepage.name)
        if len(table) != len(RECORDS):
            problems.append("python-dbf: %d records, expected %d" % (len(table), len(RECORDS)))
            return
        for recno, (rec, got) in enumerate(zip(RECORDS, table), start=1):
            if dbf.is_deleted(got) != bool(rec.get("deleted")):
                problems.append("python-dbf: record %d deleted flag %r" % (recno, dbf.is_deleted(got)))
            for name, want in expected_values(fields, rec).items():
                value = got[name.lower()]  # python-dbf names fields in lower case
                ftype = [s.split(":")[1] for s in fields if s.split(":")[0] == name][0]
                # python-dbf returns C fields with their blank padding and a
                # memo without text as "".
                if ftype == "C" and isinstance(value, str):
                    value = value.rstrip(" ")
                if ftype == "M" and want is None and value == "":
                    value = None
                check_equal("python-dbf", recno, name, want, value, problems)
    finally:
        table.close()


def check_own_dump(dbftool, path, fields, problems):
    lines = [json.loads(l) for l in run([dbftool, "dump", path]).splitlines()]
    if len(lines) != len(RECORDS):
        problems.append("dump: %d records, expected %d" % (len(lines), len(RECORDS)))
        return
    for recno, (rec, got) in enumerate(zip(RECORDS, lines), start=1):
        if got["recno"] != recno or got["deleted"] != bool(rec.get("deleted")):
            problems.append("dump: record %d shown as %r" % (recno, got))
        for spec in fields:
            name, ftype = spec.split(":")[:2]
            want = rec["values"].get(name)
            if ftype == "C":
                want = (want or "").rstrip(" ")
            check_equal("dump", recno, name, want, got["values"].get(name, "missing"), problems)


def main():
    dbftool, work = sys.argv[1], sys.argv[2]
    problems = []
    jsonl = "".join(json.dumps(r, ensure_ascii=False) + "\n" for r in RECORDS).encode("utf-8")
    for name, fields, version, memo in (("plain.dbf", FIELDS_PLAIN, 0x03, None),
                                        ("withmemo.dbf", FIELDS_MEMO, 0xF5, "withmemo.fpt")):
        path = os.path.join(work, name)
        cmd = [dbftool, "create", path]
        for f in fields:
            cmd += ["--field", f]
        run(cmd)
        data = jsonl
        if memo is None:
            data = "".join(json.dumps({**r, "values": {k: v for k, v in r["values"].items()
                                                       if k not in ("NOTE", "SERIES")}},
                                      ensure_ascii=False) + "\n" for r in RECORDS).encode("utf-8")
        run([dbftool, "load", path], stdin=data)
        raw = open(path, "rb").read(32)
        if raw[0] != version or raw[29] != 0x02:
            problems.append("%s: version byte 0x%02x, code page mark 0x%02x" % (name, raw[0], raw[29]))
        if memo is not None and not os.path.exists(os.path.join(work, memo)):
            problems.append("%s: memo file %s missing" % (name, memo))
        run([dbftool, "verify", path])
        for reader in (read_dbfread, read_python_dbf):
            try:
                reader(path, fields, problems)
            except Exception as e:
                problems.append("%s on %s: %s: %s" % (reader.__name__, name, type(e).__name__, e))
        check_own_dump(dbftool, path, fields, problems)
    for p in problems:
        print(p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
