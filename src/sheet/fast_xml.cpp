#include "sheet/fast_xml.h"
#include "base/encoding.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sheet/sheet_error.h"

namespace zandor::sheet {

namespace {

// No real tag comes near this; a longer one is refused rather than rescanned forever.
constexpr std::size_t kMaxTagBytes = 4u << 20;

// Character classes by table: these tests run for every byte of a tag.
constexpr unsigned char kSpace = 1, kName = 2;
constexpr auto kClasses = [] {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = kName;
  for (unsigned char c : {' ', '\t', '\n', '\r'}) t[c] = kSpace;
  for (unsigned char c : {'<', '>', '/', '=', '"', '\'', '&', '\0'}) t[c] = 0;
  return t;
}();

// Bytes that end a run of plain bytes within a tag.
constexpr auto kTagStops = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {'"', '\'', '>', '\0'}) t[c] = true;
  return t;
}();

bool isSpace(char c) {
  return kClasses[static_cast<unsigned char>(c)] == kSpace;
}
bool isNameChar(char c) {
  return kClasses[static_cast<unsigned char>(c)] == kName;
}
// What may follow '<' in a start tag: a processing instruction (<?) or a comment, CDATA
// section or declaration (<!) is a tag of another kind, for the full parser.
bool isNameStart(char c) {
  return isNameChar(c) && c != '?' && c != '!';
}

// Bytes that end an attribute value the shortcut for small elements takes (blanks other than
// the space are normalised, which the full parser does).
constexpr auto kPlainValueStops = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {'"', '<', '&', '\0', '\t', '\n', '\r'}) t[c] = true;
  return t;
}();

// XML's line ends: CR LF and a lone CR are LF.
void appendWithLineEnds(std::string& out, const char* p, const char* end) {
  while (p < end) {
    const char* cr =
        static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
    if (!cr) {
      out.append(p, end);
      return;
    }
    out.append(p, cr);
    out += '\n';
    p = cr + 1;
    if (p < end && *p == '\n') ++p;
  }
}

// An attribute value's blanks as XML normalises them before references are expanded: tab,
// line feed, carriage return and CR LF each become one space. Returns the new end.
char* normaliseValueBlanks(char* p, char* end) {
  char* out = p;
  for (; p < end; ++p) {
    const char c = *p;
    if (c == '\r' || c == '\n' || c == '\t') {
      *out++ = ' ';
      if (c == '\r' && p + 1 < end && p[1] == '\n') ++p;
    } else {
      *out++ = c;
    }
  }
  return out;
}

bool hasValueBlanks(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\n' || *p == '\t') return true;
  }
  return false;
}

constexpr int kPlainAttrs = 8;

struct PlainTag {
  char* name;
  char* nameEnd;
  int attrCount = 0;
  struct {
    char *name, *nameEnd, *value, *valueEnd;
  } attrs[kPlainAttrs];
  bool empty = false;
  bool declaresNamespace = false;
};

// Scans a start tag (q just after its '<') made of a name and name="value" pairs, each after
// one blank, values without '<', '&' and blanks other than the space. Returns the byte after the
// tag; nullptr for any other tag (the full parser takes it) or one not complete before end. Changes
// nothing.
char* scanPlainTag(char* q, const char* end, PlainTag& t) {
  t.name = q;
  while (isNameChar(*q)) ++q;  // the '\0' behind the buffer stops this
  if (q == t.name || q >= end) return nullptr;
  t.nameEnd = q;
  for (;;) {
    if (*q == '>') return q + 1 <= end ? q + 1 : nullptr;
    if (*q == '/') {
      if (q + 2 > end || q[1] != '>') return nullptr;
      t.empty = true;
      return q + 2;
    }
    if (*q != ' ' || t.attrCount == kPlainAttrs) return nullptr;
    char* name = ++q;
    while (isNameChar(*q)) ++q;
    if (q == name || q + 2 > end || q[0] != '=' || q[1] != '"') return nullptr;
    char* nameEnd = q;
    if (name[0] == 'x' && nameEnd - name >= 5 && std::memcmp(name, "xmlns", 5) == 0)
      t.declaresNamespace = true;
    q += 2;
    char* value = q;
    while (!kPlainValueStops[static_cast<unsigned char>(*q)]) ++q;
    if (q >= end || *q != '"') return nullptr;
    t.attrs[t.attrCount++] = {name, nameEnd, value, q};
    ++q;
  }
}

// The end tag of t at q: the byte after it, or nullptr.
char* plainEndTag(char* q, const char* end, const PlainTag& t) {
  const auto length = static_cast<std::size_t>(t.nameEnd - t.name);
  if (static_cast<std::size_t>(end - q) < length + 3 || q[0] != '<' || q[1] != '/' ||
      std::memcmp(q + 2, t.name, length) != 0 || q[2 + length] != '>')
    return nullptr;
  return q + 3 + length;
}

// Ends the names and values in place and lists them as the handlers take them.
const char** cutOut(const PlainTag& t, const char** attrs) {
  *t.nameEnd = '\0';
  const char** a = attrs;
  for (int i = 0; i < t.attrCount; ++i) {
    *t.attrs[i].nameEnd = '\0';
    *t.attrs[i].valueEnd = '\0';
    *a++ = t.attrs[i].name;
    *a++ = t.attrs[i].value;
  }
  *a = nullptr;
  return attrs;
}

// Sheet XML is mostly one long line, so jumping from line end to line end is quick.
std::uint64_t countLines(const char* p, const char* end) {
  std::uint64_t n = 0;
  while (p < end) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (!p) break;
    ++n;
    ++p;
  }
  return n;
}

const char* find(const char* p, const char* end, std::string_view what) {
  const char* at = std::search(p, end, what.begin(), what.end());
  return at == end ? nullptr : at;
}

}  // namespace

FastXmlStream::FastXmlStream(XmlHandler& handler, std::string partName)
    : handler_(handler), partName_(std::move(partName)) {}

FastXmlStream::FastXmlStream(XmlHandler& handler, std::string partName, std::string_view openNames)
    : handler_(handler), partName_(std::move(partName)), openNames_(openNames) {
  if (!openNames_.empty() && openNames_.back() != '\0') openNames_ += '\0';
  for (std::size_t at = 0; at < openNames_.size(); at = openNames_.find('\0', at) + 1)
    openStarts_.push_back(at);
  sawRoot_ = !openStarts_.empty();
}

bool FastXmlStream::restsBetweenTags() const {
  for (std::size_t i = pos_; i < buf_.size(); ++i) {
    if (!isSpace(buf_[i])) return false;
  }
  return true;
}

void FastXmlStream::fail(const char* at, XmlFault fault) {
  const char* base = buf_.data();
  const std::uint64_t line = line_ + countLines(base, std::max(base, at));
  throw SheetReadError("Fehlerhaftes XML in \"" + partName_ + "\", Zeile " + std::to_string(line) +
                       ": " + xmlFaultText(fault));
}

void FastXmlStream::feed(const char* data, std::size_t size) {
  // Drop what is parsed, keep the unfinished token, then add the new bytes.
  if (pos_ > 0) {
    line_ += countLines(buf_.data(), buf_.data() + pos_);
    buf_.erase(0, pos_);
    pos_ = 0;
  }
  buf_.append(data, size);
  parse(false);
}

void FastXmlStream::finish() {
  parse(true);
  if (!sawRoot_) fail(buf_.data() + buf_.size(), XmlFault::NoElement);
  if (!openStarts_.empty()) fail(buf_.data() + buf_.size(), XmlFault::UnclosedToken);
}

void FastXmlStream::parse(bool final) {
  const char* const begin = buf_.data();
  const char* const end = begin + buf_.size();
  const char* p = begin + pos_;
  while (p < end) {
    if (*p != '<') {
      const char* lt =
          static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
      const char* stop = lt ? lt : end;
      if (!lt && !final) {
        // An entity may be cut at the end of the chunk: keep it for the next one.
        const char* amp =
            static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p)));
        while (amp) {
          const char* semi =
              static_cast<const char*>(std::memchr(amp, ';', static_cast<std::size_t>(end - amp)));
          if (!semi) {
            stop = amp;
            break;
          }
          amp = static_cast<const char*>(
              std::memchr(semi, '&', static_cast<std::size_t>(end - semi)));
        }
        // So is a CR whose LF may come with the next chunk.
        if (stop > p && stop[-1] == '\r') --stop;
        if (stop == p) break;
      }
      text(p, stop);
      p = stop;
      continue;
    }
    if (!openStarts_.empty() && isNameStart(p[1])) {
      if (const std::size_t length = simpleElement(const_cast<char*>(p), end)) {
        p += length;
        continue;
      }
    }
    const std::size_t length = tagLength(p, end);
    if (length == 0) {
      if (final) fail(p, XmlFault::UnclosedToken);
      if (static_cast<std::size_t>(end - p) > kMaxTagBytes) fail(p, XmlFault::TagTooLong);
      break;
    }
    tag(p, length);
    p += length;
  }
  pos_ = static_cast<std::size_t>(p - begin);
}

std::size_t FastXmlStream::tagLength(const char* p, const char* end) const {
  const std::size_t avail = static_cast<std::size_t>(end - p);
  auto closedBy = [&](std::string_view open, std::string_view close) -> std::size_t {
    const char* at = find(p + open.size(), end, close);
    return at ? static_cast<std::size_t>(at - p) + close.size() : 0;
  };
  if (avail >= 2 && (p[1] == '!' || p[1] == '?')) {
    if (avail >= 4 && std::memcmp(p, "<!--", 4) == 0) return closedBy("<!--", "-->");
    if (avail >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0) return closedBy("<![CDATA[", "]]>");
    if (p[1] == '?') return closedBy("<?", "?>");
  }
  // Runs of plain bytes are skipped by table; the '\0' that std::string keeps behind its
  // last byte (end) stops the run, so the loop needs no bounds test.
  const char* q = p + 1;
  for (;;) {
    while (!kTagStops[static_cast<unsigned char>(*q)]) ++q;
    if (q >= end) return 0;
    if (*q == '>') return static_cast<std::size_t>(q - p) + 1;
    if (*q == '\0') {
      ++q;
      continue;
    }
    const char quote = *q++;
    while (q < end && *q != quote) ++q;
    if (q >= end) return 0;
    ++q;
  }
}

std::size_t FastXmlStream::simpleElement(char* p, const char* end) {
  PlainTag outer, inner, third;
  char* q = scanPlainTag(p + 1, end, outer);
  if (!q) return 0;
  // A plain start tag of an element that is not small (a row, a cell with an inline text)
  // is taken as it is: scanning it once more tag by tag would find the same.
  char* const afterOuter = q;
  auto startOuter = [&]() -> std::size_t {
    openStarts_.push_back(openNames_.size());
    openNames_.append(outer.name, outer.nameEnd);
    openNames_ += '\0';
    const char* attrs[2 * kPlainAttrs + 1];
    handler_.startElement(outer.name, cutOut(outer, attrs));
    return static_cast<std::size_t>(afterOuter - p);
  };
  bool hasChild = false, hasGrandchild = false;
  char *text = q, *textEnd = q;
  if (!outer.empty) {
    if (*q == '<' && isNameStart(q[1])) {
      hasChild = true;
      q = scanPlainTag(q + 1, end, inner);
      if (!q) return startOuter();
      text = textEnd = q;
      if (!inner.empty && *q == '<' && isNameStart(q[1])) {
        // <c><is><t>text</t></is></c>: the grandchild holds the text.
        hasGrandchild = true;
        q = scanPlainTag(q + 1, end, third);
        if (!q || third.empty) return startOuter();
        text = q;
        textEnd = static_cast<char*>(std::memchr(q, '<', static_cast<std::size_t>(end - q)));
        if (!textEnd || !(q = plainEndTag(textEnd, end, third)) ||
            !(q = plainEndTag(q, end, inner)))
          return startOuter();
      } else if (!inner.empty) {
        textEnd = static_cast<char*>(std::memchr(q, '<', static_cast<std::size_t>(end - q)));
        if (!textEnd || !(q = plainEndTag(textEnd, end, inner))) return startOuter();
      }
    } else {
      textEnd = static_cast<char*>(std::memchr(q, '<', static_cast<std::size_t>(end - q)));
      if (!textEnd) return 0;
      q = textEnd;
    }
    if (!(q = plainEndTag(q, end, outer))) return startOuter();
  }

  // Whole and plain: from here on as the tag-by-tag path would deliver it.
  std::string_view body(text, static_cast<std::size_t>(textEnd - text));
  // Entities and CRs are rare; short texts (numbers) are looked at byte by byte, longer ones
  // with memchr.
  bool plain = true;
  if (body.size() < 16) {
    for (const char* c = text; c < textEnd && plain; ++c) plain = *c != '&' && *c != '\r';
  } else {
    plain = !std::memchr(text, '&', body.size()) && !std::memchr(text, '\r', body.size());
  }
  if (!plain) {
    textBuf_.clear();
    decode(text, textEnd, textBuf_);
    body = textBuf_;
  }
  const char* outerAttrs[2 * kPlainAttrs + 1];
  const char* innerAttrs[2 * kPlainAttrs + 1];
  const char* thirdAttrs[2 * kPlainAttrs + 1];
  SimpleElement e{outer.name,
                  cutOut(outer, outerAttrs),
                  hasChild ? inner.name : nullptr,
                  hasChild ? cutOut(inner, innerAttrs) : nullptr,
                  body.data(),
                  static_cast<int>(body.size()),
                  outer.declaresNamespace || (hasChild && inner.declaresNamespace) ||
                      (hasGrandchild && third.declaresNamespace),
                  hasGrandchild ? third.name : nullptr,
                  hasGrandchild ? cutOut(third, thirdAttrs) : nullptr};
  if (!handler_.takeSimple(e)) {
    handler_.startElement(e.name, e.attrs);
    if (hasChild) handler_.startElement(e.child, e.childAttrs);
    if (hasGrandchild) handler_.startElement(e.grandchild, e.grandchildAttrs);
    if (e.textLength > 0) handler_.text(e.text, e.textLength);
    if (hasGrandchild) handler_.endElement(e.grandchild);
    if (hasChild) handler_.endElement(e.child);
    handler_.endElement(e.name);
  }
  return static_cast<std::size_t>(q - p);
}

void FastXmlStream::tag(const char* p, std::size_t length) {
  const char* end = p + length;
  if (p[1] == '?') return;  // the declaration and processing instructions say nothing to us
  if (p[1] == '!') {
    if (length >= 7 && std::memcmp(p, "<!--", 4) == 0) return;
    if (std::memcmp(p, "<![CDATA[", std::min<std::size_t>(length, 9)) == 0 && length >= 12) {
      if (openStarts_.empty()) fail(p, XmlFault::InvalidToken);
      textBuf_.clear();
      appendWithLineEnds(textBuf_, p + 9, p + length - 3);
      handler_.text(textBuf_.data(), static_cast<int>(textBuf_.size()));
      return;
    }
    if (length >= 9 && std::memcmp(p, "<!DOCTYPE", 9) == 0)
      throw SheetReadError("Teil \"" + partName_ + "\" enth\xc3\xa4lt eine DTD.");
    fail(p, XmlFault::InvalidToken);
  }
  if (p[1] == '/') {
    endTag(p + 2, end - 1);
    return;
  }
  startTag(p + 1, end - 1);
}

void FastXmlStream::startTag(const char* begin, const char* finish) {
  // The names and values are cut out of the buffer in place (ended by '\0', entities
  // decoded, which never makes a text longer): the tag is consumed after this call.
  char* p = const_cast<char*>(begin);
  char* end = const_cast<char*>(finish);
  const bool empty = end > p && end[-1] == '/';
  if (empty) --end;
  char* nameEnd = p;
  while (nameEnd < end && isNameChar(*nameEnd)) ++nameEnd;
  if (nameEnd == p) fail(p, XmlFault::InvalidToken);
  if (openStarts_.empty() && sawRoot_) fail(p, XmlFault::JunkAfterRoot);
  spans_.clear();
  char* q = nameEnd;
  for (;;) {
    const char* spaceStart = q;
    while (q < end && isSpace(*q)) ++q;
    if (q == end) break;
    if (q == spaceStart) fail(q, XmlFault::InvalidToken);
    char* attrName = q;
    while (q < end && isNameChar(*q)) ++q;
    if (q == attrName) fail(q, XmlFault::InvalidToken);
    char* attrNameEnd = q;
    while (q < end && isSpace(*q)) ++q;
    if (q == end || *q != '=') fail(q, XmlFault::InvalidToken);
    ++q;
    while (q < end && isSpace(*q)) ++q;
    if (q == end || (*q != '"' && *q != '\'')) fail(q, XmlFault::InvalidToken);
    const char quote = *q++;
    char* valueStart = q;
    while (q < end && *q != quote) {
      if (*q == '<') fail(q, XmlFault::InvalidToken);
      ++q;
    }
    if (q == end) fail(q, XmlFault::UnclosedToken);
    spans_.push_back({attrName, attrNameEnd, valueStart, q});
    ++q;
  }
  if (!empty) {
    openStarts_.push_back(openNames_.size());
    openNames_.append(p, nameEnd);
    openNames_ += '\0';
  }
  *nameEnd = '\0';
  attrs_.clear();
  for (const Span& s : spans_) {
    *s.nameEnd = '\0';
    *decodeInPlace(s.value, s.valueEnd) = '\0';
    attrs_.push_back(s.name);
    attrs_.push_back(s.value);
  }
  attrs_.push_back(nullptr);
  sawRoot_ = true;
  handler_.startElement(p, attrs_.data());
  if (empty) handler_.endElement(p);
}

char* FastXmlStream::decodeInPlace(char* p, char* end) {
  if (hasValueBlanks(p, end)) end = normaliseValueBlanks(p, end);
  char* amp = static_cast<char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p)));
  if (!amp) return end;
  textBuf_.clear();
  decode(amp, end, textBuf_);
  std::memcpy(amp, textBuf_.data(), textBuf_.size());
  return amp + textBuf_.size();
}

void FastXmlStream::endTag(const char* p, const char* end) {
  while (end > p && isSpace(end[-1])) --end;
  if (openStarts_.empty()) fail(p, XmlFault::TagMismatch);
  const std::size_t start = openStarts_.back();
  const std::size_t length = openNames_.size() - start - 1;
  if (static_cast<std::size_t>(end - p) != length ||
      std::memcmp(openNames_.data() + start, p, length) != 0)
    fail(p, XmlFault::TagMismatch);
  handler_.endElement(openNames_.data() + start);
  openNames_.resize(start);
  openStarts_.pop_back();
}

void FastXmlStream::text(const char* p, const char* end) {
  if (openStarts_.empty()) {
    for (const char* q = p; q < end; ++q) {
      if (!isSpace(*q)) fail(q, sawRoot_ ? XmlFault::JunkAfterRoot : XmlFault::Syntax);
    }
    return;
  }
  const auto size = static_cast<std::size_t>(end - p);
  if (!std::memchr(p, '&', size) && !std::memchr(p, '\r', size)) {
    handler_.text(p, static_cast<int>(end - p));
    return;
  }
  textBuf_.clear();
  decode(p, end, textBuf_);
  handler_.text(textBuf_.data(), static_cast<int>(textBuf_.size()));
}

void FastXmlStream::decode(const char* p, const char* end, std::string& out) {
  while (p < end) {
    const char* amp =
        static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p)));
    if (!amp) {
      appendWithLineEnds(out, p, end);
      return;
    }
    appendWithLineEnds(out, p, amp);
    const char* semi = static_cast<const char*>(
        std::memchr(amp, ';', std::min<std::size_t>(static_cast<std::size_t>(end - amp), 12)));
    if (!semi) fail(amp, XmlFault::InvalidToken);
    const std::string_view name(amp + 1, static_cast<std::size_t>(semi - amp - 1));
    if (name == "amp")
      out += '&';
    else if (name == "lt")
      out += '<';
    else if (name == "gt")
      out += '>';
    else if (name == "quot")
      out += '"';
    else if (name == "apos")
      out += '\'';
    else if (name.size() >= 2 && name[0] == '#') {
      std::uint32_t cp = 0;
      const bool hex = name[1] == 'x';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      if (digits.empty()) fail(amp, XmlFault::InvalidToken);
      for (char c : digits) {
        int v;
        if (c >= '0' && c <= '9')
          v = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
          v = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
          v = c - 'A' + 10;
        else
          fail(amp, XmlFault::InvalidToken);
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
        if (cp > 0x10FFFF) fail(amp, XmlFault::BadCharRef);
      }
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) fail(amp, XmlFault::BadCharRef);
      appendUtf8(out, cp);
    } else {
      fail(amp, XmlFault::UndefinedEntity);
    }
    p = semi + 1;
  }
}

}  // namespace zandor::sheet
