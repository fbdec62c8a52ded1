#!/usr/bin/env bash
# The typical demo ticket (1234, seller 7: two lines scanned by barcode, two
# traceable units sent as a reader sends GS1 DataMatrix codes) checked by the
# headless station under wine and by the Linux station, each in a demo
# folder of its own: the fiscal voucher, the comptes file and the
# traceability table come out byte for byte the same.  Windows uses the DOS
# paths as they stand: drive S: and the working folder's drive are wine
# drives onto folders of the test.  (The headless station runs no print
# program; the completion tests run prt_tz.bat through cmd.exe.)
# Arguments: Windows build folder, source folder, Linux build folder.
. "$(dirname "$0")/common.bash"
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -f "$WINEPREFIX/dosdevices/s:" "$WINEPREFIX/dosdevices/t:"' EXIT

# The demo's barcodes (779000000101, 102, 103 with their check digits).
ibu=7790000001017
amoxi=7790000001024
para=7790000001031
gtin="0$amoxi"
keys="$ibu{ENTER}$ibu{ENTER}$para{ENTER}"
keys+="01${gtin}21SER0001{CTRL-]}1727123110LOTA{ENTER}S{ENTER}"
keys+="01${gtin}21SER0002{CTRL-]}10LOTB{CTRL-]}17280630{ENTER}S{ENTER}"

for side in linux windows; do
  mkdir -p "$work/$side/s/qumar/comptes_tz" "$work/$side/root/VLM/TMP"
done
# Linux: the drives through DRIVE_S and DRIVE_ROOT.
"$linux/bin/chk_env2" --make-demo "$work/linux/root/demo" >/dev/null || fail "Linux --make-demo"
printf '%s' "$keys" | (cd "$work/linux/root/demo" && MAQUINA=5 DRIVE_S="$work/linux/s" DRIVE_ROOT="$work/linux/root" \
  "$linux/bin/chk_env2" --headless 1234 7 >"$work/linux.screen" 2>&1)
echo "Linux station: exit $?"

# Windows: S: and T: (the working folder's drive, whose \VLM\TMP\ takes the
# voucher) are wine drives.
wine cmd /c exit >/dev/null 2>&1  # the prefix exists from here on
ln -sfn "$work/windows/s" "$WINEPREFIX/dosdevices/s:"
ln -sfn "$work/windows/root" "$WINEPREFIX/dosdevices/t:"
if wine "$win/bin/chk_env2.exe" --make-demo 'T:\demo' >/dev/null 2>&1; then pass "chk_env2.exe --make-demo"; else fail "chk_env2.exe --make-demo"; fi
printf '%s' "$keys" | MAQUINA=5 wine "$win/bin/chk_env2.exe" --headless --data 'T:\demo' 1234 7 >"$work/windows.screen" 2>&1
status=$?
if [ $status -eq 0 ]; then pass "chk_env2.exe checked the ticket"; else fail "chk_env2.exe ended with $status"; tail -25 "$work/windows.screen"; fi

same() {  # what, Linux file, Windows file
  if [ ! -f "$2" ]; then fail "$1: the Linux station wrote no $2"; return; fi
  if [ ! -f "$3" ]; then fail "$1: chk_env2.exe wrote no $3"; return; fi
  if cmp -s "$2" "$3"; then pass "$1: the same $(stat -c %s "$2") bytes"; else fail "$1 differs"; cmp "$2" "$3" | head -3; fi
}
same "fiscal voucher" "$work/linux/root/VLM/TMP/05001234.TNF" "$work/windows/root/VLM/TMP/05001234.TNF"
comptes=$(cd "$work/linux/s/qumar/comptes_tz" && ls)
[ -n "$comptes" ] || fail "the Linux station wrote no comptes file"
[ "$comptes" = "$(cd "$work/windows/s/qumar/comptes_tz" && ls)" ] && pass "comptes file name $comptes" ||
  fail "comptes files: $(ls "$work/windows/s/qumar/comptes_tz")"
for f in $comptes; do same "comptes file $f" "$work/linux/s/qumar/comptes_tz/$f" "$work/windows/s/qumar/comptes_tz/$f"; done
same "traceability table" "$work/linux/root/demo/traza.dbf" "$work/windows/root/demo/traza.dbf"
if grep -q "SERIE SER0002" "$work/windows/root/VLM/TMP/05001234.TNF" 2>/dev/null; then pass "voucher holds the units"; else fail "voucher without SER0002"; fi
finish
