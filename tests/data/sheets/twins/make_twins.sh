#!/usr/bin/env bash
# Makes the .xlsx twins of .xls workbooks with LibreOffice (headless), for the tests that
# read both and compare them cell by cell. The tests read the committed files; they never
# run LibreOffice. Needs the Debian package libreoffice-calc-nogui.
#   - the .xls files of ../shared/fixtures/sheets (and its corpus) -> NAME.xlsx
#   - biff_mix.xls, written by LibreOffice from a generated workbook (2 sheets; 700 rows of
#     texts in several scripts and widths, so the shared texts run over CONTINUE records,
#     some split inside a text; numbers, dates, times, booleans, number formulas and errors),
#     and its twin biff_mix.xlsx. LibreOffice stores no text or boolean results of formulas
#     in .xls (it computes them again when it opens the file), so there are none here.
set -euo pipefail
cd "$(dirname "$0")"
shared=../../../../../shared/fixtures/sheets
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$shared"/corpus/*.xls "$shared"/kunden_lo.xls "$work/"
chmod u+w "$work"/*.xls
libreoffice --headless --convert-to xlsx --outdir . "$work"/*.xls
# The twins' names leave out the word "issue" of the originals' names.
for f in *issue*.xlsx; do [ -e "$f" ] && mv "$f" "${f//issue/}"; done

python3 - "$work/biff_mix.fods" <<'PY'
import random, sys
random.seed(17)
ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" '
      'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" '
      'office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet"')
def esc(s): return s.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')
def text(s): return '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % esc(s)
def num(v): return '<table:table-cell office:value-type="float" office:value="%r"/>' % v
words = ['M\u00fcller', 'Stra\u00dfe', 'Gr\u00f6\u00dfe', '\u20ac Preis', '\u0395\u03bb\u03bb\u03ac\u03b4\u03b1', '\u6771\u4eac\u90fd', 'na\u00efve', 'Zo\u00eb', 'plain', 'ASCII']
rows = ['<table:table-row>%s%s%s</table:table-row>' % (
    text('%s %d' % (' '.join(random.choice(words) for _ in range(random.randint(1, 6))), r)),
    text('Text Nr. %05d' % r), num(r * 1.5)) for r in range(700)]
rows.append('<table:table-row>%s%s</table:table-row>' % (text('lang ' + 'abcdefghij' * 1200), text('breit ' + '\u00e4\u00f6\u00fc\u20ac' * 3000)))
styles = ('<office:automatic-styles>'
  '<number:date-style style:name="N1"><number:day number:style="long"/><number:text>.</number:text><number:month number:style="long"/><number:text>.</number:text><number:year number:style="long"/></number:date-style>'
  '<number:date-style style:name="N2"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/><number:text> </number:text><number:hours number:style="long"/><number:text>:</number:text><number:minutes number:style="long"/><number:text>:</number:text><number:seconds number:style="long" number:decimal-places="3"/></number:date-style>'
  '<number:time-style style:name="N3" number:truncate-on-overflow="false"><number:hours/><number:text>:</number:text><number:minutes number:style="long"/></number:time-style>'
  '<number:boolean-style style:name="N4"><number:boolean/></number:boolean-style>'
  '<style:style style:name="ceD" style:family="table-cell" style:data-style-name="N1"/>'
  '<style:style style:name="ceT" style:family="table-cell" style:data-style-name="N2"/>'
  '<style:style style:name="ceH" style:family="table-cell" style:data-style-name="N3"/>'
  '<style:style style:name="ceB" style:family="table-cell" style:data-style-name="N4"/>'
  '</office:automatic-styles>')
z = ['<table:table-row>%s</table:table-row>' % ''.join(text(h) for h in ['Zahl', 'Datum', 'Zeitpunkt', 'Dauer', 'Wahr', 'Formeltext', 'Fehler', 'Ganz'])]
for r in range(1, 300):
    z.append('<table:table-row>%s</table:table-row>' % ''.join([
      num(random.choice([0, -1, 1e-9, 123456789.125, -0.5, r / 7.0, 2**31, -2**29, 65536.01])),
      '<table:table-cell office:value-type="date" office:date-value="%04d-%02d-%02d" table:style-name="ceD"/>' % (random.randint(1900, 2099), random.randint(1, 12), random.randint(1, 28)),
      '<table:table-cell office:value-type="date" office:date-value="2024-02-29T%02d:%02d:%02d.%03d" table:style-name="ceT"/>' % (r % 24, r % 60, (r * 7) % 60, (r * 37) % 1000),
      '<table:table-cell office:value-type="time" office:time-value="PT%dH%02dM00S" table:style-name="ceH"/>' % (r % 50, r % 60),
      '<table:table-cell office:value-type="boolean" office:boolean-value="%s" table:style-name="ceB"/>' % ('true' if r * 3 > 100 else 'false'),
      text('Wert %d' % (r * 3)),
      '<table:table-cell table:formula="of:=1/([.H%d]-%d)" office:value-type="float" office:value="1"/>' % (r + 1, r * 3 - 1) if r % 5 else '<table:table-cell table:formula="of:=1/0" office:value-type="string" office:string-value=""><text:p>#DIV/0!</text:p></table:table-cell>',
      num(r * 3)]))
doc = ('<?xml version="1.0" encoding="UTF-8"?><office:document %s>%s<office:body><office:spreadsheet>'
       '<table:table table:name="Texte">%s</table:table><table:table table:name="Zahlen">%s</table:table>'
       '</office:spreadsheet></office:body></office:document>') % (ns, styles, ''.join(rows), ''.join(z))
open(sys.argv[1], 'w', encoding='utf-8').write(doc)
PY
libreoffice --headless --convert-to xls --outdir . "$work/biff_mix.fods"
libreoffice --headless --convert-to xlsx --outdir "$work" biff_mix.xls
cp "$work/biff_mix.xlsx" .
