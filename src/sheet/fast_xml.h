#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/xml_faults.h"
#include "sheet/xml_stream.h"

namespace zandor::sheet {

// A streaming XML parser for UTF-8 parts, several times faster than expat on worksheet
// XML, which is most of the time a workbook takes to open. It checks what a reader needs
// to trust its events — tags nest and match, attributes are quoted, entities are known,
// nothing but markup around the root — and refuses DTDs. Events and errors are the same
// as XmlStream's (SheetReadError with the part name and line).
class FastXmlStream {
 public:
  FastXmlStream(XmlHandler& handler, std::string partName);
  // Starts inside elements already open, as the second half of a part parsed in two:
  // openNames as openNames() gave them.
  FastXmlStream(XmlHandler& handler, std::string partName, std::string_view openNames);

  // The names of the open elements, outermost first, each ending in '\0'.
  std::string_view openNames() const { return openNames_; }
  // Whether everything fed so far is parsed but blanks, so that the next byte would begin
  // a new token.
  bool restsBetweenTags() const;

  void feed(const char* data, std::size_t size);
  void finish();

 private:
  // Parses what buf_ holds from pos_; stops before a token that is not complete yet.
  void parse(bool final);
  // Returns the length of the tag starting at p, or 0 when it is not complete yet.
  std::size_t tagLength(const char* p, const char* end) const;
  // Takes a small element starting at p at once (see SimpleElement) and returns its
  // length; 0, with nothing done, when it is anything else or not complete yet.
  std::size_t simpleElement(char* p, const char* end);
  void tag(const char* p, std::size_t length);
  void startTag(const char* p, const char* end);
  void endTag(const char* p, const char* end);
  void text(const char* p, const char* end);
  // Appends the text with entities decoded.
  void decode(const char* p, const char* end, std::string& out);
  [[noreturn]] void fail(const char* at, XmlFault fault);

  XmlHandler& handler_;
  std::string partName_;
  std::string buf_;
  std::size_t pos_ = 0;
  std::uint64_t line_ = 1;  // line of buf_[0]
  std::string openNames_;   // names of the open elements, each ending in '\0'
  std::vector<std::size_t> openStarts_;
  bool sawRoot_ = false;
  // Decodes the entities of [p, end) in place; returns the new end.
  char* decodeInPlace(char* p, char* end);

  struct Span {
    char* name;
    char* nameEnd;
    char* value;
    char* valueEnd;
  };
  std::vector<Span> spans_;
  std::string textBuf_;
  std::vector<const char*> attrs_;
};

}  // namespace zandor::sheet
