#!/usr/bin/env bash
# Benchmarks the spreadsheet server: builds bench/sheet_bench against the default build,
# makes a 200,000 x 10 .xlsx, times Workbooks.Add plus every cell read through the bridge,
# and compares with unzip -p (the sheet XML alone) and xlsx2csv on the same file.
# Usage: bench/sheet_bench.sh [ROWS]   (installs unzip and xlsx2csv when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-200000}"
build=build/default
[ -f "$build/libzandor_sheet.a" ] || ./scripts/build default
cmake --build "$build" --target zandor_sheet zandor_base >/dev/null
for tool in unzip xlsx2csv; do
  if ! command -v "$tool" >/dev/null; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$tool" >/dev/null
  fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++20 -O2 -Isrc bench/sheet_bench.cpp "$build/libzandor_sheet.a" "$build/libzandor_base.a" \
  $(pkg-config --libs libzip expat libisal) -o "$work/sheet_bench"
file="$work/artikel.xlsx"
"$work/sheet_bench" make "$file" "$rows"
ls -l "$file" | awk '{print "file size: " $5 " bytes"}'
unzip -l "$file" | awk '/sheet1.xml/ {print "sheet XML uncompressed: " $1 " bytes"}'
echo "== zandor (Workbooks.Add + Cells(r,c).Value for every cell)"
(cd "$work" && ./sheet_bench read "$file")
echo "== unzip -p FILE xl/worksheets/sheet1.xml > /dev/null"
/usr/bin/time -f "%e s, peak %M KB" unzip -p "$file" xl/worksheets/sheet1.xml > /dev/null
echo "== xlsx2csv FILE > /dev/null"
/usr/bin/time -f "%e s, peak %M KB" xlsx2csv "$file" > /dev/null
