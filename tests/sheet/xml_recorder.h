#pragma once

#include <string>

#include "sheet/xml_stream.h"

namespace zandor::sheet {

// Writes every event as a line; texts between two tags are joined (chunks may cut them).
class Recorder : public XmlHandler {
 public:
  explicit Recorder(bool takeSimple = false) : takeSimple_(takeSimple) {}
  int taken = 0;

  void startElement(const char* name, const char** attrs) override {
    flushText();
    log_ += std::string("<") + name;
    for (; *attrs; attrs += 2) log_ += std::string(" ") + attrs[0] + "=[" + attrs[1] + "]";
    log_ += ">\n";
  }
  void endElement(const char* name) override {
    flushText();
    log_ += std::string("</") + name + ">\n";
  }
  void text(const char* data, int length) override {
    text_.append(data, static_cast<std::size_t>(length));
  }
  // Taken, it must read as the events would.
  bool takeSimple(const SimpleElement& e) override {
    if (!takeSimple_) return false;
    ++taken;
    startElement(e.name, e.attrs);
    if (e.child) startElement(e.child, e.childAttrs);
    if (e.grandchild) startElement(e.grandchild, e.grandchildAttrs);
    if (e.textLength > 0) text(e.text, e.textLength);
    if (e.grandchild) endElement(e.grandchild);
    if (e.child) endElement(e.child);
    endElement(e.name);
    return true;
  }
  std::string log() {
    flushText();
    return log_;
  }

 private:
  void flushText() {
    if (!text_.empty()) log_ += "[" + text_ + "]\n";
    text_.clear();
  }
  bool takeSimple_;
  std::string log_, text_;
};

}  // namespace zandor::sheet
