#!/usr/bin/env bash
# Runs complete imports on copies of the example tables: changed and new addresses and
# articles into the CDX and the NTX copies (updating on), articles once more with generated
# numbers; then checks the index files the runs kept up to date, rebuilds the one they did
# not use (the reorganisation the summary asks for) and shows the tables.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="${ZANDOR_CLI:-$here/../build/default/src/cli/zandor-cli}"
work="${1:-$(mktemp -d)}"
mkdir -p "$work"
cp -r "$here/data/cdx" "$here/data/ntx" "$work/"

for kind in cdx ntx; do
  dir="$work/$kind"
  echo "=== $kind: Adressen und Artikel aktualisieren und anhängen"
  printf '[Updaten]\r\nNummer=.T.\r\nArtikelart=1\r\n' >"$dir/zandor.ini"
  "$cli" profile make "$dir/adressen.qno" --dbf "$dir/ADRESSEN.DBF" --xls "$here/adressen_neu.csv" --stop 1
  "$cli" import "$dir/adressen.qno" --settings "$dir/zandor.ini"
  "$cli" profile make "$dir/artikel.qno" --dbf "$dir/ARTIKEL.DBF" --xls "$here/artikel_neu.csv" --stop 1
  "$cli" import "$dir/artikel.qno" --settings "$dir/zandor.ini"

  echo "=== $kind: Artikel mit erzeugten Nummern (Vorlauf A-)"
  printf '[Artikel]\r\nVorlauf=A-\r\nNummer=1\r\n[Updaten]\r\nNummer=.F.\r\nArtikelart=1\r\n' \
    >"$dir/zandor.ini"
  "$cli" profile make "$dir/auto.qno" --dbf "$dir/ARTIKEL.DBF" --xls "$here/artikel_neu.csv" \
    --stop 1 --auto-art
  "$cli" import "$dir/auto.qno" --settings "$dir/zandor.ini"
  grep -A2 '^\[Artikel\]' "$dir/zandor.ini" | tr -d '\r'

  echo "=== $kind: Indexprüfung (die Indizes, die die Läufe gepflegt haben)"
  for index in "$dir"/*."$kind"; do
    case "$(basename "$index")" in
      lalienum.*) continue ;;
      adkun.* | ADRESSEN.*) table="$dir/ADRESSEN.DBF" ;;
      *) table="$dir/ARTIKEL.DBF" ;;
    esac
    "$cli" dbf check "$table" "$index"
  done
  echo "=== $kind: Reorganisation des nicht gepflegten Index lalienum"
  "$cli" dbf reindex "$dir/ARTIKEL.DBF" "$dir/lalienum.$kind"
  "$cli" dbf check "$dir/ARTIKEL.DBF" "$dir/lalienum.$kind"
  echo "=== $kind: Tabellen"
  "$cli" dbf dump "$dir/ADRESSEN.DBF"
  "$cli" dbf dump "$dir/ARTIKEL.DBF"
  echo "Protokolle: $dir/log"
done
