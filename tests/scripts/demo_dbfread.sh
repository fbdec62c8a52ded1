#!/usr/bin/env bash
# The demo folder made by `chk_env2 --make-demo` reads with Debian's
# python3-dbfread: every table opens, its fields are there, every record
# reads, and the demo's tickets and sellers are found.  Arguments: build
# folder, source folder.
set -euo pipefail
build=${1:?build folder}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/chk_env2" --make-demo "$work/demo" >/dev/null
exec /usr/bin/python3 - "$work/demo" <<'PY'
import sys, os
from dbfread import DBF
folder = sys.argv[1]
tables = ["rotulo", "acceso2", "acceso", "compenca", "compitem", "producto", "log_env", "traza",
          "datosfar", "datoafi", "ini", "numeros", "cb", "FEC_SYS", "tempo39"]
counts = {}
for name in tables:
    path = os.path.join(folder, name + ".dbf")
    t = DBF(path, encoding="cp850", load=True)
    counts[name] = len(t.records)
    assert t.field_names, name
sellers = {r["NUM"]: r for r in DBF(os.path.join(folder, "acceso2.dbf"), encoding="cp850")}
assert sellers[7]["NOMBRE"].strip() == "GOMEZ MARIA", sellers
tickets = sorted(r["NUMERO"] for r in DBF(os.path.join(folder, "compenca.dbf"), encoding="cp850"))
assert tickets == [1234, 1235, 1236, 1237, 1238], tickets
lines = [r for r in DBF(os.path.join(folder, "compitem.dbf"), encoding="cp850") if r["NUMERO"] == 1234]
assert len(lines) == 3, lines
units = [r for r in DBF(os.path.join(folder, "traza.dbf"), encoding="cp850")
         if r["COMPTE_INT"] == "TK" and r["NUMERO_INT"] == 1234]
assert len(units) == 2 and all(u["EVENTO"] == 111 and not u["ARCH_ASO"].strip() for u in units), units
ini = {r["VARIABLE"].strip().lower(): r["VALOR"].strip() for r in DBF(os.path.join(folder, "ini.dbf"))}
assert ini["traza"] == "S" and ini["compte_tz"] == "FD", ini
assert counts["rotulo"] == 5 and counts["tempo39"] == 0, counts
print("dbfread read every demo table:", ", ".join(f"{k} {v}" for k, v in counts.items()))
PY
