#include "table/ntx_file.h"
#include "table/byte_order.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/paths.h"
#include "base/text.h"
#include "table/index_error.h"
#include "table/index_key.h"
#include "table/private_file.h"

namespace zandor {

namespace {

using ntx::kPageSize;

constexpr std::size_t kExprSize = 256;
constexpr std::size_t kKeyExprAt = 22;
constexpr std::size_t kUniqueAt = 278;
constexpr std::size_t kDescendingAt = 280;
constexpr std::size_t kForExprAt = 282;
constexpr std::size_t kNameAt = 538;
constexpr std::size_t kNameSize = 12;

bool printable(unsigned char c) {
  return c > 0x20 && c < 0x7F;
}

std::string cString(const unsigned char* p, std::size_t size) {
  std::string s;
  for (std::size_t i = 0; i < size && p[i] != 0; ++i) s.push_back(static_cast<char>(p[i]));
  return trimRight(s);
}

}  // namespace

NtxFile::~NtxFile() = default;

std::unique_ptr<NtxFile> NtxFile::open(const std::string& path, bool writable,
                                       PageMapping mapping) {
  std::unique_ptr<NtxFile> f(new NtxFile());
  if (int err = f->file_.open(path, writable, mapping)) {
    throw std::system_error(err, std::generic_category(), path);
  }
  f->load();
  return f;
}

void NtxFile::load() {
  std::uint64_t size = file_.size();
  if (size < 2 * kPageSize) throw IndexDamage("Datei zu klein");
  end_ = committedEnd_ = (size + kPageSize - 1) / kPageSize * kPageSize;
  file_.read(0, header_.data(), kPageSize);
  const unsigned char* h = header_.data();
  std::uint32_t signature = get16(h);
  if (signature & 0x7800) throw IndexDamage("unbekannte Kennung");
  if (signature != 3 && (signature & 6) != 6) throw IndexDamage("unbekannte Kennung");
  if (signature & 0x8000)
    throw IndexDamage("Dateien mit mehreren Indizes werden nicht unterst\xfctzt");
  std::uint32_t root = get32(h + 4);
  if (root == 0 || root % kPageSize != 0 || root + kPageSize > size) {
    throw IndexDamage("Wurzelseite " + std::to_string(root) +
                      " au\xdf"
                      "erhalb des Seitenrasters oder der Datei");
  }
  ntx::Geometry g;
  g.keyLength = static_cast<int>(get16(h + 14));
  g.maxKeys = static_cast<int>(get16(h + 18));
  g.halfKeys = static_cast<int>(get16(h + 20));
  if (g.keyLength < 1 || g.keyLength > 256) throw IndexDamage("Schl\xfcssell\xe4nge unm\xf6glich");
  if (get16(h + 12) != static_cast<std::uint32_t>(g.keyLength) + 8) {
    throw IndexDamage(
        "Eintragsgr\xf6\xdf"
        "e passt nicht zur Schl\xfcssell\xe4nge");
  }
  if (g.maxKeys < 2 ||
      g.slotStart() + (static_cast<std::size_t>(g.maxKeys) + 1) * g.itemSize() > kPageSize) {
    throw IndexDamage("Schl\xfcssel je Seite passen nicht auf eine Seite");
  }
  if (g.halfKeys < 1 || g.halfKeys > g.maxKeys / 2) g.halfKeys = g.maxKeys / 2;
  if (!printable(h[kKeyExprAt])) throw IndexDamage("Schl\xfcsselausdruck fehlt");
  OrderInfo info;
  info.keyExpression = cString(h + kKeyExprAt, kExprSize);
  info.keyLength = g.keyLength;
  info.decimals = static_cast<int>(get16(h + 16));
  info.unique = h[kUniqueAt] != 0;
  info.descending = h[kDescendingAt] != 0;
  if (signature & 1) info.forExpression = cString(h + kForExprAt, kExprSize);
  info.name = printable(h[kNameAt]) ? upperAZ(cString(h + kNameAt, kNameSize))
                                    : upperAZ(std::filesystem::path(file_.path()).stem().string());
  freeHead_ = committedFreeHead_ = get32(h + 8);
  committedRoot_ = root;
  tree_ = std::make_unique<ntx::NtxTree>(*this, root, g);
  order_.reset(new NtxOrder(*this, info));
}

std::unique_ptr<NtxFile> NtxFile::create(const std::string& path, const NewOrder& def,
                                         std::vector<IndexEntry> entries) {
  ntx::Geometry g = ntx::Geometry::forKeyLength(def.keyLength);
  if (def.keyLength < 1 || def.keyLength > 256 || g.maxKeys < 2) {
    throw std::invalid_argument("key length");
  }
  if (def.keyExpression.size() >= kExprSize || def.forExpression.size() >= kExprSize) {
    throw std::invalid_argument("expression too long");
  }
  // Built under a temporary name and renamed at the end, so an existing file is only
  // replaced by a complete one.
  std::string temporary = path + ".new";
  std::unique_ptr<NtxFile> f(new NtxFile());
  // A rebuild's own file is private until it is complete; so is its temporary.
  if (fileExists(path)) createOwnerOnlyFile(temporary);
  if (int err = f->file_.create(temporary)) {
    throw std::system_error(err, std::generic_category(), temporary);
  }
  struct RemoveUnlessDone {
    std::string path;
    bool done = false;
    ~RemoveUnlessDone() {
      if (!done) std::remove(path.c_str());
    }
  } cleanup{temporary};
  unsigned char* h = f->header_.data();
  put16(h, def.forExpression.empty() ? 6 : 7);
  put16(h + 2, 1);
  put32(h + 4, kPageSize);
  put16(h + 12, static_cast<std::uint32_t>(g.itemSize()));
  put16(h + 14, static_cast<std::uint32_t>(g.keyLength));
  put16(h + 16, static_cast<std::uint32_t>(def.decimals));
  put16(h + 18, static_cast<std::uint32_t>(g.maxKeys));
  put16(h + 20, static_cast<std::uint32_t>(g.halfKeys));
  std::memcpy(h + kKeyExprAt, def.keyExpression.data(), def.keyExpression.size());
  h[kUniqueAt] = def.unique ? 1 : 0;
  h[kDescendingAt] = def.descending ? 1 : 0;
  std::memcpy(h + kForExprAt, def.forExpression.data(), def.forExpression.size());
  std::string name = upperAZ(def.name).substr(0, kNameSize - 1);
  std::memcpy(h + kNameAt, name.data(), name.size());
  f->headerDirty_ = true;
  f->end_ = kPageSize;
  std::uint32_t root = f->allocatePage();
  f->committedRoot_ = root;
  f->tree_ = std::make_unique<ntx::NtxTree>(*f, root, g);
  f->tree_->startEmpty();
  OrderInfo info;
  info.name = name.empty() ? upperAZ(std::filesystem::path(path).stem().string()) : name;
  info.keyExpression = def.keyExpression;
  info.forExpression = def.forExpression;
  info.keyType = def.keyType;
  info.keyLength = def.keyLength;
  info.decimals = def.decimals;
  info.numberForm = def.numberForm;
  info.unique = def.unique;
  info.descending = def.descending;
  f->order_.reset(new NtxOrder(*f, info));
  std::sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
    return a.key != b.key ? a.key < b.key : a.recno < b.recno;
  });
  std::string lastKey;
  bool any = false;
  for (auto& e : entries) {
    e.key = padRight(e.key, static_cast<std::size_t>(def.keyLength));
    if (def.unique && any && e.key == lastKey) continue;
    f->tree_->insert(e.key, e.recno);
    lastKey = e.key;
    any = true;
  }
  f->commitOrThrow();
  f->file_.sync();
  if (int err = f->file_.renameTo(path))
    throw std::system_error(err, std::generic_category(), path);
  cleanup.done = true;
  return f;
}

void NtxFile::requireWritable() const {
  if (!file_.writable()) throw std::system_error(EBADF, std::generic_category(), path());
}

IndexOrder& NtxFile::order(std::size_t index) {
  if (index != 0) throw std::out_of_range("order");
  return *order_;
}

void NtxFile::readPage(std::uint32_t offset, unsigned char* page) {
  file_.readTreePage(offset, page, kPageSize, end_);
}

std::uint32_t NtxFile::allocatePage() {
  if (freeHead_ != 0) {
    std::uint32_t offset = freeHead_;
    if (offset % kPageSize != 0 || offset + kPageSize > committedEnd_ ||
        !takenFromFreeList_.insert(offset).second) {
      throw IndexDamage(
          "Liste der freien Seiten besch\xe4"
          "digt");
    }
    unsigned char link[4];
    file_.read(offset, link, 4);
    freeHead_ = get32(link);
    headerDirty_ = true;
    return offset;
  }
  if (end_ + kPageSize > 0xFFFFFC00ull)
    throw IndexDamage(
        "die Indexdatei w\xfcrde gr\xf6\xdf"
        "er als 4 GB");
  auto offset = static_cast<std::uint32_t>(end_);
  end_ += kPageSize;
  return offset;
}

// Released pages join the file's free list at the commit that stops using them.
void NtxFile::releasePage(std::uint32_t offset) {
  pendingFree_.push_back(offset);
}

void NtxFile::commitOrThrow() {
  if (!file_.writable()) return;
  bool changed = tree_->dirty() || !pendingFree_.empty() || headerDirty_;
  if (!changed) return;
  bool rootChanged = tree_->rootChanged();
  batch_.clear();
  tree_->flush(batch_);
  std::uint32_t freeHead = freeHead_;
  for (std::uint32_t offset : pendingFree_) {
    put32(batch_.add(offset, kPageSize), freeHead);
    freeHead = offset;
  }
  std::array<unsigned char, kPageSize> header = header_;
  unsigned char* h = header.data();
  if (rootChanged) put32(h + 4, tree_->root());
  put32(h + 8, freeHead);
  put16(h + 2, get16(h + 2) + 1);
  std::memcpy(batch_.add(0, kPageSize), h, kPageSize);
  file_.write(batch_);
  header_ = header;
  freeHead_ = freeHead;
  pendingFree_.clear();
  headerDirty_ = false;
  committedRoot_ = tree_->root();
  committedFreeHead_ = freeHead_;
  committedEnd_ = end_;
  takenFromFreeList_.clear();
}

void NtxFile::close() {
  const std::string path = file_.path();
  if (const int err = file_.close()) throw std::system_error(err, std::generic_category(), path);
}

void NtxFile::commit() {
  guarded<int>([&] {
    commitOrThrow();
    return 0;
  });
}

void NtxFile::discardUncommitted() {
  end_ = committedEnd_;
  freeHead_ = committedFreeHead_;
  pendingFree_.clear();
  takenFromFreeList_.clear();
  headerDirty_ = false;
  put32(header_.data() + 4, committedRoot_);
  put32(header_.data() + 8, committedFreeHead_);
  tree_->discard(committedRoot_);
}

template <class R, class F>
R NtxFile::guarded(F&& operation) {
  return runIndexOperation<R>("DBFNTX", path(), operation, [&] { discardUncommitted(); });
}

CheckReport NtxFile::check() {
  CheckReport report;
  std::set<std::uint32_t> seen;
  try {
    std::uint64_t size = file_.size();
    tree_->check(file_, size, order_->info().unique, report, seen);
    std::uint32_t offset = get32(header_.data() + 8);
    std::set<std::uint32_t> freePages;
    while (offset != 0 && report.problems.size() < 50) {
      if (offset % kPageSize != 0 || offset + kPageSize > size) {
        report.problems.push_back("free list: page " + std::to_string(offset) + " outside");
        break;
      }
      if (seen.count(offset)) {
        report.problems.push_back("free list: page " + std::to_string(offset) + " is in use");
        break;
      }
      if (!freePages.insert(offset).second) {
        report.problems.push_back("free list: cycle");
        break;
      }
      unsigned char link[4];
      file_.read(offset, link, 4);
      offset = get32(link);
    }
    // Every page is the header, in the tree or in the free list. Unused pages at the very end
    // are no damage: a process stopped between growing the file and linking the new page
    // leaves them, and a writer appends its next page after them.
    std::uint64_t pages = size / kPageSize;
    while (pages > 1 && !seen.count(static_cast<std::uint32_t>((pages - 1) * kPageSize)) &&
           !freePages.count(static_cast<std::uint32_t>((pages - 1) * kPageSize))) {
      --pages;
    }
    if (report.ok() && 1 + seen.size() + freePages.size() != pages) {
      report.problems.push_back(std::to_string(pages - 1 - seen.size() - freePages.size()) +
                                " pages neither in the tree nor in the free list");
    }
  } catch (const std::exception& e) {
    report.problems.push_back(e.what());
  }
  return report;
}

// ---- NtxOrder ----

namespace {

// Digits after the point of a stored numeric key, or -1 when the key does not tell
// (no digits at all, or an overflow of asterisks).
int decimalsOfKey(std::string_view key) {
  while (!key.empty() && key.back() == '\0') key.remove_suffix(1);
  if (key.empty() || key.find('*') != std::string_view::npos) return -1;
  const std::size_t point = key.find('.');
  return point == std::string_view::npos ? 0 : static_cast<int>(key.size() - point - 1);
}

}  // namespace

// The header's decimals are not dependable (one writer stores 0 for a field with two), and
// the number form is not recorded at all: both follow the keys already in the file. An
// empty file whose key is one byte longer than the number can only be of the field-text
// form, since the zero-filled form uses the number's full width.
void NtxOrder::adoptKeySample(const Value& sample) {
  if (info_.keyType != 'N') return;
  const int width = sample.isNumber() ? sample.asNumber().width : 0;
  const int sampleDecimals = sample.isNumber() ? sample.asNumber().decimals : 0;
  ntx::NtxTree& tree = *file_.tree_;
  const ntx::NtxTree::Pos pos = tree.first();
  if (pos.valid()) {
    const std::string key = tree.entry(pos).key;
    info_.numberForm =
        !key.empty() && key.back() == '\0' ? NtxNumberForm::FieldText : NtxNumberForm::ZeroFilled;
    const int stored = decimalsOfKey(key);
    if (stored >= 0) {
      info_.decimals = stored;
    } else if (info_.numberForm == NtxNumberForm::FieldText) {
      info_.decimals = sampleDecimals;
    }
  } else if (width > 0 && info_.keyLength == width + 1) {
    info_.numberForm = NtxNumberForm::FieldText;
    info_.decimals = sampleDecimals;
  }
}

std::string NtxOrder::keyFor(const Value& value) const {
  return ntxKey(value, info_.keyType, info_.keyLength, info_.decimals, info_.caseInsensitive,
                info_.numberForm);
}

std::string NtxOrder::searchKeyFor(const Value& value) const {
  return ntxSearchKey(value, info_.keyType, info_.keyLength, info_.decimals, info_.caseInsensitive,
                      info_.numberForm);
}

std::optional<IndexEntry> NtxOrder::settle(ntx::NtxTree::Pos pos) {
  pos_ = std::move(pos);
  generation_ = file_.tree_->generation();
  if (!pos_.valid()) return std::nullopt;
  current_ = file_.tree_->entry(pos_);
  return current_;
}

std::optional<IndexEntry> NtxOrder::seek(std::string_view searchKey) {
  return file_.guarded<std::optional<IndexEntry>>([&]() -> std::optional<IndexEntry> {
    ntx::NtxTree& tree = *file_.tree_;
    std::string_view s =
        searchKey.substr(0, std::min(searchKey.size(), static_cast<std::size_t>(info_.keyLength)));
    ntx::NtxTree::Pos pos;
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
    if (pos.valid() && tree.entry(pos).key.compare(0, s.size(), s) != 0) pos = {};
    return settle(std::move(pos));
  });
}

std::optional<IndexEntry> NtxOrder::first() {
  return file_.guarded<std::optional<IndexEntry>>([&]() -> std::optional<IndexEntry> {
    return settle(info_.descending ? file_.tree_->last() : file_.tree_->first());
  });
}

std::optional<IndexEntry> NtxOrder::next() {
  return file_.guarded<std::optional<IndexEntry>>([&]() -> std::optional<IndexEntry> {
    ntx::NtxTree& tree = *file_.tree_;
    if (!pos_.valid()) return std::nullopt;
    ntx::NtxTree::Pos pos = pos_;
    if (generation_ != tree.generation()) {
      pos = tree.seekEntry(current_.key, current_.recno);
      bool same = pos.valid() && tree.entry(pos) == current_;
      if (!info_.descending) {
        if (same) tree.next(pos);
        return settle(std::move(pos));
      }
      if (pos.valid()) {
        tree.prev(pos);
      } else {
        pos = tree.last();
      }
      return settle(std::move(pos));
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
    return settle(std::move(pos));
  });
}

bool NtxOrder::insert(std::string_view key, std::uint32_t recno) {
  return file_.guarded<bool>([&] {
    file_.requireWritable();
    if (key.size() != static_cast<std::size_t>(info_.keyLength)) return false;
    ntx::NtxTree& tree = *file_.tree_;
    if (info_.unique) {
      auto pos = tree.seekPrefix(key, false);
      if (pos.valid() && tree.entry(pos).key == key) return false;
    }
    return tree.insert(key, recno);
  });
}

bool NtxOrder::remove(std::string_view key, std::uint32_t recno) {
  return file_.guarded<bool>([&] {
    file_.requireWritable();
    return file_.tree_->remove(key, recno);
  });
}

void NtxOrder::commit() {
  file_.commit();
}

CheckReport NtxOrder::check() {
  return file_.check();
}

}  // namespace zandor
