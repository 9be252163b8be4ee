"""Prints a table's records as Python dbfread reads them, one line per record:
record number, deletion flag, then the C, N, F, D, L and M fields as text
(text without trailing blanks, numbers with the field's decimals, dates as YYYYMMDD,
logicals as T or F), tab-separated, with tab, LF, CR and backslash escaped.
Text of a table whose header marks a code page other than Windows-1252 is read in
that page (dbfread's own table of marks) and written as Windows-1252, a character
that page lacks as "?"; other text bytes are passed through unchanged."""
import sys

from dbfread import DBF
from dbfread.codepages import guess_encoding

WANTED = "CNFDLM"


def escape(data):
    return (data.replace(b"\\", b"\\\\").replace(b"\t", b"\\t")
            .replace(b"\n", b"\\n").replace(b"\r", b"\\r"))


# dbfread takes the length of a dBase IV memo block without its 8-byte header and
# assumes 512-byte blocks, so it misreads those memos; their text is left out.
DBASE4_MEMO_VERSIONS = (0x04, 0x7B, 0x8B, 0x8C)


PASSED_THROUGH = ("ascii", "cp1252")
ENCODING = None  # the marked page, when its text is translated


def translated(data):
    if ENCODING is None:
        return data
    return data.decode(ENCODING, errors="replace").encode("cp1252", errors="replace")


def text_of(field, value):
    kind = field.type
    if kind == "C":
        return translated(value.encode("latin-1")).rstrip(b" ")
    if kind in "NF":
        if value is None:
            value = 0
        return ("%.*f" % (field.decimal_count, value)).encode()
    if kind == "D":
        return value.strftime("%Y%m%d").encode() if value else b""
    if kind == "L":
        return b"T" if value else b"F"
    if kind == "M":
        if value is None:
            return b""
        if isinstance(value, bytes):
            return value.rstrip(b" ")
        return translated(value.encode("latin-1")).rstrip(b" ")
    return b""


def main(path):
    global ENCODING
    table = DBF(path, encoding="latin-1", load=False)
    try:
        encoding = guess_encoding(table.header.language_driver)
    except LookupError:
        encoding = "ascii"
    if encoding not in PASSED_THROUGH:
        ENCODING = encoding
    out = sys.stdout.buffer
    with table._open_memofile() as memofile:
        parse = table.parserclass(table, memofile).parse
        with open(path, "rb") as infile:
            infile.seek(table.header.headerlen)
            for recno in range(1, table.header.numrecords + 1):
                data = infile.read(table.header.recordlen)
                if len(data) < table.header.recordlen:
                    break
                parts = [str(recno).encode(), data[0:1]]
                pos = 1
                for field in table.fields:
                    raw = data[pos:pos + field.length]
                    pos += field.length
                    if field.type not in WANTED:
                        continue
                    if field.type == "M" and table.header.dbversion in DBASE4_MEMO_VERSIONS:
                        parts.append(b"-")
                    else:
                        parts.append(escape(text_of(field, parse(field, raw))))
                out.write(b"\t".join(parts) + b"\n")


if __name__ == "__main__":
    main(sys.argv[1])
