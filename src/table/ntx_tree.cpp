#include "table/ntx_tree.h"

#include <algorithm>
#include <cstring>

#include "table/byte_order.h"
#include "table/index_error.h"
#include "table/index_search.h"
#include "table/page_file.h"

namespace zandor::ntx {

namespace {

constexpr int kMaxDepth = 32;

std::string describe(std::uint32_t offset) {
  return "Seite " + std::to_string(offset);
}

[[noreturn]] void tooDeep() {
  throw IndexDamage("Baum zu tief (Zeiger im Kreis?)");
}

}  // namespace

NtxTree::NtxTree(PageStore& store, std::uint32_t root, Geometry geometry)
    : store_(store), root_(root), g_(geometry) {}

Node& NtxTree::load(std::uint32_t offset) {
  if (Node* cached = nodes_.find(offset)) return *cached;
  unsigned char page[kPageSize];
  store_.readPage(offset, page);
  auto node = std::make_unique<Node>();
  decodeNode(page, offset, g_, *node);
  return nodes_.put(offset, std::move(node));
}

Node& NtxTree::loadForSearch(std::uint32_t offset) {
  return nodes_.findForSearch(offset, [this](std::uint32_t at) -> Node& { return load(at); });
}

Node& NtxTree::newNode(bool leaf) {
  std::uint32_t offset = store_.allocatePage();
  auto node = std::make_unique<Node>();
  node->offset = offset;
  node->leaf = leaf;
  dirty_.insert(offset);
  return nodes_.put(offset, std::move(node));
}

void NtxTree::release(Node& node) {
  std::uint32_t offset = node.offset;
  dirty_.erase(offset);
  nodes_.erase(offset);
  store_.releasePage(offset);
}

void NtxTree::startEmpty() {
  auto node = std::make_unique<Node>();
  node->offset = root_;
  node->leaf = true;
  node->children = {0};
  nodes_.put(root_, std::move(node));
  dirty_.insert(root_);
}

int NtxTree::compareEntry(const Node& node, std::size_t i, std::string_view key,
                          std::uint32_t recno) const {
  return compareEntryAt(node, i, key, recno, static_cast<std::size_t>(g_.keyLength));
}

std::size_t NtxTree::lowerBound(const Node& node, std::string_view key, std::uint32_t recno) const {
  return lowerBoundOf(node, key, recno, static_cast<std::size_t>(g_.keyLength));
}

std::size_t NtxTree::lowerBoundKey(const Node& node, std::string_view key) const {
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  std::size_t lo = 0, hi = node.count();
  while (lo < hi) {
    std::size_t mid = (lo + hi) / 2;
    if (compareKeyBytes(node.keys.data() + mid * kl, key.data(), kl) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

NtxTree::Promote NtxTree::insertInto(Node& node, std::string_view key, std::uint32_t recno,
                                     int depth, bool& inserted) {
  if (depth > kMaxDepth) tooDeep();
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  std::size_t i = lowerBound(node, key, recno);
  if (i < node.count() && compareEntry(node, i, key, recno) == 0) return {};
  std::string upKey;
  std::uint32_t upRec = recno;
  std::uint32_t upRight = 0;
  if (node.leaf) {
    upKey.assign(key);
    inserted = true;
  } else {
    Promote p = insertInto(loadForSearch(node.children[i]), key, recno, depth + 1, inserted);
    if (!p.happened) return {};
    upKey = std::move(p.key);
    upRec = p.recno;
    upRight = p.right;
  }
  node.keys.insert(i * kl, upKey);
  node.recs.insert(node.recs.begin() + static_cast<std::ptrdiff_t>(i), upRec);
  node.children.insert(node.children.begin() + static_cast<std::ptrdiff_t>(i + 1), upRight);
  markDirty(node);
  if (node.count() <= static_cast<std::size_t>(g_.maxKeys)) return {};
  // Split: the median moves up, the upper half goes to a new page.
  std::size_t h = node.count() / 2;
  Node& right = newNode(node.leaf);
  Promote out;
  out.happened = true;
  out.key.assign(node.key(h, kl));
  out.recno = node.recs[h];
  out.right = right.offset;
  right.keys.assign(node.keys, (h + 1) * kl, std::string::npos);
  right.recs.assign(node.recs.begin() + static_cast<std::ptrdiff_t>(h + 1), node.recs.end());
  right.children.assign(node.children.begin() + static_cast<std::ptrdiff_t>(h + 1),
                        node.children.end());
  node.keys.resize(h * kl);
  node.recs.resize(h);
  node.children.resize(h + 1);
  return out;
}

bool NtxTree::insert(std::string_view key, std::uint32_t recno) {
  if (key.size() != static_cast<std::size_t>(g_.keyLength)) return false;
  bool inserted = false;
  Node& root = loadForSearch(root_);
  Promote p = insertInto(root, key, recno, 0, inserted);
  if (p.happened) {
    Node& top = newNode(false);
    top.keys = p.key;
    top.recs = {p.recno};
    top.children = {root.offset, p.right};
    root_ = top.offset;
    rootChanged_ = true;
  }
  if (inserted) ++generation_;
  return inserted;
}

IndexEntry NtxTree::removeLast(Node& node, int depth) {
  if (depth > kMaxDepth) tooDeep();
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  if (node.leaf) {
    if (node.count() == 0) throw IndexDamage("leere " + describe(node.offset));
    std::size_t last = node.count() - 1;
    IndexEntry e{std::string(node.key(last, kl)), node.recs[last]};
    node.keys.resize(last * kl);
    node.recs.pop_back();
    node.children.pop_back();
    markDirty(node);
    return e;
  }
  std::size_t n = node.count();
  IndexEntry e = removeLast(load(node.children[n]), depth + 1);
  fixChild(node, n);
  return e;
}

void NtxTree::removeAt(Node& node, std::size_t i, int depth) {
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  if (node.leaf) {
    node.keys.erase(i * kl, kl);
    node.recs.erase(node.recs.begin() + static_cast<std::ptrdiff_t>(i));
    node.children.pop_back();
    markDirty(node);
    return;
  }
  // An interior key gives way to its in-order predecessor.
  IndexEntry pred = removeLast(load(node.children[i]), depth + 1);
  std::memcpy(node.keys.data() + i * kl, pred.key.data(), kl);
  node.recs[i] = pred.recno;
  markDirty(node);
  fixChild(node, i);
}

bool NtxTree::removeIn(Node& node, std::string_view key, std::uint32_t recno, int depth,
                       bool ordered) {
  if (depth > kMaxDepth) tooDeep();
  if (budget_-- == 0) throw IndexDamage("Seiten geh\xf6ren zu mehreren Teilb\xe4umen");
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  std::size_t i = ordered ? lowerBound(node, key, recno) : lowerBoundKey(node, key);
  for (;; ++i) {
    if (i < node.count() && node.recs[i] == recno &&
        std::memcmp(node.keys.data() + i * kl, key.data(), kl) == 0) {
      removeAt(node, i, depth);
      return true;
    }
    if (!node.leaf && removeIn(loadForSearch(node.children[i]), key, recno, depth + 1, ordered)) {
      fixChild(node, i);
      return true;
    }
    if (ordered || i >= node.count() ||
        std::memcmp(node.keys.data() + i * kl, key.data(), kl) != 0) {
      return false;
    }
  }
}

void NtxTree::fixChild(Node& parent, std::size_t i) {
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  std::size_t half = static_cast<std::size_t>(g_.halfKeys);
  std::size_t max = static_cast<std::size_t>(g_.maxKeys);
  Node& c = load(parent.children[i]);
  if (c.count() >= half) return;
  auto keyAt = [&](Node& n, std::size_t k) { return std::string(n.key(k, kl)); };
  if (i > 0) {
    Node& l = load(parent.children[i - 1]);
    if (l.count() > half) {  // borrow through the parent from the left
      std::size_t last = l.count() - 1;
      c.keys.insert(0, parent.key(i - 1, kl));
      c.recs.insert(c.recs.begin(), parent.recs[i - 1]);
      c.children.insert(c.children.begin(), l.children.back());
      std::memcpy(parent.keys.data() + (i - 1) * kl, l.keys.data() + last * kl, kl);
      parent.recs[i - 1] = l.recs[last];
      l.keys.resize(last * kl);
      l.recs.pop_back();
      l.children.pop_back();
      markDirty(c), markDirty(l), markDirty(parent);
      return;
    }
  }
  if (i < parent.count()) {
    Node& r = load(parent.children[i + 1]);
    if (r.count() > half) {  // borrow from the right
      c.keys.append(parent.key(i, kl));
      c.recs.push_back(parent.recs[i]);
      c.children.push_back(r.children.front());
      std::memcpy(parent.keys.data() + i * kl, r.keys.data(), kl);
      parent.recs[i] = r.recs.front();
      r.keys.erase(0, kl);
      r.recs.erase(r.recs.begin());
      r.children.erase(r.children.begin());
      markDirty(c), markDirty(r), markDirty(parent);
      return;
    }
  }
  // Merge with a neighbour: left page + separator + right page.
  std::size_t li = i > 0 ? i - 1 : i;
  if (li + 1 > parent.count()) return;  // no neighbour (only a root can be alone)
  Node& l = load(parent.children[li]);
  Node& r = load(parent.children[li + 1]);
  if (l.count() + r.count() + 1 > max || l.leaf != r.leaf) return;
  l.keys += keyAt(parent, li);
  l.keys += r.keys;
  l.recs.push_back(parent.recs[li]);
  l.recs.insert(l.recs.end(), r.recs.begin(), r.recs.end());
  l.children.insert(l.children.end(), r.children.begin(), r.children.end());
  markDirty(l);
  release(r);
  parent.keys.erase(li * kl, kl);
  parent.recs.erase(parent.recs.begin() + static_cast<std::ptrdiff_t>(li));
  parent.children.erase(parent.children.begin() + static_cast<std::ptrdiff_t>(li + 1));
  markDirty(parent);
}

bool NtxTree::remove(std::string_view key, std::uint32_t recno) {
  if (key.size() != static_cast<std::size_t>(g_.keyLength)) return false;
  // Files of other writers may keep equal keys out of record order; then every entry of
  // the key has to be looked at.
  budget_ = store_.pageCount() + 1;
  bool found = removeIn(loadForSearch(root_), key, recno, 0, true);
  budget_ = store_.pageCount() + 1;
  if (!found && !removeIn(load(root_), key, recno, 0, false)) return false;
  ++generation_;
  Node& top = load(root_);
  if (top.count() == 0 && !top.leaf) {
    std::uint32_t child = top.children[0];
    release(top);
    root_ = child;
    rootChanged_ = true;
  }
  return true;
}

// ---- navigation ----

void NtxTree::descend(Pos& pos, std::uint32_t offset, bool rightmost) {
  for (;;) {
    if (pos.path.size() > static_cast<std::size_t>(kMaxDepth)) tooDeep();
    if (++pos.entered > store_.pageCount())
      throw IndexDamage("Seiten geh\xf6ren zu mehreren Teilb\xe4umen");
    Node& node = load(offset);
    if (node.leaf) {
      pos.path.emplace_back(offset, rightmost ? (node.count() == 0 ? 0 : node.count() - 1) : 0);
      return;
    }
    std::size_t i = rightmost ? node.count() : 0;
    pos.path.emplace_back(offset, i);
    offset = node.children[i];
  }
}

// After the bottom frame ran past its page: climb to the first ancestor key not yet visited.
bool NtxTree::climbForward(Pos& pos) {
  while (!pos.path.empty()) {
    auto [offset, i] = pos.path.back();
    if (i < load(offset).count()) return true;
    pos.path.pop_back();
  }
  return false;
}

NtxTree::Pos NtxTree::first() {
  Pos pos;
  descend(pos, root_, false);
  if (!climbForward(pos)) pos.path.clear();
  return pos;
}

NtxTree::Pos NtxTree::last() {
  Pos pos;
  descend(pos, root_, true);
  Node& leaf = load(pos.path.back().first);
  if (leaf.count() > 0) return pos;
  pos.path.pop_back();
  // An empty leaf can only be the root of an empty tree.
  while (!pos.path.empty()) {
    auto& [offset, i] = pos.path.back();
    if (i > 0) {
      --i;
      return pos;
    }
    pos.path.pop_back();
  }
  return pos;
}

bool NtxTree::next(Pos& pos) {
  if (pos.path.empty()) return false;
  auto& [offset, i] = pos.path.back();
  Node& node = load(offset);
  if (!node.leaf) {
    ++i;
    descend(pos, node.children[i], false);
  } else {
    ++i;
  }
  return climbForward(pos);
}

bool NtxTree::prev(Pos& pos) {
  if (pos.path.empty()) return false;
  {
    auto [offset, i] = pos.path.back();
    Node& node = load(offset);
    if (!node.leaf) {
      descend(pos, node.children[i], true);
      if (load(pos.path.back().first).count() > 0) return true;
      pos.path.pop_back();
    } else if (i > 0) {
      --pos.path.back().second;
      return true;
    } else {
      pos.path.pop_back();
    }
  }
  while (!pos.path.empty()) {
    auto& [offset, i] = pos.path.back();
    if (i > 0) {
      --i;
      return true;
    }
    pos.path.pop_back();
  }
  return false;
}

IndexEntry NtxTree::entry(const Pos& pos) {
  auto [offset, i] = pos.path.back();
  Node& node = load(offset);
  return {std::string(node.key(i, static_cast<std::size_t>(g_.keyLength))), node.recs[i]};
}

template <class Pred>
NtxTree::Pos NtxTree::seekFirst(Pred atOrAbove) {
  Pos pos;
  std::uint32_t offset = root_;
  for (;;) {
    if (pos.path.size() > static_cast<std::size_t>(kMaxDepth)) tooDeep();
    Node& node = loadForSearch(offset);
    std::size_t lo = 0, hi = node.count();
    while (lo < hi) {
      std::size_t mid = (lo + hi) / 2;
      if (atOrAbove(node, mid)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    pos.path.emplace_back(offset, lo);
    if (node.leaf) break;
    offset = node.children[lo];
  }
  if (!climbForward(pos)) pos.path.clear();
  return pos;
}

NtxTree::Pos NtxTree::seekPrefix(std::string_view prefix, bool strictlyGreater) {
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  if (prefix.size() > kl) prefix = prefix.substr(0, kl);
  return seekFirst([&](const Node& node, std::size_t i) {
    int c = compareKeyBytes(node.keys.data() + i * kl, prefix.data(), prefix.size());
    return strictlyGreater ? c > 0 : c >= 0;
  });
}

NtxTree::Pos NtxTree::seekEntry(std::string_view key, std::uint32_t recno) {
  return seekFirst(
      [&](const Node& node, std::size_t i) { return compareEntry(node, i, key, recno) >= 0; });
}

// ---- writing ----

void NtxTree::flush(PageBatch& batch) {
  flushChangedPages(nodes_, dirty_, batch, [&](const Node& node, PageBatch& out) {
    encodeNode(node, g_, out.add(node.offset, kPageSize));
  });
  rootChanged_ = false;
}

void NtxTree::discard(std::uint32_t committedRoot) {
  nodes_.clear();
  dirty_.clear();
  root_ = committedRoot;
  rootChanged_ = false;
  ++generation_;
}

void NtxTree::check(PageFile& file, std::uint64_t fileSize, bool unique, CheckReport& report,
                    std::set<std::uint32_t>& seen) const {
  std::size_t kl = static_cast<std::size_t>(g_.keyLength);
  std::string prevKey;
  std::uint32_t prevRec = 0;
  bool havePrev = false;
  int leafDepth = -1;
  auto problem = [&](const std::string& text) { report.problems.push_back(text); };
  struct Frame {
    Node node;
    std::size_t next = 0;  // next child to visit
  };
  std::vector<Frame> stack;
  auto enter = [&](std::uint32_t off) -> bool {
    if (off == 0 || off % kPageSize != 0 || off + kPageSize > fileSize) {
      problem(describe(off) +
              ": Zeiger au\xdf"
              "erhalb des Seitenrasters oder der Datei");
      return false;
    }
    if (!seen.insert(off).second) {
      problem(describe(off) + ": mehrfach erreicht");
      return false;
    }
    if (stack.size() > static_cast<std::size_t>(kMaxDepth)) {
      problem("Baum zu tief");
      return false;
    }
    unsigned char raw[kPageSize];
    Frame f;
    try {
      file.read(off, raw, kPageSize);
      decodeNode(raw, off, g_, f.node, true);
    } catch (const IndexDamage& e) {
      problem(describe(off) + ": " + e.what());
      return false;
    }
    if (f.node.count() == 0 && !stack.empty())
      problem(describe(off) + ": leere Seite unterhalb der Wurzel");
    if (f.node.leaf) {
      int depth = static_cast<int>(stack.size());
      if (leafDepth < 0) leafDepth = depth;
      if (depth != leafDepth) problem(describe(off) + ": Blattseiten auf verschiedenen Ebenen");
    }
    stack.push_back(std::move(f));
    return true;
  };
  auto visitKey = [&](const Node& node, std::size_t i) {
    std::string_view key = node.key(i, kl);
    if (havePrev) {
      int c = std::memcmp(prevKey.data(), key.data(), kl);
      if (c > 0) problem(describe(node.offset) + ": Schl\xfcssel nicht in Sortierfolge");
      if (c == 0 && prevRec == node.recs[i]) problem(describe(node.offset) + ": Eintrag doppelt");
      if (c == 0 && unique)
        problem(describe(node.offset) + ": doppelter Schl\xfcssel in einem eindeutigen Index");
    }
    prevKey.assign(key);
    prevRec = node.recs[i];
    havePrev = true;
    ++report.keyCount;
  };
  if (!enter(root_)) return;
  while (!stack.empty() && report.problems.size() < 50) {
    Frame& top = stack.back();
    if (top.node.leaf) {
      for (std::size_t i = 0; i < top.node.count(); ++i) visitKey(top.node, i);
      stack.pop_back();
    } else if (top.next <= top.node.count()) {
      std::size_t i = top.next++;
      if (i > 0) visitKey(top.node, i - 1);
      if (!enter(top.node.children[i])) return;
    } else {
      stack.pop_back();
    }
  }
}

}  // namespace zandor::ntx
