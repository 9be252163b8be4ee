#include "table/cdx_file.h"
#include "table/byte_order.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/text.h"
#include "table/index_error.h"
#include "table/index_key.h"

namespace zandor {

namespace {

using cdx::kNone;
using cdx::kPageSize;

constexpr std::uint64_t kHeaderSize = 1024;
constexpr unsigned char kOptUnique = 0x01;
constexpr unsigned char kOptNullMarked = 0x02;
// Visual FoxPro's candidate (primary-key) tags; older descriptions call the bit "custom".
constexpr unsigned char kOptCandidate = 0x04;
constexpr unsigned char kOptFor = 0x08;
constexpr unsigned char kOptCompact = 0x20;
constexpr unsigned char kOptCompound = 0x40;
constexpr unsigned char kOptDirectory = 0x80;
constexpr int kDirectoryKeyLength = 10;

bool onGrid(std::uint64_t offset, std::uint64_t size, std::uint64_t length) {
  return offset != 0 && offset % kPageSize == 0 && offset + length <= size;
}

struct PoolRange {
  std::uint32_t pos;
  std::uint32_t len;
};

// The expression text of one pool range: up to its NUL, trailing blanks dropped.
std::string poolText(const unsigned char* pool, PoolRange r) {
  std::string text;
  for (std::uint32_t i = r.pos; i < r.pos + r.len && i < 512; ++i) {
    if (pool[i] == 0) break;
    text.push_back(static_cast<char>(pool[i]));
  }
  return trimRight(text);
}

struct ParsedHeader {
  std::uint32_t root = 0;
  int keyLength = 0;
  unsigned char options = 0;
  bool caseInsensitive = false;
  bool descending = false;
  std::string collation;
  std::string keyExpression;
  std::string forExpression;
};

// Visual FoxPro records a tag's sort sequence by name in the reserved area; none (or
// MACHINE) means the key bytes are the field bytes.
constexpr std::size_t kCollationAt = 0x1EE;
constexpr std::size_t kCollationLength = 8;

std::string collationName(const unsigned char* h) {
  std::string name;
  for (std::size_t i = kCollationAt; i < kCollationAt + kCollationLength && h[i] != 0; ++i) {
    name.push_back(static_cast<char>(h[i]));
  }
  return upperAZ(name) == "MACHINE" ? std::string() : name;
}

ParsedHeader parseHeader(const unsigned char* h, std::uint64_t fileSize, bool directory) {
  ParsedHeader p;
  p.root = get32(h);
  if (!onGrid(p.root, fileSize, kPageSize)) {
    throw IndexDamage("Wurzelseite " + std::to_string(p.root) +
                      " au\xdf"
                      "erhalb des Seitenrasters oder der Datei");
  }
  p.keyLength = static_cast<int>(get16(h + 12));
  if (p.keyLength < 1 || p.keyLength > 240) throw IndexDamage("Schl\xfcssell\xe4nge unm\xf6glich");
  p.options = h[14];
  p.collation = collationName(h);
  p.caseInsensitive = p.collation.empty() && h[15] == 1 && h[499] == 1;
  p.descending = get16(h + 502) != 0;
  PoolRange forR{get16(h + 504), get16(h + 506)};
  PoolRange keyR{get16(h + 508), get16(h + 510)};
  if (forR.pos + forR.len > 512 || keyR.pos + keyR.len > 512) {
    throw IndexDamage(
        "Ausdruck au\xdf"
        "erhalb des Ausdrucksbereichs");
  }
  auto openEnd = [](PoolRange& r, const PoolRange& other) {
    if (r.len != 0) return;
    std::uint32_t end = other.pos > r.pos ? other.pos : 512;
    r.len = end - r.pos;
  };
  openEnd(keyR, forR);
  openEnd(forR, keyR);
  bool overlap = keyR.len > 0 && forR.len > 0 && keyR.pos < forR.pos + forR.len &&
                 forR.pos < keyR.pos + keyR.len;
  if (overlap) throw IndexDamage("key and FOR expressions overlap");
  if (!directory) {
    p.keyExpression = poolText(h + 512, keyR);
    if (p.options & kOptFor) p.forExpression = poolText(h + 512, forR);
    if (p.keyExpression.empty()) throw IndexDamage("Tag ohne Schl\xfcsselausdruck");
  }
  return p;
}

std::array<unsigned char, 1024> newHeader(std::uint32_t root, int keyLength, unsigned char options,
                                          bool caseInsensitive, bool descending,
                                          const std::string& keyExpr, const std::string& forExpr) {
  std::array<unsigned char, 1024> h{};
  put32(h.data(), root);
  put16(h.data() + 12, static_cast<std::uint32_t>(keyLength));
  h[14] = options;
  h[15] = 1;
  h[499] = caseInsensitive ? 1 : 0;
  put16(h.data() + 502, descending ? 1 : 0);
  std::uint32_t keyLen = static_cast<std::uint32_t>(keyExpr.size()) + 1;
  std::uint32_t forLen = static_cast<std::uint32_t>(forExpr.size()) + 1;
  if (keyLen + forLen > 512) throw std::invalid_argument("expressions too long for the pool");
  put16(h.data() + 504, keyLen);
  put16(h.data() + 506, forLen);
  put16(h.data() + 508, 0);
  put16(h.data() + 510, keyLen);
  std::memcpy(h.data() + 512, keyExpr.data(), keyExpr.size());
  std::memcpy(h.data() + 512 + keyLen, forExpr.data(), forExpr.size());
  return h;
}

std::string tagNameKey(const std::string& name) {
  return padRight(upperAZ(name).substr(0, kDirectoryKeyLength), kDirectoryKeyLength);
}

char fillFor(char type) {
  return (type == 'N' || type == 'D' || type == 'T' || type == 'I') ? '\0' : ' ';
}

}  // namespace

CdxFile::~CdxFile() = default;

std::unique_ptr<CdxFile> CdxFile::open(const std::string& path, bool writable,
                                       PageMapping mapping) {
  std::unique_ptr<CdxFile> f(new CdxFile());
  if (int err = f->file_.open(path, writable, mapping)) {
    throw std::system_error(err, std::generic_category(), path);
  }
  f->load();
  return f;
}

std::unique_ptr<CdxFile> CdxFile::create(const std::string& path) {
  std::unique_ptr<CdxFile> f(new CdxFile());
  if (int err = f->file_.create(path)) throw std::system_error(err, std::generic_category(), path);
  auto dir = std::make_unique<Tag>();
  dir->header = newHeader(1024, kDirectoryKeyLength, kOptCompact | kOptCompound | kOptDirectory,
                          false, false, "", "");
  dir->committedRoot = 1024;
  dir->headerDirty = true;
  f->end_ = 1024;
  f->compound_ = true;
  std::uint32_t root = f->allocatePage();
  dir->tree = std::make_unique<cdx::CdxTree>(*f, root, kDirectoryKeyLength, ' ');
  dir->tree->startEmpty();
  f->directory_ = std::move(dir);
  f->commitOrThrow();
  return f;
}

void CdxFile::load() {
  std::uint64_t size = file_.size();
  if (size <= kHeaderSize) throw IndexDamage("Datei zu klein");
  end_ = committedEnd_ = (size + kPageSize - 1) / kPageSize * kPageSize;
  unsigned char h[kHeaderSize];
  file_.read(0, h, kHeaderSize);
  compound_ = (h[14] & kOptCompound) != 0;
  if (!compound_) {
    auto tag = readTag(0, false);
    OrderInfo info;
    ParsedHeader p = parseHeader(tag->header.data(), size, false);
    info.name = upperAZ(std::filesystem::path(file_.path()).stem().string());
    info.keyExpression = p.keyExpression;
    info.forExpression = p.forExpression;
    info.keyLength = p.keyLength;
    info.unique = p.options & kOptUnique;
    info.candidate = p.options & kOptCandidate;
    info.nullMarked = p.options & kOptNullMarked;
    info.collation = p.collation;
    info.descending = p.descending;
    info.caseInsensitive = p.caseInsensitive;
    tags_.push_back(std::move(tag));
    orders_.emplace_back(new CdxOrder(*this, *tags_.back(), info));
    return;
  }
  directory_ = readTag(0, true);
  // Every tag needs a header of 1024 bytes, which bounds the directory.
  std::size_t limit = static_cast<std::size_t>(size / kHeaderSize);
  std::vector<std::pair<std::uint32_t, std::string>> entries;
  cdx::CdxTree& dir = *directory_->tree;
  for (auto pos = dir.first(); pos.valid(); dir.next(pos)) {
    IndexEntry e = dir.entry(pos);
    if (entries.size() >= limit) throw IndexDamage("Tag-Verzeichnis mit zu vielen Namen");
    entries.emplace_back(e.recno, trimRight(e.key));
  }
  std::sort(entries.begin(), entries.end());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto [offset, name] = entries[i];
    if (offset == 0 || offset % kPageSize != 0 || offset + kHeaderSize > size) {
      throw IndexDamage("Tag-Kopf von " + name +
                        " au\xdf"
                        "erhalb der Datei");
    }
    if (i > 0 && entries[i - 1].first == offset) throw IndexDamage("zwei Tags mit demselben Kopf");
    auto tag = readTag(offset, false);
    ParsedHeader p = parseHeader(tag->header.data(), size, false);
    OrderInfo info;
    info.name = name;
    info.keyExpression = p.keyExpression;
    info.forExpression = p.forExpression;
    info.keyLength = p.keyLength;
    info.unique = p.options & kOptUnique;
    info.candidate = p.options & kOptCandidate;
    info.nullMarked = p.options & kOptNullMarked;
    info.collation = p.collation;
    info.descending = p.descending;
    info.caseInsensitive = p.caseInsensitive;
    tags_.push_back(std::move(tag));
    orders_.emplace_back(new CdxOrder(*this, *tags_.back(), info));
  }
}

std::unique_ptr<CdxFile::Tag> CdxFile::readTag(std::uint32_t headerOffset, bool directory) {
  auto tag = std::make_unique<Tag>();
  tag->headerOffset = headerOffset;
  file_.read(headerOffset, tag->header.data(), kHeaderSize);
  ParsedHeader p = parseHeader(tag->header.data(), file_.size(), directory);
  tag->committedRoot = p.root;
  tag->tree = std::make_unique<cdx::CdxTree>(*this, p.root, p.keyLength, ' ');
  return tag;
}

void CdxFile::requireWritable() const {
  if (!file_.writable()) throw std::system_error(EBADF, std::generic_category(), path());
}

IndexOrder& CdxFile::order(std::size_t index) {
  return *orders_.at(index);
}

void CdxFile::readPage(std::uint32_t offset, unsigned char* page) {
  file_.readTreePage(offset, page, kPageSize, end_);
}

std::uint32_t CdxFile::allocatePage() {
  if (!free_.empty()) {
    std::uint32_t offset = free_.back();
    free_.pop_back();
    return offset;
  }
  if (end_ + kPageSize > 0xFFFFFE00ull)
    throw IndexDamage(
        "die Indexdatei w\xfcrde gr\xf6\xdf"
        "er als 4 GB");
  auto offset = static_cast<std::uint32_t>(end_);
  end_ += kPageSize;
  return offset;
}

// Released pages are only reused after the commit that stops referencing them; they are
// not chained into the file's free list, which other writers leave alone as well.
void CdxFile::releasePage(std::uint32_t offset) {
  pendingFree_.push_back(offset);
}

CdxOrder& CdxFile::addTag(const NewTag& def, std::vector<IndexEntry> entries) {
  if (!compound_)
    throw IndexDamage("eine Datei mit einem einzigen Index nimmt keine weiteren Tags auf");
  requireWritable();
  if (def.keyLength < 1 || def.keyLength > 240) throw std::invalid_argument("key length");
  try {
    std::string nameKey = tagNameKey(def.name);
    // Replace a tag of the same name: drop it from the directory, its pages stay unused.
    for (std::size_t i = 0; i < orders_.size(); ++i) {
      if (tagNameKey(orders_[i]->info().name) != nameKey) continue;
      directory_->tree->remove(nameKey, tags_[i]->headerOffset);
      orders_.erase(orders_.begin() + static_cast<std::ptrdiff_t>(i));
      tags_.erase(tags_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
    // Header pages and the root come from the end of the file.
    auto headerOffset = static_cast<std::uint32_t>(end_);
    end_ += kHeaderSize;
    std::uint32_t root = allocatePage();
    unsigned char options = kOptCompact | kOptCompound;
    if (def.unique) options |= kOptUnique;
    if (def.candidate) options |= kOptCandidate;
    if (def.nullMarked) options |= kOptNullMarked;
    if (!def.forExpression.empty()) options |= kOptFor;
    auto tag = std::make_unique<Tag>();
    tag->headerOffset = headerOffset;
    tag->header = newHeader(root, def.keyLength, options, def.caseInsensitive, def.descending,
                            def.keyExpression, def.forExpression);
    tag->headerDirty = true;
    tag->committedRoot = root;
    tag->tree = std::make_unique<cdx::CdxTree>(*this, root, def.keyLength, fillFor(def.keyType));
    tag->tree->startEmpty();
    std::sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
      return a.key != b.key ? a.key < b.key : a.recno < b.recno;
    });
    std::vector<IndexEntry> kept;
    kept.reserve(entries.size());
    for (auto& e : entries) {
      e.key = padRight(e.key, static_cast<std::size_t>(def.keyLength));
      if (def.keyType == 'N' || def.keyType == 'D') e.key.resize(8, '\0');
      if (def.keyType == 'I') e.key.resize(4, '\0');
      if (!kept.empty() && kept.back().key == e.key &&
          (def.unique || def.candidate || kept.back().recno == e.recno)) {
        continue;
      }
      kept.push_back(std::move(e));
    }
    // memcmp order: std::string compares chars as char, which may be signed.
    std::sort(kept.begin(), kept.end(), [](const IndexEntry& a, const IndexEntry& b) {
      int c = std::memcmp(a.key.data(), b.key.data(), a.key.size());
      return c != 0 ? c < 0 : a.recno < b.recno;
    });
    tag->tree->build(kept);
    directory_->tree->insert(nameKey, headerOffset);
    OrderInfo info;
    info.name = trimRight(nameKey);
    info.keyExpression = def.keyExpression;
    info.forExpression = def.forExpression;
    info.keyType = def.keyType;
    info.keyLength = def.keyLength;
    info.unique = def.unique;
    info.candidate = def.candidate;
    info.nullMarked = def.nullMarked;
    info.descending = def.descending;
    info.caseInsensitive = def.caseInsensitive;
    tags_.push_back(std::move(tag));
    orders_.emplace_back(new CdxOrder(*this, *tags_.back(), info));
    return *orders_.back();
  } catch (...) {
    discardUncommitted();
    throw;
  }
}

void CdxFile::flushTag(Tag& tag) {
  bool rootChanged = tag.tree->rootChanged();
  tag.tree->flush(batch_);
  if (rootChanged) {
    put32(tag.header.data(), tag.tree->root());
    tag.headerDirty = true;
  }
}

void CdxFile::commitOrThrow() {
  if (!file_.writable()) return;
  // Tree pages first, headers last: a header never points at a page not yet written.
  batch_.clear();
  for (auto& tag : tags_) flushTag(*tag);
  if (directory_) flushTag(*directory_);
  for (auto& tag : tags_) {
    if (tag->headerDirty) {
      std::memcpy(batch_.add(tag->headerOffset, kHeaderSize), tag->header.data(), kHeaderSize);
    }
  }
  if (directory_ && directory_->headerDirty) {
    std::memcpy(batch_.add(0, kHeaderSize), directory_->header.data(), kHeaderSize);
  }
  file_.write(batch_);
  for (auto& tag : tags_) {
    tag->headerDirty = false;
    tag->committedRoot = tag->tree->root();
  }
  if (directory_) {
    directory_->headerDirty = false;
    directory_->committedRoot = directory_->tree->root();
  }
  free_.insert(free_.end(), pendingFree_.begin(), pendingFree_.end());
  pendingFree_.clear();
  freeAtCommit_ = free_;
  committedEnd_ = end_;
}

void CdxFile::close() {
  const std::string path = file_.path();
  if (const int err = file_.close()) throw std::system_error(err, std::generic_category(), path);
}

void CdxFile::commit() {
  guarded<int>([&] {
    commitOrThrow();
    return 0;
  });
}

void CdxFile::discardUncommitted() {
  end_ = committedEnd_;
  free_ = freeAtCommit_;
  pendingFree_.clear();
  try {
    std::uint64_t size = file_.size();
    // Re-read what is on disk; tags added since the last commit disappear.
    std::vector<std::unique_ptr<Tag>> kept;
    std::vector<std::unique_ptr<CdxOrder>> keptOrders;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
      Tag& tag = *tags_[i];
      if (tag.headerOffset + kHeaderSize > size) continue;
      unsigned char h[kHeaderSize];
      file_.read(tag.headerOffset, h, kHeaderSize);
      if (std::memcmp(h, tag.header.data(), kHeaderSize) != 0 && tag.headerDirty) {
        std::memcpy(tag.header.data(), h, kHeaderSize);
      }
      tag.headerDirty = false;
      tag.tree->discard(tag.committedRoot);
      kept.push_back(std::move(tags_[i]));
      keptOrders.push_back(std::move(orders_[i]));
    }
    tags_ = std::move(kept);
    orders_ = std::move(keptOrders);
    if (directory_) {
      directory_->headerDirty = false;
      directory_->tree->discard(directory_->committedRoot);
    }
  } catch (const std::exception&) {
    // Nothing more to undo: what is on disk stays as last committed.
  }
}

template <class R, class F>
R CdxFile::guarded(F&& operation) {
  return runIndexOperation<R>("DBFCDX", path(), operation, [&] { discardUncommitted(); });
}

CheckReport CdxFile::check() {
  CheckReport report;
  std::set<std::uint32_t> seen;
  try {
    std::uint64_t size = file_.size();
    seen.insert(0);
    seen.insert(512);
    for (auto& tag : tags_) {
      if (tag->headerOffset != 0) {
        if (!seen.insert(tag->headerOffset).second ||
            !seen.insert(tag->headerOffset + 512).second) {
          report.problems.push_back(
              "Tag-Kopf \xfc"
              "berlappt eine andere Seite");
        }
      }
    }
    if (directory_) {
      CheckReport dirReport;
      directory_->tree->check(file_, size, true, dirReport, seen);
      for (auto& p : dirReport.problems) report.problems.push_back("directory: " + p);
      if (dirReport.keyCount != tags_.size()) {
        report.problems.push_back("directory names " + std::to_string(dirReport.keyCount) +
                                  " tags, the file holds " + std::to_string(tags_.size()));
      }
    }
    for (std::size_t i = 0; i < tags_.size(); ++i) {
      CheckReport tagReport;
      tags_[i]->tree->check(file_, size, orders_[i]->info().unique || orders_[i]->info().candidate,
                            tagReport, seen);
      for (auto& p : tagReport.problems) {
        report.problems.push_back(orders_[i]->info().name + ": " + p);
      }
      report.keyCount += tagReport.keyCount;
    }
  } catch (const std::exception& e) {
    report.problems.push_back(e.what());
  }
  return report;
}

// ---- CdxOrder ----

void CdxOrder::setKeyType(char type) {
  info_.keyType = type;
  tag_->tree->setFill(fillFor(type));
}

// Keys of nullable fields start with a marker byte, 0x80 for a value (NULL keys are all
// zero bytes; our values are never NULL).
std::string CdxOrder::keyFor(const Value& value) const {
  if (info_.nullMarked) {
    return "\x80" + cdxKey(value, info_.keyType, info_.keyLength - 1, info_.caseInsensitive);
  }
  return cdxKey(value, info_.keyType, info_.keyLength, info_.caseInsensitive);
}

std::string CdxOrder::searchKeyFor(const Value& value) const {
  if (info_.nullMarked) {
    return "\x80" + cdxSearchKey(value, info_.keyType, info_.keyLength - 1, info_.caseInsensitive);
  }
  return cdxSearchKey(value, info_.keyType, info_.keyLength, info_.caseInsensitive);
}

std::optional<IndexEntry> CdxOrder::settle(cdx::CdxTree::Pos pos) {
  pos_ = pos;
  generation_ = tag_->tree->generation();
  if (!pos.valid()) return std::nullopt;
  current_ = tag_->tree->entry(pos);
  return current_;
}

std::optional<IndexEntry> CdxOrder::seek(std::string_view searchKey) {
  return file_.guarded<std::optional<IndexEntry>>([&]() -> std::optional<IndexEntry> {
    cdx::CdxTree& tree = *tag_->tree;
    std::string_view s =
        searchKey.substr(0, std::min(searchKey.size(), static_cast<std::size_t>(info_.keyLength)));
    cdx::CdxTree::Pos pos;
    if (!info_.descending) {
      pos = tree.seekPrefix(s, false);
    } else {
      pos = tree.seekPrefix(s, true);
      if (pos.valid()) {
        tree.prev(pos);
      } else {
        pos = tree.last();
      }
    }
    if (pos.valid()) {
      IndexEntry e = tree.entry(pos);
      if (e.key.compare(0, s.size(), s) != 0) pos = {};
    }
    return settle(pos);
  });
}

std::optional<IndexEntry> CdxOrder::first() {
  return file_.guarded<std::optional<IndexEntry>>([&]() -> std::optional<IndexEntry> {
    return settle(info_.descending ? tag_->tree->last() : tag_->tree->first());
  });
}

std::optional<IndexEntry> CdxOrder::next() {
  return file_.guarded<std::optional<IndexEntry>>([&]() -> std::optional<IndexEntry> {
    cdx::CdxTree& tree = *tag_->tree;
    if (!pos_.valid()) return std::nullopt;
    cdx::CdxTree::Pos pos = pos_;
    if (generation_ != tree.generation()) {
      // The tree changed under the cursor: find the current entry (or its successor).
      pos = tree.seekEntry(current_.key, current_.recno);
      bool same = pos.valid() && tree.entry(pos) == current_;
      if (!info_.descending) {
        if (same) tree.next(pos);
        return settle(pos);
      }
      if (pos.valid()) {
        tree.prev(pos);
      } else {
        pos = tree.last();
      }
      return settle(pos);
    }
    if (info_.descending) {
      tree.prev(pos);
    } else {
      tree.next(pos);
    }
    if (pos.valid()) {
      // A sound tree never goes backwards; a damaged one might, endlessly.
      int c = tree.entry(pos).key.compare(current_.key);
      if (info_.descending ? c > 0 : c < 0) throw IndexDamage("Schl\xfcssel nicht in Sortierfolge");
    }
    return settle(pos);
  });
}

bool CdxOrder::insert(std::string_view key, std::uint32_t recno) {
  return file_.guarded<bool>([&] {
    file_.requireWritable();
    if (key.size() != static_cast<std::size_t>(info_.keyLength)) return false;
    cdx::CdxTree& tree = *tag_->tree;
    if (info_.unique || info_.candidate) {
      auto pos = tree.seekPrefix(key, false);
      if (pos.valid() && tree.entry(pos).key == key) return false;
    }
    return tree.insert(key, recno);
  });
}

bool CdxOrder::remove(std::string_view key, std::uint32_t recno) {
  return file_.guarded<bool>([&] {
    file_.requireWritable();
    return tag_->tree->remove(key, recno);
  });
}

void CdxOrder::commit() {
  file_.commit();
}

CheckReport CdxOrder::check() {
  CheckReport report;
  std::set<std::uint32_t> seen;
  try {
    tag_->tree->check(file_.file_, file_.file_.size(), info_.unique || info_.candidate, report,
                      seen);
  } catch (const std::exception& e) {
    report.problems.push_back(e.what());
  }
  return report;
}

}  // namespace zandor
