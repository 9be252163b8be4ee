#pragma once

#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace zandor::sheet {

// Element and attribute names without their namespace prefix ("x:c" -> "c").
inline std::string_view localName(const char* name) {
  if (name[0] != '\0' && name[0] != ':' && name[1] == '\0') return {name, 1};  // c, v, f, t
  const char* local = name;
  const char* p = name;
  for (; *p; ++p) {
    if (*p == ':') local = p + 1;
  }
  return std::string_view(local, static_cast<std::size_t>(p - local));
}

// The value of an attribute by local name, or nullptr.
inline const char* attribute(const char** attrs, std::string_view local) {
  for (; *attrs; attrs += 2) {
    if (localName(attrs[0]) == local) return attrs[1];
  }
  return nullptr;
}

// The value of an attribute by its full (prefixed) name, or nullptr.
inline const char* attributeExact(const char** attrs, const char* name) {
  for (; *attrs; attrs += 2) {
    if (std::strcmp(attrs[0], name) == 0) return attrs[1];
  }
  return nullptr;
}

// A small element met whole: <name attrs/>, <name attrs>text</name>,
// <name attrs><child attrs>text</child></name> (or the child empty) or
// <name attrs><child attrs><grandchild attrs>text</grandchild></child></name> (an inline
// text cell), with plain attributes. It stands for the events start(name), [start(child),]
// [start(grandchild),] [text,] [end(grandchild),] [end(child),] end(name); text is decoded
// and given only when not empty.
struct SimpleElement {
  const char* name;
  const char** attrs;
  const char* child;  // nullptr when there is none
  const char** childAttrs;
  const char* text;
  int textLength;
  bool declaresNamespace;            // an attribute of any of the elements is xmlns or xmlns:*
  const char* grandchild = nullptr;  // nullptr when there is none
  const char** grandchildAttrs = nullptr;
};

// Receives the events of one XML document (names as written, UTF-8 text). An exception
// thrown by a handler stops the parse and comes out of XmlStream::feed/finish.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void startElement(const char* name, const char** attrs) = 0;
  virtual void endElement(const char* name) = 0;
  virtual void text(const char* data, int length) = 0;
  // A shortcut for the parsers that find such elements (worksheets are mostly cells): a
  // handler may take the element at once, with exactly the effect of its events, and
  // answer true; on false it gets the events one by one.
  virtual bool takeSimple(const SimpleElement&) { return false; }
};

// A streaming expat parser fed in chunks. Throws SheetReadError for malformed XML (with the
// part name and line) and for documents with a DTD.
class XmlStream {
 public:
  XmlStream(XmlHandler& handler, std::string partName);
  ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  void feed(const char* data, std::size_t size);
  void finish();

 private:
  void check(int status);
  static void onStart(void* self, const char* name, const char** attrs);
  static void onEnd(void* self, const char* name);
  static void onText(void* self, const char* data, int length);
  static void onDoctype(void* self, const char*, const char*, const char*, int);

  XmlHandler& handler_;
  std::string partName_;
  void* parser_;
  std::exception_ptr failure_;
};

class FastXmlStream;

// Parses one part fed chunk by chunk: with the fast parser, or with expat where the part
// declares an encoding other than UTF-8 (the first chunk tells; a byte order mark is
// skipped).
class PartParser {
 public:
  PartParser(XmlHandler& handler, std::string partName);
  ~PartParser();
  PartParser(const PartParser&) = delete;
  PartParser& operator=(const PartParser&) = delete;

  void feed(const char* data, std::size_t size);
  // Throws SheetReadError for an empty part as well.
  void finish();
  // The fast parser, once chosen; nullptr before the first chunk and for expat.
  FastXmlStream* fast() const { return fast_.get(); }

 private:
  XmlHandler& handler_;
  std::string partName_;
  std::unique_ptr<FastXmlStream> fast_;
  std::unique_ptr<XmlStream> expat_;
};

class ZipArchive;
// Parses one part of a zip with the handler.
void parseZipPart(ZipArchive& zip, std::string_view part, XmlHandler& handler);

}  // namespace zandor::sheet
