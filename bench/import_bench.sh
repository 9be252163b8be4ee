#!/usr/bin/env bash
# Benchmarks the import run end to end: makes a ROWS x 10 .xlsx of addresses, written three
# ways (texts shared, texts inline as streaming writers put them, and the first once more as
# LibreOffice writes it), and an ADRESSEN table that already holds half of its keys (filled
# by our own import, indexed by our own index creation: adkun.cdx with ADKUN on KUNDE, the
# structural ADRESSEN.cdx with UPPER(NAME1) and PLZ), then times `zandor-cli import` in
# update mode beside ogr2ogr converting the same .xlsx into a plain .dbf without any index,
# in turn within one run, for each of the three files.
# Usage: [PAIRS=7] bench/import_bench.sh [ROWS] [DIR]   (default 100000 rows, a temporary directory;
# installs gdal-bin, time and libreoffice-calc-nogui when missing; the files stay in DIR when
# it is given)
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-100000}"
pairs="${PAIRS:-7}"
build=build/default
cli="$build/src/cli/zandor-cli"
[ -x "$cli" ] || ./scripts/build default
cmake --build "$build" --target zandor-cli >/dev/null
for pair in ogr2ogr:gdal-bin /usr/bin/time:time libreoffice:libreoffice-calc-nogui; do
  if ! command -v "${pair%%:*}" >/dev/null; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${pair#*:}" >/dev/null
  fi
done
if [ -n "${2:-}" ]; then
  work="$(realpath "$2")"
  mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
g++ -std=c++20 -O2 bench/import_bench.cpp $(pkg-config --libs libzip) -o "$work/import_bench"
"$work/import_bench" "$work" "$rows"
rm -rf "$work/lo"
libreoffice --headless --convert-to xlsx --outdir "$work/lo" "$work/adressen.xlsx" >/dev/null 2>&1
mv "$work/lo/adressen.xlsx" "$work/adressen_lo.xlsx"
for kind in "" _inline _lo; do
  ls -l "$work/adressen$kind.xlsx" | awk '{print "file size: " $5 " bytes, " $9}'
done

# The stock: half of the keys, imported by appending, then indexed.
db="$work/db"
rm -rf "$db" "$work/log" "$work/ogr"
mkdir -p "$db"
"$cli" dbf create "$db/ADRESSEN.DBF" KUNDE:C:10 NAME1:C:30 NAME2:C:30 STRASSE:C:30 PLZ:C:5 \
  ORT:C:30 TELEFON:C:20 UMSATZ:N:12:2 RABATT:N:5:2 ANGELEGT:D:8
printf '[Updaten]\r\nNummer=.F.\r\n' >"$work/append.ini"
"$cli" profile make "$work/bestand.qno" --dbf "$db/ADRESSEN.DBF" --xls "$work/bestand.xlsx" --stop 1
"$cli" import "$work/bestand.qno" --settings "$work/append.ini" >/dev/null
"$cli" dbf index "$db/ADRESSEN.DBF" "$db/adkun.cdx" --tag ADKUN --key KUNDE
"$cli" dbf index "$db/ADRESSEN.DBF" "$db/ADRESSEN.cdx" --tag NAME --key 'UPPER(NAME1)'
"$cli" dbf index "$db/ADRESSEN.DBF" "$db/ADRESSEN.cdx" --tag PLZ --key PLZ
echo "table before the run: $("$cli" dbf dump "$db/ADRESSEN.DBF" | wc -l) records"
rm -rf "$work/stock"
cp -r "$db" "$work/stock"

# The timed runs: the pair in turn, PAIRS times for each file (this machine's speed drifts by
# a fifth between runs; the median of the pairs' ratios is what counts).
printf '[Updaten]\r\nNummer=.T.\r\n' >"$work/zandor.ini"
"$cli" profile make "$work/adressen.qno" --dbf "$db/ADRESSEN.DBF" --xls "$work/adressen.xlsx" \
  --stop 1
median=$(( (pairs + 1) / 2 ))
for kind in "" _inline _lo; do
  file="$work/adressen$kind.xlsx"
  : >"$work/pairs.txt"
  for pair in $(seq "$pairs"); do
    rm -rf "$db" "$work/ogr"
    cp -r "$work/stock" "$db"
    /usr/bin/time -f "%e %M %U %S" -o "$work/zandor.time" \
      "$cli" import "$work/adressen.qno" --settings "$work/zandor.ini" --xls "$file" \
      >"$work/summary.txt"
    /usr/bin/time -f "%e %M %U %S" -o "$work/ogr.time" \
      ogr2ogr -f "ESRI Shapefile" "$work/ogr" "$file"
    echo "$(cat "$work/zandor.time") $(cat "$work/ogr.time")" >>"$work/pairs.txt"
  done
  echo "== $(basename "$file"): zandor-cli import (update mode, adkun.cdx + ADRESSEN.cdx with 3 tags), last run"
  tr -d '\r' <"$work/summary.txt" | sed 's/^/  /'

  # Not timed: the run must have kept the table and every index sound.
  "$cli" dbf check "$db/ADRESSEN.DBF" "$db/adkun.cdx" "$db/ADRESSEN.cdx" >/dev/null ||
    { echo "dbf check failed after the import" >&2; exit 1; }
  records="$("$cli" dbf dump "$db/ADRESSEN.DBF" | wc -l)"
  [ "$records" -eq "$rows" ] || { echo "expected $rows records, found $records" >&2; exit 1; }
  echo "table after the run: $records records, indexes checked"

  # Wall time counts, and CPU time (user + system) too, which a loaded machine disturbs less.
  sort -n -k5 <(awk '{print $1, $2, $5, $6, $1 / $5, $3 + $4, $7 + $8}' "$work/pairs.txt") \
    >"$work/sorted.txt"
  read -r zt zm ot om ratio _ < <(sed -n "${median}p" "$work/sorted.txt")
  cpuRatio=$(awk '{print ($7 > 0 ? $6 / $7 : 0)}' "$work/sorted.txt" | sort -n | sed -n "${median}p")
  awk -v rows="$rows" -v zt="$zt" -v zm="$zm" -v ot="$ot" -v om="$om" -v ratio="$ratio" 'BEGIN {
    printf "%-34s %8s %12s %12s\n", "(the pair with the median ratio)", "seconds", "rows/s", "peak MB"
    printf "%-34s %8.2f %12.0f %12.1f\n", "zandor-cli import (update, 3 tags)", zt, rows / zt, zm / 1024
    printf "%-34s %8.2f %12.0f %12.1f\n", "ogr2ogr to a plain .dbf", ot, rows / ot, om / 1024
  }'
  awk '{printf "%.2f ", $5} END {print ""}' "$work/sorted.txt" | sed 's/^/zandor \/ ogr2ogr per pair, sorted: /'
  printf "zandor / ogr2ogr, median of %d pairs: %.2f (goal: at most 0.40)\n" "$pairs" "$ratio"
  printf "zandor / ogr2ogr in CPU time (user + system), median of %d pairs: %.2f\n" "$pairs" \
    "$cpuRatio"
done
