#!/usr/bin/env bash
# Builds the example tables under examples/data: ADRESSEN and ARTIKEL, once with CDX and
# once with NTX indexes, filled from the *_bestand.csv sheets by our own import and indexed
# by our own index creation.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="${ZANDOR_CLI:-$here/../build/default/src/cli/zandor-cli}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for kind in cdx ntx; do
  dir="$here/data/$kind"
  rm -rf "$dir"
  mkdir -p "$dir"
  "$cli" dbf create "$dir/ADRESSEN.DBF" KUNDE:C:10 NAME1:C:30 STRASSE:C:30 PLZ:C:5 ORT:C:30 \
    UMSATZ:N:12:2 ANGELEGT:D:8 AKTIV:L:1
  "$cli" dbf create "$dir/ARTIKEL.DBF" NUMMER:C:15 LIEF_A_NR:C:20 BEZEICH:C:40 PREIS:N:10:2 \
    BESTAND:N:8 AKTIV:L:1
  printf '[Updaten]\r\nNummer=.F.\r\n' >"$work/zandor.ini"
  "$cli" profile make "$work/a.qno" --dbf "$dir/ADRESSEN.DBF" --xls "$here/adressen_bestand.csv" --stop 1
  "$cli" import "$work/a.qno" --settings "$work/zandor.ini" >/dev/null
  "$cli" profile make "$work/b.qno" --dbf "$dir/ARTIKEL.DBF" --xls "$here/artikel_bestand.csv" --stop 1
  "$cli" import "$work/b.qno" --settings "$work/zandor.ini" >/dev/null
  if [ "$kind" = cdx ]; then
    "$cli" dbf index "$dir/ADRESSEN.DBF" "$dir/adkun.cdx" --tag ADKUN --key KUNDE
    "$cli" dbf index "$dir/ADRESSEN.DBF" "$dir/ADRESSEN.cdx" --tag NAME --key 'UPPER(NAME1)'
    "$cli" dbf index "$dir/ARTIKEL.DBF" "$dir/lanum.cdx" --tag LANUM --key NUMMER
    "$cli" dbf index "$dir/ARTIKEL.DBF" "$dir/lalienum.cdx" --tag LALIENUM --key LIEF_A_NR
  else
    "$cli" dbf index "$dir/ADRESSEN.DBF" "$dir/adkun.ntx" --key KUNDE
    "$cli" dbf index "$dir/ARTIKEL.DBF" "$dir/lanum.ntx" --key NUMMER
    "$cli" dbf index "$dir/ARTIKEL.DBF" "$dir/lalienum.ntx" --key LIEF_A_NR
  fi
done
echo "Beispieldaten in $here/data angelegt."
