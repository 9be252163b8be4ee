#include "sheet/xml_stream.h"

#include <expat.h>

#include "sheet/sheet_error.h"
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
                         XML_ErrorString(XML_GetErrorCode(P(parser_))));
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

void parseZipPart(ZipArchive& zip, std::string_view part, XmlHandler& handler) {
  XmlStream xml(handler, std::string(part));
  zip.stream(part, [&](const char* data, std::size_t size) { xml.feed(data, size); });
  xml.finish();
}

}  // namespace zandor::sheet
