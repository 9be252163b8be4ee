#pragma once

#include <string>

namespace zandor::test {

// The records of a table as our layer reads them, one line per record in the form of the
// scripts in support/crosscheck/ (record number, deletion flag, C/N/F/D/L/M fields).
// With dbase4MemoLeftOut, memo texts of dBase IV tables read as "-" (see dbfread_dump.py).
std::string ourDump(const std::string& path, bool dbase4MemoLeftOut = false);

// Runs one independent reader ("dbfread" or "xbase"); false when it could not read the table.
bool readerDump(const std::string& reader, const std::string& path, std::string* out);

// Python dbfread and Perl XBase read the table exactly as we do.
void expectReadersAgree(const std::string& path);

}  // namespace zandor::test
