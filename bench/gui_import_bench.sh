#!/usr/bin/env bash
# Times the import of one profile from the desktop program (offscreen, with its wait message)
# beside `zandor-cli import`, in turn, on fresh copies of an ADRESSEN table with a CDX index
# on KUNDE, from a ROWS-row .csv (updating on: each row is looked up, then appended).
# Usage: [PAIRS=5] bench/gui_import_bench.sh [ROWS]   (default 100000 rows)
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-100000}"
pairs="${PAIRS:-5}"
build=build/default
cmake --build "$build" --target zandor-cli gui_import_bench >/dev/null
cli="$build/src/cli/zandor-cli"
gui="$build/bench/gui_import_bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
awk -v n="$rows" 'BEGIN { print "KUNDE;NAME1;STRASSE;PLZ;ORT;UMSATZ";
  for (i = 1; i <= n; i++) printf "K%07d;Firma %d;Weg %d;%05d;Ort %d;%d,%02d\r\n", i, i, i % 300, i % 99999, i % 700, i, i % 100 }' \
  >"$work/adressen.csv"
mkdir -p "$work/stock"
"$cli" dbf create "$work/stock/ADRESSEN.DBF" KUNDE:C:10 NAME1:C:30 STRASSE:C:30 PLZ:C:5 ORT:C:30 \
  UMSATZ:N:12:2 >/dev/null
"$cli" dbf index "$work/stock/ADRESSEN.DBF" "$work/stock/adkun.cdx" --tag ADKUN --key KUNDE >/dev/null
printf '[Updaten]\r\nNummer=.T.\r\n' >"$work/zandor.ini"
for i in $(seq "$pairs"); do
  for who in cli gui; do
    rm -rf "$work/db" "$work/log"
    cp -r "$work/stock" "$work/db"
    "$cli" profile make "$work/p.qno" --dbf "$work/db/ADRESSEN.DBF" --xls "$work/adressen.csv" \
      --stop 1 >/dev/null 2>&1
    if [ "$who" = cli ]; then
      out="$("$cli" import "$work/p.qno" --settings "$work/zandor.ini")"
    else
      out="$("$gui" "$work/p.qno" "$work/zandor.ini" 2>>"$work/gui.err")"
    fi
    echo "$who: $(echo "$out" | grep -o 'in [0-9.]* Sekunden')"
  done
done
tail -1 "$work/gui.err"
