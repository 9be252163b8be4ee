// The Office Open XML workbook reader (.xlsx, .xlsm, .xltx, .xltm).

#include <atomic>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "sheet/decimal_text.h"
#include "sheet/dispatch.h"
#include "sheet/fast_xml.h"
#include "sheet/joining_thread.h"
#include "sheet/part_halves.h"
#include "sheet/serial_date.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"
#include "sheet/xml_namespaces.h"
#include "sheet/xml_stream.h"
#include "sheet/zip_archive.h"

namespace zandor::sheet {

namespace {

// A shared-texts part above this size is read on a second thread while the sheets are read.
constexpr std::uint64_t kSharedAsideBytes = 1u << 20;

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string directoryOf(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

// A relationship target resolved against the folder of the part that names it.
std::string resolvePart(std::string_view baseDir, std::string_view target) {
  std::string joined = !target.empty() && target.front() == '/'
                           ? std::string(target.substr(1))
                           : std::string(baseDir) + std::string(target);
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string seg = joined.substr(start, end - start);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
  return out;
}

// A name written without a prefix (the shortcuts leave prefixed ones to the events).
bool isName(const char* name, std::string_view local) {
  return std::strncmp(name, local.data(), local.size()) == 0 && name[local.size()] == '\0';
}

std::string relsPartOf(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  const std::string dir = directoryOf(part);
  const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return dir + "_rels/" + std::string(file) + ".rels";
}

int parseIndex(const char* text, const char* what) {
  // Plain digits (nearly every index) are read here; all else goes to from_chars below,
  // which decides what is valid.
  std::uint64_t digits = 0;
  const char* p = text;
  while (*p >= '0' && *p <= '9' && digits <= INT_MAX)
    digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
  if (p != text && *p == '\0' && digits <= INT_MAX) return static_cast<int>(digits);
  int v = 0;
  const std::string_view s(text);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < 0)
    throw SheetReadError("Ung\xc3\xbcltige Angabe " + std::string(what) + "=\"" + std::string(s) +
                         "\".");
  return v;
}

// "_x000D_" and friends: characters XML cannot carry, written as escapes.
void decodeEscapes(std::u16string& s) {
  if (s.find(u"_x") == std::u16string::npos) return;
  std::u16string out;
  out.reserve(s.size());
  auto hex = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_') {
      int v = 0;
      bool ok = true;
      for (int k = 2; k < 6; ++k) {
        const int h = hex(s[i + k]);
        if (h < 0) ok = false;
        v = v * 16 + h;
      }
      if (ok) {
        out += static_cast<char16_t>(v);
        i += 6;
        continue;
      }
    }
    out += s[i];
  }
  s = std::move(out);
}

struct Relationship {
  std::string type;
  std::string target;  // resolved part name ("" for external targets)
};

class RelsHandler : public XmlHandler {
 public:
  explicit RelsHandler(std::string baseDir) : baseDir_(std::move(baseDir)) {}
  std::map<std::string, Relationship> byId;

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    if (!ns_.isIn(name, Namespace::PackageRelationships) || localName(name) != "Relationship")
      return;
    const char* id = attribute(attrs, "Id");
    const char* type = attribute(attrs, "Type");
    const char* target = attribute(attrs, "Target");
    const char* mode = attribute(attrs, "TargetMode");
    if (!id || !type || !target) return;
    const bool external = mode && std::string_view(mode) == "External";
    byId[id] = {type, external ? std::string() : resolvePart(baseDir_, target)};
  }
  void endElement(const char*) override { ns_.leave(); }
  void text(const char*, int) override {}

 private:
  std::string baseDir_;
  NamespaceScope ns_;
};

struct SheetEntry {
  std::string name;
  std::string relId;
};

class WorkbookHandler : public XmlHandler {
 public:
  std::vector<SheetEntry> sheets;
  int activeTab = 0;
  bool date1904 = false;
  bool sawView = false;

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    // Only the main namespace's elements count: Excel writes an x15:workbookPr of its own.
    const std::string_view local = ns_.mainLocal(name);
    if (local == "sheet") {
      const char* sheetName = attributeExact(attrs, "name");
      const char* id = ns_.attribute(attrs, Namespace::DocumentRelationships, "id");
      sheets.push_back({sheetName ? sheetName : "", id ? id : ""});
    } else if (local == "workbookView" && !sawView) {
      sawView = true;
      if (const char* tab = attributeExact(attrs, "activeTab"))
        activeTab = parseIndex(tab, "activeTab");
    } else if (local == "workbookPr") {
      const char* d = attributeExact(attrs, "date1904");
      date1904 = d && (std::string_view(d) == "1" || std::string_view(d) == "true");
    }
  }
  void endElement(const char*) override { ns_.leave(); }
  void text(const char*, int) override {}

 private:
  NamespaceScope ns_;
};

class StylesHandler : public XmlHandler {
 public:
  std::vector<bool> dateStyle;  // by cellXfs index

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    const std::string_view local = ns_.mainLocal(name);
    if (local == "numFmts") {
      inFormats_ = true;
    } else if (local == "cellXfs") {
      inXfs_ = true;
    } else if (inFormats_ && local == "numFmt") {
      const char* id = attribute(attrs, "numFmtId");
      const char* code = attribute(attrs, "formatCode");
      if (id && code) codes_[parseIndex(id, "numFmtId")] = code;
    } else if (inXfs_ && local == "xf") {
      const char* id = attribute(attrs, "numFmtId");
      const int fmt = id ? parseIndex(id, "numFmtId") : 0;
      const auto found = codes_.find(fmt);
      dateStyle.push_back(isDateFormat(fmt, found == codes_.end() ? "" : found->second));
    }
  }
  void endElement(const char* name) override {
    const std::string_view local = ns_.mainLocal(name);
    ns_.leave();
    if (local == "numFmts") inFormats_ = false;
    if (local == "cellXfs") inXfs_ = false;
  }
  void text(const char*, int) override {}

 private:
  NamespaceScope ns_;
  bool inFormats_ = false, inXfs_ = false;
  std::map<int, std::string> codes_;
};

// Text of <si> / <is>: the <t> of the item and of its rich runs, never of phonetic runs.
class RichTextCollector {
 public:
  void start(std::string_view local) {
    if (local == "rPh")
      ++phonetic_;
    else if (local == "t" && phonetic_ == 0)
      collecting_ = true;
  }
  void end(std::string_view local) {
    if (local == "rPh")
      --phonetic_;
    else if (local == "t")
      collecting_ = false;
  }
  void text(const char* data, int length) {
    if (collecting_) utf8_.append(data, static_cast<std::size_t>(length));
  }
  void reset() {
    utf8_.clear();
    collecting_ = false;
    phonetic_ = 0;
  }
  // The whole text of a plain item, met in one piece.
  void set(const char* data, int length) {
    reset();
    utf8_.assign(data, static_cast<std::size_t>(length));
  }
  // The text, into out (kept by the caller, so that no text costs an allocation).
  std::u16string_view take(std::u16string& out) {
    out.clear();
    appendUtf8AsUtf16(out, utf8_);
    decodeEscapes(out);
    utf8_.clear();
    return out;
  }

 private:
  std::string utf8_;
  bool collecting_ = false;
  int phonetic_ = 0;
};

// The shared texts go into a pool of their own, numbered as in the part. How many are read
// so far is published for the sheet reader on the other thread.
class SharedStringsHandler : public XmlHandler {
 public:
  SharedStringsHandler(TextPool& pool, std::atomic<std::uint32_t>& count)
      : pool_(pool), count_(count) {}

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    const std::string_view local = ns_.mainLocal(name);
    if (local == "si") {
      inItem_ = true;
      rich_.reset();
    } else if (inItem_) {
      rich_.start(local);
    }
  }
  void endElement(const char* name) override {
    const std::string_view local = ns_.mainLocal(name);
    ns_.leave();
    if (local == "si") {
      inItem_ = false;
      pool_.add(rich_.take(units_));
      count_.store(static_cast<std::uint32_t>(pool_.size()), std::memory_order_release);
    } else if (inItem_) {
      rich_.end(local);
    }
  }
  void text(const char* data, int length) override {
    if (inItem_) rich_.text(data, length);
  }
  // <si><t>...</t></si>, nearly every item.
  bool takeSimple(const SimpleElement& e) override {
    if (inItem_ || e.grandchild || !isName(e.name, "si") || (e.child && !isName(e.child, "t")) ||
        !ns_.defaultIsMain() || e.declaresNamespace)
      return false;
    units_.clear();
    if (e.child) appendUtf8AsUtf16(units_, std::string_view(e.text, std::size_t(e.textLength)));
    decodeEscapes(units_);
    pool_.add(units_);
    count_.store(static_cast<std::uint32_t>(pool_.size()), std::memory_order_release);
    return true;
  }

 private:
  NamespaceScope ns_;
  std::u16string units_;
  TextPool& pool_;
  std::atomic<std::uint32_t>& count_;
  RichTextCollector rich_;
  bool inItem_ = false;
};

std::string cellName(std::uint32_t row, std::uint32_t col) {
  std::string colName;
  for (std::uint32_t c = col; c > 0; c = (c - 1) / 26)
    colName.insert(colName.begin(), static_cast<char>('A' + (c - 1) % 26));
  return colName + std::to_string(row);
}

SheetReadError missingSharedText(std::uint32_t row, std::uint32_t col, std::uint32_t index,
                                 std::size_t count) {
  return SheetReadError("Zelle " + cellName(row, col) + " verweist auf den Text " +
                        std::to_string(index) + ", es gibt nur " + std::to_string(count) + ".");
}

// The texts the sheets name. Shared texts keep their numbers in the part (they may still be
// being read); texts written into the sheet itself are numbered apart, marked by kOwn, and
// put behind the shared ones once both are complete.
class SheetTexts {
 public:
  static constexpr std::uint32_t kOwn = 0x80000000u;

  SheetTexts(const std::atomic<std::uint32_t>& sharedRead, const bool& sharedComplete,
             std::uint64_t maxTextUnits)
      : sharedRead_(sharedRead), sharedComplete_(sharedComplete), own_(maxTextUnits) {}

  std::uint32_t shared(std::uint32_t index, std::uint32_t row, std::uint32_t col) {
    const std::uint32_t read = sharedRead_.load(std::memory_order_acquire);
    if (index < read) return index;
    if (sharedComplete_) throw missingSharedText(row, col, index, read);
    // Not read yet: whether it exists is known only at the end. Only a cell naming a
    // higher number than every cell before it can be the first one that is missing.
    if (pending_.empty() || index > pending_.back().index) pending_.push_back({index, row, col});
    return index;
  }
  std::uint32_t own(std::u16string_view text) {
    if (own_.size() >= kOwn)
      throw SheetReadError("Die Tabellenbl\xc3\xa4tter enthalten zu viele Texte.");
    return own_.add(text) | kOwn;
  }

  std::u16string_view ownText(std::uint32_t marked) const { return own_.get(marked & ~kOwn); }

  // Room for the texts written into a sheet part of partBytes (see TextPool::reserveFor;
  // the shortest such cell, <c t="str"><v></v></c>, takes 16 bytes and more).
  void reserveOwn(std::uint64_t partBytes) { own_.reserveFor(partBytes, 16); }
  // Texts for the reader of a sheet's second half, numbered apart until takeLater.
  SheetTexts sibling() const { return SheetTexts(sharedRead_, sharedComplete_, own_.maxUnits()); }
  std::uint32_t ownCount() const { return static_cast<std::uint32_t>(own_.size()); }
  // Whether the own texts of later fit behind these.
  bool canTake(const SheetTexts& later) const {
    return own_.size() + later.own_.size() < kOwn &&
           own_.units() + later.own_.units() <= own_.maxUnits();
  }
  // Takes the texts of later, read after these; its own numbers move up by ownCount().
  void takeLater(SheetTexts&& later) {
    own_.takeBehind(std::move(later.own_));
    pending_.insert(pending_.end(), later.pending_.begin(), later.pending_.end());
  }

  // Throws for the first cell that named a shared text beyond count.
  void checkShared(std::size_t count) const {
    for (const Use& u : pending_) {
      if (u.index >= count) throw missingSharedText(u.row, u.col, u.index, count);
    }
  }
  // Puts the sheets' own texts and the shared ones (in book.texts) into one pool and
  // renumbers the cells: the smaller part is copied behind the larger, which stays where it
  // is. Returns the number of the first shared text in the pool.
  std::uint32_t complete(WorkbookData& book) {
    const auto sharedCount = static_cast<std::uint32_t>(book.texts.size());
    checkShared(sharedCount);
    if (own_.units() <= book.texts.units()) {
      book.texts.append(own_);
      if (own_.size() == 0) return 0;  // no cell to renumber
      for (SheetData& sheet : book.sheets) {
        sheet.cells.renumberTexts(
            [&](std::uint32_t t) { return t & kOwn ? (t & ~kOwn) + sharedCount : t; });
      }
      return 0;
    }
    const auto ownCount = static_cast<std::uint32_t>(own_.size());
    own_.append(book.texts);
    book.texts = std::move(own_);
    own_ = TextPool(book.texts.maxUnits());
    for (SheetData& sheet : book.sheets) {
      sheet.cells.renumberTexts(
          [&](std::uint32_t t) { return t & kOwn ? t & ~kOwn : t + ownCount; });
    }
    return ownCount;
  }

 private:
  struct Use {
    std::uint32_t index, row, col;
  };
  const std::atomic<std::uint32_t>& sharedRead_;
  const bool& sharedComplete_;
  TextPool own_;
  std::vector<Use> pending_;
};

// Parses "AB12" (or "ab12", as some writers have it) into column and row; false when it is
// no cell reference.
bool parseCellRef(const char* ref, std::uint32_t* row, std::uint32_t* col) {
  std::uint64_t c = 0, r = 0;
  const char* p = ref;
  int letters = 0, numbers = 0;
  for (; (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'); ++p) {
    if (++letters > 3) return false;
    c = c * 26 + static_cast<std::uint64_t>((*p & ~0x20) - 'A' + 1);
  }
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (++numbers > 7) return false;
    r = r * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  if (*p || letters == 0 || numbers == 0) return false;
  *row = static_cast<std::uint32_t>(r);
  *col = static_cast<std::uint32_t>(c);
  return true;
}

class WorksheetHandler : public XmlHandler {
 public:
  WorksheetHandler(SheetTexts& texts, const std::vector<bool>& dateStyles, bool date1904,
                   std::uint64_t maxCells)
      : cells(maxCells), texts_(texts), dateStyles_(dateStyles), date1904_(date1904) {}
  // For the second half of a sheet, from a row on: within sheetData, with its namespaces.
  // Its first row must say its number.
  WorksheetHandler(SheetTexts& texts, const std::vector<bool>& dateStyles, bool date1904,
                   std::uint64_t maxCells, const NamespaceScope& dataScope)
      : cells(maxCells),
        ns_(dataScope),
        texts_(texts),
        dateStyles_(dateStyles),
        date1904_(date1904),
        inData_(true),
        rowKnown_(false) {}

  CellStoreBuilder cells;

  // The cells the part's dimension announced (0: none).
  std::uint64_t announcedCells() const { return announced_; }
  // The namespaces in scope in sheetData, once it was entered as a child of the root.
  const NamespaceScope* dataScope() const { return dataEntered_ ? &dataScope_ : nullptr; }
  // Between two rows of sheetData (where a second half can begin).
  bool betweenRows() const {
    return inData_ && !inCell_ && !collecting_ && !inInline_ && ns_.depth() == 2;
  }

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    const std::string_view local = ns_.mainLocal(name);
    if (inCell_) {
      if (local == "v") {
        collecting_ = true;
        value_.clear();
      } else if (local == "is") {
        inInline_ = true;
        rich_.reset();
      } else if (inInline_) {
        rich_.start(local);
      }
      return;
    }
    if (local == "c" && inData_) {
      startCell(attrs);
    } else if (local == "row" && inData_) {
      const char* r = attribute(attrs, "r");
      if (!r && !rowKnown_)
        throw SheetReadError(
            "Zeile ohne Nummer am Anfang eines Teilst\xc3\xbc"
            "cks.");
      rowKnown_ = true;
      row_ = r ? static_cast<std::uint32_t>(parseIndex(r, "r")) : row_ + 1;
      if (row_ == 0 || row_ > kMaxRows)
        throw SheetReadError("Zeile " + std::to_string(row_) +
                             " liegt au\xc3\x9f"
                             "erhalb des Tabellenblatts.");
      col_ = 0;
    } else if (local == "sheetData") {
      inData_ = true;
      if (ns_.depth() == 2 && !dataEntered_) {
        dataEntered_ = true;
        dataScope_ = ns_;
      }
    } else if (local == "dimension") {
      reserveFor(attribute(attrs, "ref"));
    }
  }

  void endElement(const char* name) override {
    const std::string_view local = ns_.mainLocal(name);
    ns_.leave();
    if (!inCell_) {
      if (local == "sheetData") inData_ = false;
      return;
    }
    if (local == "v") {
      collecting_ = false;
    } else if (local == "is") {
      inInline_ = false;
      hasInline_ = true;
    } else if (inInline_) {
      rich_.end(local);
    } else if (local == "c") {
      endCell();
    }
  }

  void text(const char* data, int length) override {
    if (collecting_)
      value_.append(data, static_cast<std::size_t>(length));
    else if (inInline_)
      rich_.text(data, length);
  }
  // <c ...><v>...</v></c>, <c .../> or <c ...><is><t>...</t></is></c>, nearly every cell.
  bool takeSimple(const SimpleElement& e) override {
    // These shapes are written without prefixes, so the default namespace is theirs.
    if (inCell_) {
      // <is><t>...</t></is>: the text of an inline-text cell, whose <c> came tag by tag.
      if (inInline_ || collecting_ || e.grandchild || !isName(e.name, "is") ||
          (e.child && !isName(e.child, "t")) || !ns_.defaultIsMain() || e.declaresNamespace)
        return false;
      takeInlineText(e.child ? e.text : nullptr, e.child ? e.textLength : 0);
      return true;
    }
    if (!inData_ || !isName(e.name, "c") || !ns_.defaultIsMain() || e.declaresNamespace)
      return false;
    if (e.grandchild) {
      if (!isName(e.child, "is") || !isName(e.grandchild, "t")) return false;
      startCell(e.attrs);
      takeInlineText(e.text, e.textLength);
      endCell();
      return true;
    }
    if (e.child && !isName(e.child, "v")) return false;
    startCell(e.attrs);
    if (e.child) value_.assign(e.text, static_cast<std::size_t>(e.textLength));
    endCell();
    return true;
  }

 private:
  // The text of an inline-text cell met whole; nullptr: an empty <is/>.
  void takeInlineText(const char* text, int length) {
    rich_.reset();
    if (text) rich_.set(text, length);
    hasInline_ = true;
  }
  void startCell(const char** attrs) {
    inCell_ = true;
    hasInline_ = false;
    value_.clear();
    type_ = 'n';
    style_ = 0;
    const char* ref = nullptr;
    for (const char** a = attrs; *a; a += 2) {
      const std::string_view key = localName(a[0]);
      if (key == "r")
        ref = a[1];
      else if (key == "s")  // s="" is the default style, as other readers take it
        style_ = a[1][0] ? static_cast<std::uint32_t>(parseIndex(a[1], "s")) : 0;
      else if (key == "t")
        type_ = typeCode(a[1]);
    }
    if (!rowKnown_)
      throw SheetReadError(
          "Zelle ohne Zeile am Anfang eines Teilst\xc3\xbc"
          "cks.");
    if (row_ == 0) row_ = 1;
    if (ref) {
      std::uint32_t r, c;
      if (!parseCellRef(ref, &r, &c))
        throw SheetReadError("Ung\xc3\xbcltiger Zellbezug \"" + std::string(ref) + "\".");
      row_ = r;
      col_ = c;
    } else {
      ++col_;
    }
  }

  // "A1:J200000": the writer's idea of the used range, used to size the store once.
  void reserveFor(const char* ref) {
    if (!ref) return;
    const std::string_view s(ref);
    const std::size_t colon = s.find(':');
    if (colon == std::string_view::npos) return;
    std::uint32_t r1, c1, r2, c2;
    const std::string first(s.substr(0, colon)), last(s.substr(colon + 1));
    if (!parseCellRef(first.c_str(), &r1, &c1) || !parseCellRef(last.c_str(), &r2, &c2)) return;
    if (r2 < r1 || c2 < c1) return;
    announced_ = static_cast<std::uint64_t>(r2 - r1 + 1) * (c2 - c1 + 1);
    cells.reserve(announced_);
  }

  static char typeCode(const char* t) {
    if (t[0] != '\0' && t[1] == '\0') {  // the usual one-letter types
      if (t[0] == 's' || t[0] == 'b' || t[0] == 'e' || t[0] == 'd') return t[0];
      return 'n';
    }
    const std::string_view type(t);
    if (type == "inlineStr") return 'i';
    if (type == "str") return 't';
    return 'n';
  }

  std::string where() const { return cellName(row_, col_); }

  // Blanks around a number, an index or a flag say nothing.
  void trimValue() {
    auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; };
    if (value_.empty() || (!blank(value_.front()) && !blank(value_.back()))) return;
    std::size_t begin = 0, end = value_.size();
    while (begin < end && blank(value_[begin])) ++begin;
    while (end > begin && blank(value_[end - 1])) --end;
    value_ = value_.substr(begin, end - begin);
  }

  void endCell() {
    inCell_ = false;
    collecting_ = false;
    if (type_ != 'i' && type_ != 't') trimValue();
    Cell cell;
    cell.column = col_;
    switch (type_) {
      case 'n': {
        if (value_.empty()) break;
        double d;
        if (const std::optional<double> plain = plainDecimal(value_)) {
          d = *plain;
        } else {
          auto [end, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), d);
          if (ec != std::errc() || end != value_.data() + value_.size())
            throw SheetReadError("Ung\xc3\xbcltige Zahl \"" + value_ + "\" in Zelle " + where() +
                                 ".");
        }
        const bool isDate = style_ < dateStyles_.size() && dateStyles_[style_];
        if (isDate) {
          cell.kind = CellKind::Date;
          cell.number = automationSerial(d, date1904_);
        } else {
          cell.kind = CellKind::Number;
          cell.number = d;
        }
        break;
      }
      case 's': {
        if (value_.empty()) break;
        const int index = parseIndex(value_.c_str(), "Textindex");
        cell.kind = CellKind::Text;
        cell.text = texts_.shared(static_cast<std::uint32_t>(index), row_, col_);
        break;
      }
      case 'i':
        if (!hasInline_) break;
        cell.kind = CellKind::Text;
        cell.text = texts_.own(rich_.take(units_));
        break;
      case 't': {
        cell.kind = CellKind::Text;
        std::u16string s = utf8ToUtf16(value_);
        decodeEscapes(s);
        cell.text = texts_.own(s);
        break;
      }
      case 'b':
        if (value_.empty()) break;
        cell.kind = CellKind::Boolean;
        cell.flag = value_ == "1" || value_ == "true";
        break;
      case 'e':
        if (value_.empty()) break;
        cell.kind = CellKind::Error;
        cell.error = cellErrorCode(value_);
        break;
      case 'd': {
        if (value_.empty()) break;
        double serial;
        if (!serialFromIso(value_, &serial))
          throw SheetReadError("Ung\xc3\xbcltiges Datum \"" + value_ + "\" in Zelle " + where() +
                               ".");
        cell.kind = CellKind::Date;
        cell.number = serial;
        break;
      }
    }
    if (cell.kind != CellKind::Empty) cells.add(row_, cell);
  }

  NamespaceScope ns_;
  SheetTexts& texts_;
  const std::vector<bool>& dateStyles_;
  bool date1904_;

  bool inData_ = false, inCell_ = false, collecting_ = false, inInline_ = false;
  bool hasInline_ = false;
  bool rowKnown_ = true;  // false in a second half until its first row
  std::uint64_t announced_ = 0;
  bool dataEntered_ = false;
  NamespaceScope dataScope_;
  std::uint32_t row_ = 0, col_ = 0, style_ = 0;
  char type_ = 'n';
  std::string value_;
  std::u16string units_;
  RichTextCollector rich_;
};

// The first two of FastXmlStream::openNames(): the root and sheetData.
std::string rootAndData(std::string_view openNames) {
  const std::size_t first = openNames.find('\0');
  const std::size_t second =
      first == std::string_view::npos ? first : openNames.find('\0', first + 1);
  return second == std::string_view::npos ? std::string()
                                          : std::string(openNames.substr(0, second + 1));
}

// Parses a worksheet part into handler; a big one, where the second processor has nothing
// else to do (no shared texts read beside it), in two halves at once, the second from a
// row near the middle on another thread. The second half counts only where the first, once
// it got there, stands exactly where the second began (between two rows of sheetData, the
// same elements open, so the same namespaces) and both read without a fault; otherwise the
// first goes on through the rest as if there had been no second, so that cells and errors
// are the same either way. True where the halves were joined.
bool parseWorksheet(ZipArchive& zip, const std::string& part, WorksheetHandler& handler,
                    SheetTexts& texts, const std::vector<bool>& dateStyles, bool date1904,
                    bool textsAside) {
  const auto inOneGo = [&] {
    parseZipPart(zip, part, handler);
    return false;
  };
  if (textsAside) return inOneGo();
  // Without shared texts beside it, a large sheet is likely to hold its texts itself.
  const std::uint64_t partBytes = zip.partSize(part);
  if (partBytes >= kSharedAsideBytes) texts.reserveOwn(partBytes);
  if (partBytes < zip.limits().splitFrom) return inOneGo();
  // Before the halves: the second thread uses these until the halves are gone.
  std::optional<SheetTexts> laterTexts;
  std::optional<WorksheetHandler> later;
  std::optional<FastXmlStream> laterStream;
  std::string seamNames;
  std::optional<PartHalves> halves;
  try {
    halves.emplace(zip, part, "<row");
  } catch (const std::system_error&) {
    return inOneGo();
  }
  PartParser first(handler, part);
  bool tried = false, started = false;
  halves->readFirst([&](const char* data, std::size_t size) {
    first.feed(data, size);
    if (tried || !first.fast() || !handler.dataScope() || !halves->hasSeam()) return;
    tried = true;
    seamNames = rootAndData(first.fast()->openNames());
    if (seamNames.empty()) return;
    laterTexts.emplace(texts.sibling());
    laterTexts->reserveOwn(partBytes / 2);
    later.emplace(*laterTexts, dateStyles, date1904, zip.limits().maxCells, *handler.dataScope());
    later->cells.reserve(handler.announcedCells() / 2 + handler.announcedCells() / 16);
    laterStream.emplace(*later, part, seamNames);
    halves->startSecond([&](const char* d, std::size_t n) { laterStream->feed(d, n); },
                        [&] { laterStream->finish(); });
    started = true;
  });
  if (!halves->hasSeam()) {  // the first reader had it all
    first.finish();
    return false;
  }
  bool joined = started && first.fast()->restsBetweenTags() &&
                first.fast()->openNames() == seamNames && handler.betweenRows();
  joined = halves->secondSucceeded(!joined) && joined && texts.canTake(*laterTexts);
  if (joined) {
    const std::uint32_t before = texts.ownCount();
    later->cells.renumberTexts(
        [before](std::uint32_t t) { return t & SheetTexts::kOwn ? t + before : t; });
    joined = handler.cells.appendLater(std::move(later->cells));
    if (joined) texts.takeLater(std::move(*laterTexts));
  }
  if (joined) return true;
  halves->readRest([&](const char* data, std::size_t size) { first.feed(data, size); });
  first.finish();
  return false;
}

// Reads the sheets left unread at first, each with its texts (the shared ones it names
// copied) in a pool of its own.
class XlsxSheetLoader : public SheetLoader {
 public:
  std::string path;
  std::vector<std::string> parts;  // by sheet index; "" for a sheet without cells
  std::vector<std::string> names;
  std::vector<bool> dateStyles;
  bool date1904 = false;
  std::uint32_t sharedCount = 0;
  std::uint32_t sharedBase = 0;  // where the shared texts begin in the book's pool

  void load(const WorkbookData& book, std::size_t index, SheetData& sheet) override {
    auto pool = std::make_shared<TextPool>(book.limits.maxTextUnits);
    sheet.texts = pool;
    if (parts[index].empty()) return;
    ZipArchive zip(path, book.limits);
    if (!zip.has(parts[index]))
      throw SheetReadError("Tabellenblatt \"" + names[index] + "\" hat keinen Teil in der Datei.");
    const std::atomic<std::uint32_t> read{sharedCount};
    const bool complete = true;
    SheetTexts texts(read, complete, book.limits.maxTextUnits);
    WorksheetHandler handler(texts, dateStyles, date1904, book.limits.maxCells);
    sheet.readInHalves =
        parseWorksheet(zip, parts[index], handler, texts, dateStyles, date1904, false);
    sheet.cells = handler.cells.finish();
    std::unordered_map<std::uint32_t, std::uint32_t> copied;
    sheet.cells.renumberTexts([&](std::uint32_t t) {
      if (t & SheetTexts::kOwn) return pool->add(texts.ownText(t));
      const auto [at, fresh] = copied.try_emplace(t, 0);
      if (fresh) at->second = pool->add(book.texts.get(sharedBase + t));
      return at->second;
    });
  }
};

}  // namespace

void readXlsx(ZipArchive& zip, WorkbookData& book) {
  RelsHandler rootRels("");
  if (zip.has("_rels/.rels")) parseZipPart(zip, "_rels/.rels", rootRels);
  std::string workbookPart;
  for (const auto& [id, rel] : rootRels.byId) {
    if (endsWith(rel.type, "/officeDocument")) workbookPart = rel.target;
  }
  if (workbookPart.empty()) workbookPart = "xl/workbook.xml";
  if (endsWith(workbookPart, ".bin"))
    throw SheetReadError("Bin\xc3\xa4re Arbeitsmappen (.xlsb) werden nicht gelesen.");
  if (!zip.has(workbookPart))
    throw SheetReadError("Keine Arbeitsmappe in der Datei (\"" + workbookPart + "\" fehlt).");

  WorkbookHandler workbook;
  parseZipPart(zip, workbookPart, workbook);
  RelsHandler rels(directoryOf(workbookPart));
  const std::string relsPart = relsPartOf(workbookPart);
  if (zip.has(relsPart)) parseZipPart(zip, relsPart, rels);

  std::string stylesPart, stringsPart;
  for (const auto& [id, rel] : rels.byId) {
    if (endsWith(rel.type, "/styles")) stylesPart = rel.target;
    if (endsWith(rel.type, "/sharedStrings")) stringsPart = rel.target;
  }
  StylesHandler styles;
  if (!stylesPart.empty() && zip.has(stylesPart)) parseZipPart(zip, stylesPart, styles);

  // The shared texts: read first, or for a big part beside the sheets on a second thread
  // (from a second handle on the file), since the sheets need only their numbers.
  TextPool shared(zip.limits().maxTextUnits);
  std::atomic<std::uint32_t> sharedRead{0};
  bool sharedComplete = false;
  std::exception_ptr sharedFailure;
  auto readShared = [&](ZipArchive& archive) {
    try {
      SharedStringsHandler handler(shared, sharedRead);
      shared.reserveFor(archive.partSize(stringsPart), 5);  // <si/> is a text of its own
      parseZipPart(archive, stringsPart, handler);
    } catch (...) {
      sharedFailure = std::current_exception();
    }
  };
  const bool hasShared = !stringsPart.empty() && zip.has(stringsPart);
  // Joined on every path out of here, an exception's included, before what it fills goes.
  std::optional<JoiningThread> aside;
  if (hasShared && zip.partSize(stringsPart) > kSharedAsideBytes) {
    try {
      aside.emplace([&] {
        try {
          ZipArchive second(zip.path(), zip.limits());
          readShared(second);
        } catch (...) {
          sharedFailure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: read them first after all.
    }
  }
  const bool textsAside = aside.has_value();
  if (!textsAside) {
    if (hasShared) readShared(zip);
    if (sharedFailure) std::rethrow_exception(sharedFailure);
    sharedComplete = true;
  }
  // Whatever the sheets do, the second thread has ended before the texts are looked at.
  auto joinShared = [&] {
    if (!aside) return;
    aside->join();
    sharedComplete = true;
  };

  auto loader = std::make_shared<XlsxSheetLoader>();
  loader->path = zip.path();
  loader->dateStyles = styles.dateStyle;
  loader->date1904 = workbook.date1904;
  const auto active = static_cast<std::size_t>(workbook.activeTab);
  book.activeSheet = active < workbook.sheets.size() ? active : 0;
  SheetTexts texts(sharedRead, sharedComplete, zip.limits().maxTextUnits);
  try {
    if (workbook.sheets.empty()) throw SheetReadError("Die Arbeitsmappe hat kein Tabellenblatt.");
    for (std::size_t i = 0; i < workbook.sheets.size(); ++i) {
      const SheetEntry& entry = workbook.sheets[i];
      SheetData sheet;
      sheet.name = utf8ToUtf16(entry.name);
      const auto rel = rels.byId.find(entry.relId);
      // Chart and dialog sheets hold no cells.
      const bool hasCells = rel != rels.byId.end() && endsWith(rel->second.type, "/worksheet");
      loader->parts.push_back(hasCells ? rel->second.target : std::string());
      loader->names.push_back(entry.name);
      if (i == book.activeSheet) {
        if (rel == rels.byId.end())
          throw SheetReadError("Tabellenblatt \"" + entry.name +
                               "\" hat keinen Teil in der Datei.");
        if (hasCells) {
          WorksheetHandler handler(texts, styles.dateStyle, workbook.date1904,
                                   zip.limits().maxCells);
          sheet.readInHalves = parseWorksheet(zip, rel->second.target, handler, texts,
                                              styles.dateStyle, workbook.date1904, textsAside);
          sheet.cells = handler.cells.finish();
        }
      } else {
        sheet.loaded = false;
      }
      book.sheets.push_back(std::move(sheet));
    }
  } catch (...) {
    // Read one after the other, a fault of the shared texts or a missing text named
    // before this fault would have been found first; both are known only at their end.
    joinShared();
    if (sharedFailure) std::rethrow_exception(sharedFailure);
    texts.checkShared(shared.size());
    throw;
  }
  joinShared();
  if (sharedFailure) std::rethrow_exception(sharedFailure);
  book.texts = std::move(shared);
  loader->sharedCount = static_cast<std::uint32_t>(book.texts.size());
  loader->sharedBase = texts.complete(book);
  book.loader = std::move(loader);
}

}  // namespace zandor::sheet
