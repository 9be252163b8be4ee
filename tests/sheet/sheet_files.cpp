#include "sheet_files.h"

#include <zip.h>

#include <stdexcept>

namespace zandor::test {

ZipParts readZip(const std::filesystem::path& file) {
  int error = 0;
  zip_t* z = zip_open(reinterpret_cast<const char*>(file.u8string().c_str()), ZIP_RDONLY, &error);
  if (!z) throw std::runtime_error("zip_open");
  ZipParts parts;
  const zip_int64_t n = zip_get_num_entries(z, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    std::string data(static_cast<std::size_t>(st.size), '\0');
    if (!f || zip_fread(f, data.data(), st.size) != static_cast<zip_int64_t>(st.size)) {
      if (f) zip_fclose(f);
      zip_discard(z);
      throw std::runtime_error("zip_fread");
    }
    zip_fclose(f);
    parts.push_back({st.name, data});
  }
  zip_discard(z);
  return parts;
}

void writeZip(const std::filesystem::path& file, const ZipParts& parts) {
  int error = 0;
  zip_t* z = zip_open(reinterpret_cast<const char*>(file.u8string().c_str()),
                      ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) throw std::runtime_error("zip_open");
  for (const auto& [name, data] : parts) {
    zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
    if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(src);
      zip_discard(z);
      throw std::runtime_error("zip_file_add");
    }
  }
  if (zip_close(z) != 0) {
    zip_discard(z);
    throw std::runtime_error("zip_close");
  }
}

ZipParts xlsxParts(const XlsxContent& content) {
  const std::string ns =
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  const std::string relNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  ZipParts parts;
  parts.push_back({"[Content_Types].xml",
                   "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                   "package/2006/content-types\"/>"});
  parts.push_back(
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
       "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
           relNs + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"});
  std::string sheets, rels;
  for (std::size_t i = 0; i < content.sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    sheets += "<sheet name=\"Blatt" + n + "\" sheetId=\"" + n + "\" r:id=\"rIdS" + n + "\"/>";
    // Deliberately not sheetN.xml, and the first one with an absolute target.
    const std::string target =
        i == 0 ? "/xl/worksheets/data_a.xml" : "worksheets/data_" + n + ".xml";
    rels += "<Relationship Id=\"rIdS" + n + "\" Type=\"" + relNs + "/worksheet\" Target=\"" +
            target + "\"/>";
    parts.push_back({i == 0 ? "xl/worksheets/data_a.xml" : "xl/worksheets/data_" + n + ".xml",
                     "<?xml version=\"1.0\"?><worksheet " + ns + "><sheetData>" +
                         content.sheets[i] + "</sheetData></worksheet>"});
  }
  rels += "<Relationship Id=\"rIdSt\" Type=\"" + relNs + "/styles\" Target=\"styles.xml\"/>";
  if (!content.sharedStrings.empty()) {
    rels += "<Relationship Id=\"rIdSs\" Type=\"" + relNs +
            "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    parts.push_back({"xl/sharedStrings.xml",
                     "<?xml version=\"1.0\"?><sst " + ns + ">" + content.sharedStrings + "</sst>"});
  }
  parts.push_back({"xl/styles.xml", "<?xml version=\"1.0\"?><styleSheet " + ns + "><numFmts>" +
                                        content.numFmts + "</numFmts><cellXfs>" + content.cellXfs +
                                        "</cellXfs></styleSheet>"});
  std::string views;
  if (content.activeTab >= 0)
    views = "<bookViews><workbookView activeTab=\"" + std::to_string(content.activeTab) +
            "\"/></bookViews>";
  parts.push_back({"xl/workbook.xml", "<?xml version=\"1.0\"?><workbook " + ns + ">" +
                                          content.workbookPr + views + "<sheets>" + sheets +
                                          "</sheets></workbook>"});
  parts.push_back(
      {"xl/_rels/workbook.xml.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
       "package/2006/relationships\">" +
           rels + "</Relationships>"});
  return parts;
}

void writeXlsx(const std::filesystem::path& file, const XlsxContent& content) {
  writeZip(file, xlsxParts(content));
}

void writeOds(const std::filesystem::path& file, const std::string& tables,
              const std::string& activeTable) {
  const std::string ns =
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
      "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\"";
  ZipParts parts;
  parts.push_back({"mimetype", "application/vnd.oasis.opendocument.spreadsheet"});
  parts.push_back(
      {"content.xml", "<?xml version=\"1.0\"?><office:document-content " + ns +
                          "><office:body><office:spreadsheet>" + tables +
                          "</office:spreadsheet></office:body></office:document-content>"});
  if (!activeTable.empty()) {
    parts.push_back(
        {"settings.xml",
         "<?xml version=\"1.0\"?><office:document-settings " + ns +
             "><office:settings><config:config-item-set config:name=\"ooo:view-settings\">"
             "<config:config-item-map-indexed config:name=\"Views\"><config:config-item-map-entry>"
             "<config:config-item config:name=\"ActiveTable\" config:type=\"string\">" +
             activeTable +
             "</config:config-item></config:config-item-map-entry></config:config-item-map-indexed>"
             "</config:config-item-set></office:settings></office:document-settings>"});
  }
  writeZip(file, parts);
}

namespace {
void put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
}  // namespace

std::string compoundFile(const std::vector<std::pair<std::u16string, std::string>>& streams) {
  // Layout: header, sector 0 = FAT, sector 1 = directory (4 entries), then the streams.
  const std::size_t sector = 512;
  std::vector<std::uint32_t> fat(128, 0xFFFFFFFF);
  fat[0] = 0xFFFFFFFD;  // FAT sector
  fat[1] = 0xFFFFFFFE;  // directory: one sector
  std::string dir(512, '\0');
  auto entry = [&](std::size_t i, std::u16string name, std::uint8_t type, std::uint32_t start,
                   std::uint32_t size) {
    const std::size_t at = i * 128;
    for (std::size_t k = 0; k < name.size(); ++k) put16(dir, at + 2 * k, name[k]);
    put16(dir, at + 64, static_cast<std::uint16_t>(2 * (name.size() + 1)));
    dir[at + 66] = static_cast<char>(type);
    put32(dir, at + 68, 0xFFFFFFFF);
    put32(dir, at + 72, 0xFFFFFFFF);
    put32(dir, at + 76, 0xFFFFFFFF);
    put32(dir, at + 116, start);
    put32(dir, at + 120, size);
  };
  entry(0, u"Root Entry", 5, 0xFFFFFFFE, 0);
  std::string body;
  std::uint32_t next = 2;
  for (std::size_t i = 0; i < streams.size() && i < 3; ++i) {
    const std::string& data = streams[i].second;
    const auto count = static_cast<std::uint32_t>((data.size() + sector - 1) / sector);
    entry(i + 1, streams[i].first, 2, count ? next : 0xFFFFFFFE,
          static_cast<std::uint32_t>(data.size()));
    for (std::uint32_t k = 0; k < count; ++k)
      fat[next + k] = k + 1 < count ? next + k + 1 : 0xFFFFFFFE;
    std::string padded = data;
    padded.resize(count * sector, '\0');
    body += padded;
    next += count;
  }
  std::string header(512, '\0');
  header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  put16(header, 0x18, 0x3E);
  put16(header, 0x1A, 3);
  put16(header, 0x1C, 0xFFFE);
  put16(header, 0x1E, 9);
  put16(header, 0x20, 6);
  put32(header, 0x2C, 1);
  put32(header, 0x30, 1);
  put32(header, 0x38, 0);  // no mini stream: every stream lives in the FAT
  put32(header, 0x3C, 0xFFFFFFFE);
  put32(header, 0x44, 0xFFFFFFFE);
  put32(header, 0x4C, 0);
  for (int i = 1; i < 109; ++i) put32(header, 0x4C + 4 * i, 0xFFFFFFFF);
  std::string fatBytes(512, '\0');
  for (std::size_t i = 0; i < fat.size(); ++i) put32(fatBytes, 4 * i, fat[i]);
  return header + fatBytes + dir + body;
}

}  // namespace zandor::test
