#!/usr/bin/env bash
# Makes the spreadsheet fixtures once with LibreOffice (headless): the same workbook as
# .ods, .xlsx and .xls. The tests read the committed results; they never run LibreOffice.
# Needs the Debian packages libreoffice-calc, python3-uno and xvfb: the active sheet is only
# stored by an office that has a view, so it runs under a virtual X display.
set -euo pipefail
cd "$(dirname "$0")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/mixed.fods" <<'FODS'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
  xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
  xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
  xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
  xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
  xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0"
  office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:settings>
  <config:config-item-set config:name="ooo:view-settings">
   <config:config-item-map-indexed config:name="Views">
    <config:config-item-map-entry>
     <config:config-item config:name="ViewId" config:type="string">view1</config:config-item>
     <config:config-item config:name="ActiveTable" config:type="string">Daten</config:config-item>
    </config:config-item-map-entry>
   </config:config-item-map-indexed>
  </config:config-item-set>
 </office:settings>
 <office:styles>
  <number:date-style style:name="Ndate">
   <number:day number:style="long"/><number:text>.</number:text>
   <number:month number:style="long"/><number:text>.</number:text>
   <number:year number:style="long"/>
  </number:date-style>
  <number:date-style style:name="Ndatetime">
   <number:day number:style="long"/><number:text>.</number:text>
   <number:month number:style="long"/><number:text>.</number:text>
   <number:year number:style="long"/><number:text> </number:text>
   <number:hours number:style="long"/><number:text>:</number:text>
   <number:minutes number:style="long"/><number:text>:</number:text>
   <number:seconds number:style="long"/>
  </number:date-style>
  <number:time-style style:name="Ntime">
   <number:hours number:style="long"/><number:text>:</number:text>
   <number:minutes number:style="long"/><number:text>:</number:text>
   <number:seconds number:style="long"/>
  </number:time-style>
  <number:number-style style:name="Ngerman">
   <number:number number:decimal-places="2" number:min-decimal-places="2"
     number:min-integer-digits="1" number:grouping="true"/>
  </number:number-style>
  <number:boolean-style style:name="Nbool"><number:boolean/></number:boolean-style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="cedate" style:family="table-cell" style:data-style-name="Ndate"/>
  <style:style style:name="cedatetime" style:family="table-cell" style:data-style-name="Ndatetime"/>
  <style:style style:name="cetime" style:family="table-cell" style:data-style-name="Ntime"/>
  <style:style style:name="cegerman" style:family="table-cell" style:data-style-name="Ngerman"/>
  <style:style style:name="cebool" style:family="table-cell" style:data-style-name="Nbool"/>
 </office:automatic-styles>
 <office:body>
  <office:spreadsheet>
   <table:table table:name="Info">
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Erstes Blatt</text:p></table:table-cell>
     <table:table-cell office:value-type="float" office:value="1"><text:p>1</text:p></table:table-cell>
    </table:table-row>
   </table:table>
   <table:table table:name="Daten">
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>NUMMER</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>NAME</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>BETRAG</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>DATUM</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>AKTIV</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>FORMEL</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>00123</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>  Müller &amp; Söhne  </text:p></table:table-cell>
     <table:table-cell table:style-name="cegerman" office:value-type="float" office:value="1234.56"><text:p>1.234,56</text:p></table:table-cell>
     <table:table-cell table:style-name="cedate" office:value-type="date" office:date-value="2012-03-15"><text:p>15.03.2012</text:p></table:table-cell>
     <table:table-cell table:style-name="cebool" office:value-type="boolean" office:boolean-value="true"><text:p>WAHR</text:p></table:table-cell>
     <table:table-cell table:formula="of:=[.C2]*2" office:value-type="float" office:value="2469.12"><text:p>2469,12</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>A-7</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Größe ÄÖÜ äöü ß €</text:p></table:table-cell>
     <table:table-cell office:value-type="float" office:value="0"><text:p>0</text:p></table:table-cell>
     <table:table-cell table:style-name="cedatetime" office:value-type="date" office:date-value="2021-12-31T23:59:58"><text:p>31.12.2021 23:59:58</text:p></table:table-cell>
     <table:table-cell table:style-name="cebool" office:value-type="boolean" office:boolean-value="false"><text:p>FALSCH</text:p></table:table-cell>
     <table:table-cell table:formula="of:=1/0" office:value-type="float" office:value="0"><text:p>#DIV/0!</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="float" office:value="4711"><text:p>4711</text:p></table:table-cell>
     <table:table-cell/>
     <table:table-cell office:value-type="float" office:value="12345678901234"><text:p>12345678901234</text:p></table:table-cell>
     <table:table-cell table:style-name="cetime" office:value-type="time" office:time-value="PT08H15M00S"><text:p>08:15:00</text:p></table:table-cell>
     <table:table-cell/>
     <table:table-cell table:formula="of:=CONCATENATE(&quot;Nr. &quot;;[.A4])" office:value-type="string"><text:p>Nr. 4711</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Z</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Ende</text:p></table:table-cell>
     <table:table-cell table:style-name="cegerman" office:value-type="float" office:value="-0.5"><text:p>-0,50</text:p></table:table-cell>
     <table:table-cell/>
     <table:table-cell/>
     <table:table-cell table:formula="of:=[.C5]&gt;0" office:value-type="boolean" office:boolean-value="false"><text:p>FALSCH</text:p></table:table-cell>
    </table:table-row>
   </table:table>
  </office:spreadsheet>
 </office:body>
</office:document>
FODS

# Plain --convert-to loses the active sheet; a small UNO script makes "Daten" active and
# stores the workbook in the three formats (needs python3-uno too).
cat > "$work/convert.py" <<'PY'
import sys, time, uno
from com.sun.star.beans import PropertyValue

def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p

work = sys.argv[1]
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
for _ in range(100):
    try:
        ctx = resolver.resolve("uno:pipe,name=zandorfixtures;urp;StarOffice.ComponentContext")
        break
    except Exception:
        time.sleep(0.2)
desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
doc = None
for _ in range(50):  # a fresh profile may still be starting up
    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(work + "/mixed.fods"), "_blank", 0, ())
    if doc is not None:
        break
    time.sleep(0.5)
doc.getCurrentController().setActiveSheet(doc.Sheets.getByName("Daten"))
for ext, flt in (("ods", "calc8"), ("xlsx", "Calc MS Excel 2007 XML"), ("xls", "MS Excel 97")):
    doc.storeToURL(uno.systemPathToFileUrl(work + "/mixed." + ext), (prop("FilterName", flt),))
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
PY

xvfb-run -a soffice --nologo --norestore -env:UserInstallation=file://"$work"/profile \
  --accept="pipe,name=zandorfixtures;urp;" >/dev/null 2>&1 &
office=$!
/usr/bin/python3 "$work/convert.py" "$work"
wait "$office" || true
for fmt in ods xlsx xls; do cp "$work/mixed.$fmt" "mixed_lo.$fmt"; done
ls -l mixed_lo.*
