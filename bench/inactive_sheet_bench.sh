#!/usr/bin/env bash
# Peak memory and time of opening a workbook whose large sheet is not the active one, beside
# the same workbook with the large sheet active: only the active sheet is read at once.
# Usage: bench/inactive_sheet_bench.sh [ROWS]   (default 500000 rows x 10 columns)
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-500000}"
build=build/default
cmake --build "$build" --target zandor-cli >/dev/null
cli="$build/src/cli/zandor-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$work" "$rows" <<'PY'
import sys, zipfile
work, rows = sys.argv[1], int(sys.argv[2])
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
big = ''.join('<row r="%d">%s</row>' % (r, ''.join(
    '<c r="%s%d" t="inlineStr"><is><t>Zeile %d Spalte %d</t></is></c>' % (chr(65 + c), r, r, c)
    if c % 2 else '<c r="%s%d"><v>%d.25</v></c>' % (chr(65 + c), r, r * c) for c in range(10)))
    for r in range(1, rows + 1))
small = '<row r="1"><c r="A1"><v>1</v></c></row>'
for name, active in (('inactive', 0), ('active', 1)):
    with zipfile.ZipFile('%s/%s.xlsx' % (work, name), 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml', '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
        z.writestr('_rels/.rels', '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % rel)
        z.writestr('xl/workbook.xml', '<workbook %s xmlns:r="%s"><bookViews><workbookView activeTab="%d"/></bookViews><sheets><sheet name="Klein" sheetId="1" r:id="s1"/><sheet name="Gross" sheetId="2" r:id="s2"/></sheets></workbook>' % (ns, rel, active))
        z.writestr('xl/_rels/workbook.xml.rels', '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="s1" Type="%s/worksheet" Target="worksheets/a.xml"/><Relationship Id="s2" Type="%s/worksheet" Target="worksheets/b.xml"/></Relationships>' % (rel, rel))
        z.writestr('xl/worksheets/a.xml', '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, small))
        z.writestr('xl/worksheets/b.xml', '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, big))
PY
unzip -l "$work/inactive.xlsx" | awk '/b.xml/ {print "large sheet XML: " $1 " bytes"}'
for name in inactive active; do
  echo "== large sheet $name: sheet dump"
  /usr/bin/time -f "%e s, peak %M KB" "$cli" sheet dump "$work/$name.xlsx" >/dev/null
done
