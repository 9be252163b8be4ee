#include "sheet/xml_stream.h"

#include <expat.h>

#include <memory>

#include "sheet/fast_xml.h"
#include "sheet/sheet_error.h"
#include "sheet/xml_faults.h"
#include "sheet/zip_archive.h"

namespace zandor::sheet {

namespace {
XML_Parser P(void* p) {
  return static_cast<XML_Parser>(p);
}
}  // namespace

XmlStream::XmlStream(XmlHandler& handler, std::string partName)
    : handler_(handler), partName_(std::move(partName)), parser_(XML_ParserCreate("UTF-8")) {
  if (!parser_) throw SheetReadError("Kein Speicher f\xc3\xbcr den XML-Leser.");
  XML_SetUserData(P(parser_), this);
  XML_SetElementHandler(P(parser_), &XmlStream::onStart, &XmlStream::onEnd);
  XML_SetCharacterDataHandler(P(parser_), &XmlStream::onText);
  XML_SetStartDoctypeDeclHandler(P(parser_), &XmlStream::onDoctype);
}

XmlStream::~XmlStream() {
  XML_ParserFree(P(parser_));
}

void XmlStream::onStart(void* self, const char* name, const char** attrs) {
  auto* s = static_cast<XmlStream*>(self);
  try {
    s->handler_.startElement(name, attrs);
  } catch (...) {
    s->failure_ = std::current_exception();
    XML_StopParser(P(s->parser_), XML_FALSE);
  }
}

void XmlStream::onEnd(void* self, const char* name) {
  auto* s = static_cast<XmlStream*>(self);
  try {
    s->handler_.endElement(name);
  } catch (...) {
    s->failure_ = std::current_exception();
    XML_StopParser(P(s->parser_), XML_FALSE);
  }
}

void XmlStream::onText(void* self, const char* data, int length) {
  auto* s = static_cast<XmlStream*>(self);
  try {
    s->handler_.text(data, length);
  } catch (...) {
    s->failure_ = std::current_exception();
    XML_StopParser(P(s->parser_), XML_FALSE);
  }
}

void XmlStream::onDoctype(void* self, const char*, const char*, const char*, int) {
  auto* s = static_cast<XmlStream*>(self);
  // Spreadsheet parts never carry a DTD; one is only there to expand entities.
  s->failure_ = std::make_exception_ptr(
      SheetReadError("Teil \"" + s->partName_ + "\" enth\xc3\xa4lt eine DTD."));
  XML_StopParser(P(s->parser_), XML_FALSE);
}

void XmlStream::check(int status) {
  if (failure_) std::rethrow_exception(failure_);
  if (status == XML_STATUS_ERROR) {
    throw SheetReadError("Fehlerhaftes XML in \"" + partName_ + "\", Zeile " +
                         std::to_string(XML_GetCurrentLineNumber(P(parser_))) + ": " +
                         expatFaultText(XML_GetErrorCode(P(parser_))));
  }
}

void XmlStream::feed(const char* data, std::size_t size) {
  while (size > 0) {
    const int chunk = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
    check(XML_Parse(P(parser_), data, chunk, XML_FALSE));
    data += chunk;
    size -= static_cast<std::size_t>(chunk);
  }
}

void XmlStream::finish() {
  check(XML_Parse(P(parser_), "", 0, XML_TRUE));
}

namespace {

// Parts in UTF-8 (all that real writers produce) go to the fast parser; anything declaring
// another encoding goes to expat, which knows them all.
bool declaresOtherEncoding(std::string_view head) {
  if (head.size() >= 2 &&
      (static_cast<unsigned char>(head[0]) >= 0xFE || head[0] == '\0' || head[1] == '\0'))
    return true;
  if (head.substr(0, 5) != "<?xml") return false;
  const std::size_t close = head.find("?>");
  const std::string_view decl = head.substr(0, close);
  const std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return false;
  const std::size_t quote = decl.find_first_of("\"'", at);
  if (quote == std::string_view::npos) return true;
  const std::size_t endQuote = decl.find(decl[quote], quote + 1);
  std::string name(decl.substr(quote + 1, endQuote - quote - 1));
  for (char& ch : name) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  return name != "utf-8" && name != "utf8";
}

}  // namespace

PartParser::PartParser(XmlHandler& handler, std::string partName)
    : handler_(handler), partName_(std::move(partName)) {}

PartParser::~PartParser() = default;

void PartParser::feed(const char* data, std::size_t size) {
  if (!fast_ && !expat_) {
    std::string_view head(data, size);
    if (head.substr(0, 3) == "\xEF\xBB\xBF") {
      data += 3;
      size -= 3;
      head.remove_prefix(3);
    }
    if (declaresOtherEncoding(head))
      expat_ = std::make_unique<XmlStream>(handler_, partName_);
    else
      fast_ = std::make_unique<FastXmlStream>(handler_, partName_);
  }
  if (fast_)
    fast_->feed(data, size);
  else
    expat_->feed(data, size);
}

void PartParser::finish() {
  if (fast_)
    fast_->finish();
  else if (expat_)
    expat_->finish();
  else
    throw SheetReadError("Teil \"" + partName_ + "\" ist leer.");
}

void parseZipPart(ZipArchive& zip, std::string_view part, XmlHandler& handler) {
  PartParser parser(handler, std::string(part));
  zip.stream(part, [&](const char* data, std::size_t size) { parser.feed(data, size); });
  parser.finish();
}

}  // namespace zandor::sheet
