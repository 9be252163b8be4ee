#!/usr/bin/env bash
# The 100,000-row import (as in bench/import_bench.sh: update mode into an ADRESSEN that holds
# half of the keys, adkun.cdx and ADRESSEN.cdx with three tags) run by the Linux zandor-cli
# and by zandor-cli.exe under Wine, in turn RUNS times (default 3); prints each run's seconds
# and the medians. Wine's start-up is part of its figure.
# Usage: [RUNS=3] [WINDOWS_CLI=other.exe] bench/windows_import_bench.sh [ROWS]
# (needs build/default and build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
rows="${1:-100000}"
runs="${RUNS:-3}"
cli="$root/build/default/src/cli/zandor-cli"
exe="${WINDOWS_CLI:-$root/build/windows/src/cli/zandor-cli.exe}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++20 -O2 bench/import_bench.cpp $(pkg-config --libs libzip) -o "$work/import_bench"
"$work/import_bench" "$work" "$rows" >/dev/null
db="$work/db"
mkdir -p "$db"
"$cli" dbf create "$db/ADRESSEN.DBF" KUNDE:C:10 NAME1:C:30 NAME2:C:30 STRASSE:C:30 PLZ:C:5 \
  ORT:C:30 TELEFON:C:20 UMSATZ:N:12:2 RABATT:N:5:2 ANGELEGT:D:8
printf '[Updaten]\r\nNummer=.F.\r\n' >"$work/append.ini"
"$cli" profile make "$work/bestand.qno" --dbf "$db/ADRESSEN.DBF" --xls "$work/bestand.xlsx" --stop 1 >/dev/null
"$cli" import "$work/bestand.qno" --settings "$work/append.ini" >/dev/null
"$cli" dbf index "$db/ADRESSEN.DBF" "$db/adkun.cdx" --tag ADKUN --key KUNDE
"$cli" dbf index "$db/ADRESSEN.DBF" "$db/ADRESSEN.cdx" --tag NAME --key 'UPPER(NAME1)'
"$cli" dbf index "$db/ADRESSEN.DBF" "$db/ADRESSEN.cdx" --tag PLZ --key PLZ
printf '[Updaten]\r\nNummer=.T.\r\n' >"$work/zandor.ini"
"$cli" profile make "$work/adressen.qno" --dbf "$db/ADRESSEN.DBF" --xls "$work/adressen.xlsx" \
  --stop 1 >/dev/null
mv "$db" "$work/stock"
export WINEPREFIX="$root/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p 2>/dev/null || true  # already running: fine
seconds() {
  local from=$EPOCHREALTIME
  "$@" >/dev/null
  echo "$EPOCHREALTIME - $from" | bc
}
: >"$work/linux" && : >"$work/wine"
for run in $(seq "$runs"); do
  rm -rf "$db" && cp -r "$work/stock" "$db"
  seconds "$cli" import "$work/adressen.qno" --settings "$work/zandor.ini" >>"$work/linux"
  rm -rf "$db" && cp -r "$work/stock" "$db"
  seconds wine "$exe" import "$work/adressen.qno" --settings "$work/zandor.ini" >>"$work/wine"
  echo "run $run: Linux $(tail -1 "$work/linux") s, Wine $(tail -1 "$work/wine") s"
done
median() { sort -n "$1" | sed -n "$(( (runs + 1) / 2 ))p"; }
echo "median: Linux $(median "$work/linux") s, Wine $(median "$work/wine") s ($rows rows)"
wineserver -k || true
