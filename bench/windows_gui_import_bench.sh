#!/usr/bin/env bash
# Times the import of one profile as zandor.exe runs it from its window (main window and
# wait message on a private X display) beside `zandor-cli.exe import`, both under Wine, in
# turn, on fresh copies of an ADRESSEN table with a CDX index on KUNDE, from a ROWS-row .csv
# (updating on: each row is looked up, then appended). Prints each pair's figures from the
# summaries, and the medians.
# Usage: [PAIRS=3] bench/windows_gui_import_bench.sh [ROWS]   (default 200000 rows; needs
# build/default and build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
rows="${1:-200000}"
pairs="${PAIRS:-3}"
cmake --build build/windows --target zandor-cli windows_gui_import_bench >/dev/null
cli="$root/build/windows/src/cli/zandor-cli.exe"
gui="$root/build/windows/bench/windows_gui_import_bench.exe"
linux_cli="$root/build/default/src/cli/zandor-cli"
work="$(mktemp -d)"
export WINEPREFIX="$root/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec {xfd}< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb=$!
read -r -t 30 -u "$xfd" number
export DISPLAY=":$number"
openbox >/dev/null 2>&1 &
openbox=$!
trap 'wineserver -k 2>/dev/null || true; kill $openbox $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
wineserver -p 2>/dev/null || true

awk -v n="$rows" 'BEGIN { print "KUNDE;NAME1;STRASSE;PLZ;ORT;UMSATZ";
  for (i = 1; i <= n; i++) printf "K%07d;Firma %d;Weg %d;%05d;Ort %d;%d,%02d\r\n", i, i, i % 300, i % 99999, i % 700, i, i % 100 }' \
  >"$work/adressen.csv"
mkdir -p "$work/stock"
"$linux_cli" dbf create "$work/stock/ADRESSEN.DBF" KUNDE:C:10 NAME1:C:30 STRASSE:C:30 PLZ:C:5 \
  ORT:C:30 UMSATZ:N:12:2 >/dev/null
"$linux_cli" dbf index "$work/stock/ADRESSEN.DBF" "$work/stock/adkun.cdx" --tag ADKUN --key KUNDE >/dev/null
printf '[Updaten]\r\nNummer=.T.\r\n' >"$work/zandor.ini"
w() { winepath -w "$1" 2>/dev/null; }
cp -r "$work/stock" "$work/db"
wine "$cli" profile make "$(w "$work/p.qno")" --dbf "$(w "$work/db/ADRESSEN.DBF")" \
  --xls "$(w "$work/adressen.csv")" --stop 1 >/dev/null
: >"$work/cli" && : >"$work/gui"
for i in $(seq "$pairs"); do
  for who in cli gui; do
    rm -rf "$work/db" "$work/log"
    cp -r "$work/stock" "$work/db"
    if [ "$who" = cli ]; then
      out="$(wine "$cli" import "$(w "$work/p.qno")" --settings "$(w "$work/zandor.ini")")"
    else
      out="$(wine "$gui" "$(w "$work/p.qno")" "$(w "$work/zandor.ini")" 2>/dev/null)"
    fi
    figure="$(echo "$out" | grep -o 'in [0-9.]* Sekunden' | grep -o '[0-9.]*')"
    echo "$figure" >>"$work/$who"
    eval "took_$who=$figure"
  done
  # The machine's pace drifts between pairs; each pair is compared within itself.
  ratio="$(echo "scale=1; ($took_gui - $took_cli) * 100 / $took_cli" | bc)"
  echo "$ratio" >>"$work/ratio"
  echo "pair $i: zandor-cli.exe $took_cli s, window $took_gui s ($ratio %)"
done
median() { sort -n "$1" | sed -n "$(( (pairs + 1) / 2 ))p"; }
echo "median: zandor-cli.exe $(median "$work/cli") s, window $(median "$work/gui") s;" \
  "the window slower by $(median "$work/ratio") % (median of the pairs, $rows rows)"
