#include "table/cdx_tag.h"
#include "table/prefetch.h"

#include <algorithm>
#include <cstring>

#include "table/byte_order.h"
#include "table/index_error.h"
#include "table/index_search.h"
#include "table/page_file.h"

namespace zandor::cdx {

namespace {

constexpr int kMaxDepth = 32;

int comparePrefix(std::string_view key, std::string_view prefix) {
  std::size_t n = std::min(key.size(), prefix.size());
  return compareKeyBytes(key.data(), prefix.data(), n);
}

std::string describe(std::uint32_t offset) {
  return "Seite " + std::to_string(offset);
}

}  // namespace

CdxTree::CdxTree(PageStore& store, std::uint32_t root, int keyLength, char fill)
    : store_(store), root_(root), keyLength_(keyLength), fill_(fill) {}

void CdxTree::setFill(char fill) {
  if (fill == fill_) return;
  fill_ = fill;
  if (dirty_.empty()) nodes_.clear();
}

Node& CdxTree::load(std::uint32_t offset) {
  if (Node* cached = nodes_.find(offset)) return *cached;
  unsigned char page[kPageSize];
  store_.readPage(offset, page);
  auto node = std::make_unique<Node>();
  decodeNode(page, offset, keyLength_, fill_, *node);
  return nodes_.put(offset, std::move(node));
}

Node& CdxTree::loadForSearch(std::uint32_t offset) {
  return nodes_.findForSearch(offset, [this](std::uint32_t at) -> Node& { return load(at); });
}

Node& CdxTree::newNode(bool leaf) {
  std::uint32_t offset = store_.allocatePage();
  auto node = std::make_unique<Node>();
  node->offset = offset;
  node->leaf = leaf;
  dirty_.insert(offset);
  return nodes_.put(offset, std::move(node));
}

void CdxTree::markDirty(const Node& node) {
  node.shapes.known = false;
  markWhole(node);
  dirty_.insert(node.offset);
  store_.willWrite(node.offset);
}

void CdxTree::markLeafChanged(const Node& node, LeafChange change, std::size_t index) {
  // The key shapes follow from the changed key's neighbours instead of a recount, and the
  // page written next is patched around the change.
  if (change == LeafChange::Insert)
    shapesAfterInsert(node, index, keyLength_, fill_);
  else
    shapesAfterRemove(node, index, keyLength_, fill_);
  noteLeafEdit(node, change, index);
  dirty_.insert(node.offset);
}

// A leaf about to change: what the change and the commit after it touch besides the keys
// (record numbers, key shapes, the kept image and the page's place in the file) is asked
// for from memory now, while the keys are searched, instead of stalling each in turn.
void CdxTree::prefetchForChange(const Node& leaf) const {
  prefetchBytes<true>(leaf.recs.data(), leaf.recs.size() * sizeof(leaf.recs[0]));
  prefetchBytes<true>(leaf.shapes.sig.data(), leaf.shapes.sig.size() * sizeof(leaf.shapes.sig[0]));
  prefetchBytes<true>(leaf.shapes.dup.data(), leaf.shapes.dup.size() * sizeof(leaf.shapes.dup[0]));
  if (leaf.image.size() == kPageSize) prefetchBytes<true>(leaf.image.data(), kPageSize);
  store_.willWrite(leaf.offset);
}

void CdxTree::release(Node& node) {
  std::uint32_t offset = node.offset;
  dirty_.erase(offset);
  nodes_.erase(offset);
  store_.releasePage(offset);
}

int CdxTree::compareEntry(const Node& node, std::size_t i, std::string_view key,
                          std::uint32_t recno) const {
  return compareEntryAt(node, i, key, recno, static_cast<std::size_t>(keyLength_));
}

std::size_t CdxTree::lowerBound(const Node& node, std::string_view key, std::uint32_t recno) const {
  return lowerBoundOf(node, key, recno, static_cast<std::size_t>(keyLength_));
}

std::size_t CdxTree::leafUsed(const Node& node) const {
  return leafUsedBytes(node, keyLength_, fill_);
}

bool CdxTree::fits(const Node& node) const {
  if (node.leaf) return leafUsed(node) <= kLeafKeyArea;
  return node.count() <= static_cast<std::size_t>(interiorCapacity(keyLength_));
}

void CdxTree::setEntryToHigh(Node& parent, std::size_t i, const Node& child) {
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  std::size_t last = child.count() - 1;
  const char* high = child.keys.data() + last * kl;
  char* slot = parent.keys.data() + i * kl;
  if (parent.recs[i] == child.recs[last] && std::memcmp(slot, high, kl) == 0) return;
  std::memcpy(slot, high, kl);
  parent.recs[i] = child.recs[last];
  markDirty(parent);
}

CdxTree::Split CdxTree::splitNode(Node& node) {
  std::size_t n = node.count();
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  std::size_t k = (n + 1) / 2;
  if (node.leaf) {
    std::uint32_t maxRec = *std::max_element(node.recs.begin(), node.recs.end());
    LeafParams lp = leafParamsFor(keyLength_, maxRec);
    std::vector<std::size_t> sizes = leafEntrySizes(node, keyLength_, fill_, lp);
    std::size_t total = 0;
    for (auto s : sizes) total += s;
    std::size_t best = total + 1, prefix = sizes[0];
    for (std::size_t cut = 1; cut < n; ++cut) {
      std::size_t right =
          total - prefix + leafEntryBytesAlone(node, cut, keyLength_, fill_, lp) - sizes[cut];
      std::size_t worst = std::max(prefix, right);
      if (worst < best) {
        best = worst;
        k = cut;
      }
      prefix += sizes[cut];
    }
  }
  Node& right = newNode(node.leaf);
  right.keys.assign(node.keys, k * kl, std::string::npos);
  node.keys.resize(k * kl);
  right.recs.assign(node.recs.begin() + static_cast<std::ptrdiff_t>(k), node.recs.end());
  node.recs.resize(k);
  if (!node.leaf) {
    right.children.assign(node.children.begin() + static_cast<std::ptrdiff_t>(k),
                          node.children.end());
    node.children.resize(k);
  }
  right.left = node.offset;
  right.right = node.right;
  if (node.right != kNone) {
    Node& after = load(node.right);
    after.left = right.offset;
    markDirty(after);
  }
  node.right = right.offset;
  markDirty(node);
  if (!fits(node) || !fits(right))
    throw IndexDamage(
        "Seitenteilung ergab eine zu gro\xdf"
        "e Seite");
  return {true, right.offset};
}

CdxTree::Split CdxTree::insertInto(Node& node, std::string_view key, std::uint32_t recno, int depth,
                                   bool& inserted) {
  if (depth > kMaxDepth) throw IndexDamage("Baum zu tief (Zeiger im Kreis?)");
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  if (node.leaf) prefetchForChange(node);
  std::size_t i = lowerBound(node, key, recno);
  if (node.leaf) {
    if (i < node.count() && compareEntry(node, i, key, recno) == 0) return {};
    leafShapes(node, keyLength_, fill_);
    node.keys.insert(i * kl, key.data(), kl);
    node.recs.insert(node.recs.begin() + static_cast<std::ptrdiff_t>(i), recno);
    markLeafChanged(node, LeafChange::Insert, i);
    inserted = true;
    if (!fits(node)) return splitNode(node);
    return {};
  }
  if (node.count() == 0) throw IndexDamage("leere innere " + describe(node.offset));
  if (i == node.count()) i = node.count() - 1;
  Node& child = loadForSearch(node.children[i]);
  Split s = insertInto(child, key, recno, depth + 1, inserted);
  if (!inserted) return {};
  setEntryToHigh(node, i, child);
  if (s.happened) {
    Node& right = load(s.right);
    std::size_t last = right.count() - 1;
    node.keys.insert((i + 1) * kl, right.keys.data() + last * kl, kl);
    node.recs.insert(node.recs.begin() + static_cast<std::ptrdiff_t>(i + 1), right.recs[last]);
    node.children.insert(node.children.begin() + static_cast<std::ptrdiff_t>(i + 1), right.offset);
    markDirty(node);
    if (!fits(node)) return splitNode(node);
  }
  return {};
}

bool CdxTree::insertAtSeek(std::string_view key, std::uint32_t recno) {
  if (seekEndGeneration_ != generation_) return false;
  Node* leaf = nodes_.find(seekEnd_.leaf);
  if (!leaf || !leaf->leaf) return false;
  const std::size_t i = seekEnd_.index, n = leaf->count();
  if (i == 0 || i >= n) return false;  // the first and the last entry stay: no parent changes
  if (compareEntry(*leaf, i - 1, key, recno) >= 0 || compareEntry(*leaf, i, key, recno) <= 0)
    return false;
  // Room for the entry at its widest: its whole key stored, the key after it stored whole
  // as well (at most), every entry as wide as the new record number needs.
  const LeafShapes& shapes = leafShapes(*leaf, keyLength_, fill_);
  const LeafParams wider = leafParamsFor(keyLength_, shapes.recnoOr | recno);
  if ((n + 1) * static_cast<std::size_t>(wider.entryBytes) + shapes.stored +
          2 * static_cast<std::size_t>(keyLength_) >
      kLeafKeyArea)
    return false;
  prefetchForChange(*leaf);
  const std::size_t kl = static_cast<std::size_t>(keyLength_);
  leaf->keys.insert(i * kl, key.data(), kl);
  leaf->recs.insert(leaf->recs.begin() + static_cast<std::ptrdiff_t>(i), recno);
  markLeafChanged(*leaf, LeafChange::Insert, i);
  return true;
}

bool CdxTree::insert(std::string_view key, std::uint32_t recno) {
  if (key.size() != static_cast<std::size_t>(keyLength_)) return false;
  if (insertAtSeek(key, recno)) {
    ++generation_;
    return true;
  }
  Node& root = loadForSearch(root_);
  bool inserted = false;
  Split s = insertInto(root, key, recno, 0, inserted);
  if (s.happened) {
    Node& right = load(s.right);
    Node& top = newNode(false);
    top.root = true;
    root.root = false;
    top.keys.resize(2 * static_cast<std::size_t>(keyLength_));
    top.recs.resize(2);
    top.children = {root.offset, right.offset};
    setEntryToHigh(top, 0, root);
    setEntryToHigh(top, 1, right);
    markDirty(root);
    root_ = top.offset;
    rootChanged_ = true;
  }
  if (inserted) ++generation_;
  return inserted;
}

void CdxTree::unlink(Node& node) {
  if (node.left != kNone) {
    Node& l = load(node.left);
    l.right = node.right;
    markDirty(l);
  }
  if (node.right != kNone) {
    Node& r = load(node.right);
    r.left = node.left;
    markDirty(r);
  }
}

void CdxTree::mergeIfSmall(Node& parent, std::size_t i) {
  Node& c = load(parent.children[i]);
  bool small = c.leaf ? leafUsed(c) < kLeafKeyArea / 3
                      : c.count() < static_cast<std::size_t>(interiorCapacity(keyLength_)) / 3;
  if (!small) return;
  for (std::size_t j : {i + 1, i - 1}) {
    if (j >= parent.count()) continue;  // also catches i - 1 wrapping below 0
    std::size_t li = std::min(i, j), ri = std::max(i, j);
    Node& l = load(parent.children[li]);
    Node& r = load(parent.children[ri]);
    if (l.right != r.offset || r.left != l.offset || l.leaf != r.leaf) continue;
    if (l.leaf) {
      Node merged;
      merged.leaf = true;
      merged.keys = l.keys + r.keys;
      merged.recs = l.recs;
      merged.recs.insert(merged.recs.end(), r.recs.begin(), r.recs.end());
      if (!fits(merged)) continue;
    } else if (l.count() + r.count() > static_cast<std::size_t>(interiorCapacity(keyLength_))) {
      continue;
    }
    l.keys += r.keys;
    l.recs.insert(l.recs.end(), r.recs.begin(), r.recs.end());
    l.children.insert(l.children.end(), r.children.begin(), r.children.end());
    l.right = r.right;
    if (r.right != kNone) {
      Node& after = load(r.right);
      after.left = l.offset;
      markDirty(after);
    }
    markDirty(l);
    release(r);
    std::size_t kl = static_cast<std::size_t>(keyLength_);
    parent.keys.erase(ri * kl, kl);
    parent.recs.erase(parent.recs.begin() + static_cast<std::ptrdiff_t>(ri));
    parent.children.erase(parent.children.begin() + static_cast<std::ptrdiff_t>(ri));
    setEntryToHigh(parent, li, l);
    markDirty(parent);
    return;
  }
}

bool CdxTree::removeFrom(Node& node, std::string_view key, std::uint32_t recno, int depth) {
  if (depth > kMaxDepth) throw IndexDamage("Baum zu tief (Zeiger im Kreis?)");
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  if (node.leaf) prefetchForChange(node);
  std::size_t i = lowerBound(node, key, recno);
  if (i == node.count()) return false;
  if (node.leaf) {
    if (compareEntry(node, i, key, recno) != 0) return false;
    leafShapes(node, keyLength_, fill_);
    node.keys.erase(i * kl, kl);
    node.recs.erase(node.recs.begin() + static_cast<std::ptrdiff_t>(i));
    markLeafChanged(node, LeafChange::Remove, i);
    return true;
  }
  Node& child = loadForSearch(node.children[i]);
  if (!removeFrom(child, key, recno, depth + 1)) return false;
  if (child.count() == 0) {
    unlink(child);
    release(child);
    node.keys.erase(i * kl, kl);
    node.recs.erase(node.recs.begin() + static_cast<std::ptrdiff_t>(i));
    node.children.erase(node.children.begin() + static_cast<std::ptrdiff_t>(i));
    markDirty(node);
  } else {
    setEntryToHigh(node, i, child);
    mergeIfSmall(node, i);
  }
  return true;
}

bool CdxTree::remove(std::string_view key, std::uint32_t recno) {
  if (key.size() != static_cast<std::size_t>(keyLength_)) return false;
  if (!removeFrom(loadForSearch(root_), key, recno, 0)) return false;
  ++generation_;
  for (int guard = 0; guard <= kMaxDepth; ++guard) {
    Node& top = load(root_);
    if (top.leaf) break;
    if (top.count() == 0) {
      top.leaf = true;
      top.left = top.right = kNone;
      top.children.clear();
      markDirty(top);
      break;
    }
    if (top.count() > 1) break;
    Node& only = load(top.children[0]);
    only.root = true;
    only.left = only.right = kNone;
    markDirty(only);
    release(top);
    root_ = only.offset;
    rootChanged_ = true;
  }
  return true;
}

void CdxTree::stepLimit(std::size_t& steps) const {
  if (++steps > (1u << 20)) throw IndexDamage("Kette der Nachbarseiten endet nicht");
}

CdxTree::Pos CdxTree::descendTo(bool last) {
  std::uint32_t offset = root_;
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    Node& node = load(offset);
    if (node.leaf) {
      Pos pos{offset, last && node.count() > 0 ? node.count() - 1 : 0};
      if (node.count() > 0) return pos;
      if (last ? prev(pos) : next(pos)) return pos;
      return {};
    }
    if (node.count() == 0) throw IndexDamage("leere innere " + describe(offset));
    offset = last ? node.children.back() : node.children.front();
  }
  throw IndexDamage("Baum zu tief (Zeiger im Kreis?)");
}

CdxTree::Pos CdxTree::first() {
  return descendTo(false);
}
CdxTree::Pos CdxTree::last() {
  return descendTo(true);
}

bool CdxTree::next(Pos& pos) {
  Node* node = &load(pos.leaf);
  if (pos.index + 1 < node->count()) {
    ++pos.index;
    return true;
  }
  // A neighbour must continue the order; that also stops cycles in the chain.
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  bool have = node->count() > 0;
  std::string lastKey = have ? std::string(node->key(node->count() - 1, kl)) : std::string();
  std::uint32_t lastRec = have ? node->recs.back() : 0;
  std::size_t steps = 0;
  while (node->right != kNone) {
    std::uint32_t from = node->offset;
    node = &load(node->right);
    if (!node->leaf || node->left != from) throw IndexDamage("Kette der Blattseiten unterbrochen");
    if (node->count() > 0) {
      if (have && compareEntry(*node, 0, lastKey, lastRec) <= 0) {
        throw IndexDamage("Kette der Blattseiten nicht in Sortierfolge");
      }
      pos = {node->offset, 0};
      return true;
    }
    stepLimit(steps);
  }
  pos = {};
  return false;
}

bool CdxTree::prev(Pos& pos) {
  Node* node = &load(pos.leaf);
  if (pos.index > 0 && pos.index - 1 < node->count()) {
    --pos.index;
    return true;
  }
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  bool have = node->count() > 0;
  std::string firstKey = have ? std::string(node->key(0, kl)) : std::string();
  std::uint32_t firstRec = have ? node->recs.front() : 0;
  std::size_t steps = 0;
  while (node->left != kNone) {
    std::uint32_t from = node->offset;
    node = &load(node->left);
    if (!node->leaf || node->right != from) throw IndexDamage("Kette der Blattseiten unterbrochen");
    if (node->count() > 0) {
      if (have && compareEntry(*node, node->count() - 1, firstKey, firstRec) >= 0) {
        throw IndexDamage("Kette der Blattseiten nicht in Sortierfolge");
      }
      pos = {node->offset, node->count() - 1};
      return true;
    }
    stepLimit(steps);
  }
  pos = {};
  return false;
}

IndexEntry CdxTree::entry(const Pos& pos) {
  Node& node = load(pos.leaf);
  return {std::string(node.key(pos.index, static_cast<std::size_t>(keyLength_))),
          node.recs[pos.index]};
}

CdxTree::Pos CdxTree::seekPrefix(std::string_view prefix, bool strictlyGreater) {
  if (prefix.size() > static_cast<std::size_t>(keyLength_)) {
    prefix = prefix.substr(0, static_cast<std::size_t>(keyLength_));
  }
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  auto firstAtOrAbove = [&](const Node& node) {
    std::size_t lo = 0, hi = node.count();
    while (lo < hi) {
      std::size_t mid = (lo + hi) / 2;
      int c = comparePrefix(node.key(mid, kl), prefix);
      if (c < 0 || (strictlyGreater && c == 0)) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  std::uint32_t offset = root_;
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    Node& node = loadForSearch(offset);
    std::size_t i = firstAtOrAbove(node);
    if (node.leaf) {
      seekEnd_ = {offset, i};
      seekEndGeneration_ = generation_;
      if (i < node.count()) return {offset, i};
      if (node.count() == 0) return {};
      Pos pos{offset, node.count() - 1};
      if (next(pos)) return pos;
      return {};
    }
    if (i == node.count()) return {};
    offset = node.children[i];
  }
  throw IndexDamage("Baum zu tief (Zeiger im Kreis?)");
}

CdxTree::Pos CdxTree::seekEntry(std::string_view key, std::uint32_t recno) {
  std::uint32_t offset = root_;
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    Node& node = loadForSearch(offset);
    std::size_t i = lowerBound(node, key, recno);
    if (node.leaf) {
      if (i < node.count()) return {offset, i};
      if (node.count() == 0) return {};
      Pos pos{offset, node.count() - 1};
      if (next(pos)) return pos;
      return {};
    }
    if (i == node.count()) return {};
    offset = node.children[i];
  }
  throw IndexDamage("Baum zu tief (Zeiger im Kreis?)");
}

void CdxTree::build(const std::vector<IndexEntry>& sorted) {
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  Node& oldRoot = load(root_);
  if (!oldRoot.leaf || oldRoot.count() != 0) throw IndexDamage("Aufbau in ein nicht leeres Tag");
  if (sorted.empty()) return;
  std::uint32_t maxRec = 0;
  for (const auto& e : sorted) maxRec = std::max(maxRec, e.recno);
  LeafParams lp = leafParamsFor(keyLength_, maxRec);
  // Leaves left to right, each filled until the next entry no longer fits.
  std::vector<std::uint32_t> level;
  Node* cur = &oldRoot;
  std::size_t used = 0;
  std::string prev;
  std::size_t prevSig = 0;
  auto sigOf = [&](std::string_view k) {
    std::size_t n = k.size();
    while (n > 0 && k[n - 1] == fill_) --n;
    return n;
  };
  for (const auto& e : sorted) {
    std::string_view key = e.key;
    std::size_t sig = sigOf(key);
    std::size_t trail = std::min<std::size_t>(kl - sig, (1u << lp.trailBits) - 1);
    std::size_t dup = 0;
    if (cur->count() > 0) {
      std::size_t limit = std::min<std::size_t>({sig, prevSig, (1u << lp.dupBits) - 1});
      while (dup < limit && key[dup] == prev[dup]) ++dup;
    }
    std::size_t need = static_cast<std::size_t>(lp.entryBytes) + kl - dup - trail;
    if (cur->count() > 0 && used + need > kLeafKeyArea) {
      Node& fresh = newNode(true);
      fresh.left = cur->offset;
      cur->right = fresh.offset;
      markDirty(*cur);
      level.push_back(cur->offset);
      cur = &fresh;
      used = 0;
      need = static_cast<std::size_t>(lp.entryBytes) + kl - trail;
    }
    cur->keys.append(key.data(), kl);
    cur->recs.push_back(e.recno);
    used += need;
    prev.assign(key);
    prevSig = sig;
  }
  level.push_back(cur->offset);
  markDirty(*cur);
  std::size_t cap = static_cast<std::size_t>(interiorCapacity(keyLength_));
  while (level.size() > 1) {
    std::vector<std::uint32_t> upper;
    Node* parent = nullptr;
    for (std::uint32_t childOffset : level) {
      if (!parent || parent->count() == cap) {
        Node& fresh = newNode(false);
        if (parent) {
          fresh.left = parent->offset;
          parent->right = fresh.offset;
        }
        parent = &fresh;
        upper.push_back(fresh.offset);
      }
      Node& child = load(childOffset);
      child.root = false;
      parent->keys.append(kl, '\0');
      parent->recs.push_back(0);
      parent->children.push_back(childOffset);
      setEntryToHigh(*parent, parent->count() - 1, child);
    }
    level = std::move(upper);
  }
  Node& top = load(level.front());
  top.root = true;
  markDirty(top);
  if (top.offset != root_) {
    root_ = top.offset;
    rootChanged_ = true;
  }
  ++generation_;
}

void CdxTree::startEmpty() {
  auto node = std::make_unique<Node>();
  node->offset = root_;
  node->leaf = true;
  node->root = true;
  nodes_.put(root_, std::move(node));
  dirty_.insert(root_);
}

void CdxTree::flush(PageBatch& batch) {
  flushChangedPages(nodes_, dirty_, batch, [&](const Node& node, PageBatch& out) {
    // A leaf goes out from the image it keeps for the next patch, not copied.
    if (node.leaf)
      out.addKept(node.offset, encodeLeaf(node, keyLength_, fill_), kPageSize);
    else
      encodeNode(node, keyLength_, fill_, out.add(node.offset, kPageSize));
  });
  rootChanged_ = false;
}

void CdxTree::discard(std::uint32_t committedRoot) {
  nodes_.clear();
  dirty_.clear();
  root_ = committedRoot;
  rootChanged_ = false;
  ++generation_;
}

void CdxTree::check(PageFile& file, std::uint64_t fileSize, bool unique, CheckReport& report,
                    std::set<std::uint32_t>& seen) const {
  std::size_t kl = static_cast<std::size_t>(keyLength_);
  auto problem = [&](const std::string& text) { report.problems.push_back(text); };
  struct Expect {
    std::uint32_t offset;
    std::string highKey;
    std::uint32_t highRec;
    bool hasHigh;
  };
  std::vector<Expect> level{{root_, {}, 0, false}};
  std::string prevKey;
  std::uint32_t prevRec = 0;
  bool havePrev = false;
  for (int depth = 0; !level.empty(); ++depth) {
    if (depth > kMaxDepth) {
      problem("Baum tiefer als " + std::to_string(kMaxDepth) + " Ebenen");
      return;
    }
    std::vector<Expect> below;
    bool levelLeaf = false;
    for (std::size_t p = 0; p < level.size(); ++p) {
      std::uint32_t off = level[p].offset;
      if (off % kPageSize != 0 || off < kPageSize || off + kPageSize > fileSize) {
        problem(describe(off) +
                ": Zeiger au\xdf"
                "erhalb des Seitenrasters oder der Datei");
        return;
      }
      if (!seen.insert(off).second) {
        problem(describe(off) + ": mehrfach erreicht");
        return;
      }
      unsigned char raw[kPageSize];
      Node node;
      try {
        file.read(off, raw, kPageSize);
        decodeNode(raw, off, keyLength_, fill_, node, true);
      } catch (const IndexDamage& e) {
        problem(describe(off) + ": " + e.what());
        return;
      }
      if (p == 0) levelLeaf = node.leaf;
      if (node.leaf != levelLeaf) {
        problem(describe(off) + ": Blattseiten auf verschiedenen Ebenen");
        return;
      }
      if (node.root != (depth == 0)) problem(describe(off) + ": falsches Wurzelattribut");
      std::uint32_t wantLeft = p == 0 ? kNone : level[p - 1].offset;
      std::uint32_t wantRight = p + 1 == level.size() ? kNone : level[p + 1].offset;
      if (node.left != wantLeft || node.right != wantRight) {
        problem(describe(off) + ": Nachbarzeiger passen nicht zur Reihenfolge der Ebene");
      }
      if (node.count() == 0 && depth > 0)
        problem(describe(off) + ": leere Seite unterhalb der Wurzel");
      for (std::size_t i = 0; i + 1 < node.count(); ++i) {
        int c = std::memcmp(node.keys.data() + i * kl, node.keys.data() + (i + 1) * kl, kl);
        if (c > 0 || (c == 0 && node.recs[i] >= node.recs[i + 1])) {
          problem(describe(off) + ": Eintr\xe4ge nicht in Sortierfolge bei " + std::to_string(i));
          break;
        }
      }
      if (level[p].hasHigh && node.count() > 0) {
        std::size_t last = node.count() - 1;
        if (node.key(last, kl) != level[p].highKey || node.recs[last] != level[p].highRec) {
          problem(describe(off) +
                  ": Eintrag der Elternseite ist nicht der letzte Schl\xfcssel der Seite");
        }
      }
      if (node.leaf) {
        for (std::size_t i = 0; i < node.count(); ++i) {
          std::string_view key = node.key(i, kl);
          if (havePrev) {
            int c = std::memcmp(prevKey.data(), key.data(), kl);
            if (c > 0 || (c == 0 && prevRec >= node.recs[i])) {
              problem(describe(off) +
                      ": Schl\xfcssel \xfc"
                      "ber Seiten hinweg nicht in Sortierfolge");
            } else if (c == 0 && unique) {
              problem(describe(off) + ": doppelter Schl\xfcssel in einem eindeutigen Index");
            }
          }
          prevKey.assign(key);
          prevRec = node.recs[i];
          havePrev = true;
          ++report.keyCount;
        }
      } else {
        for (std::size_t i = 0; i < node.count(); ++i) {
          below.push_back({node.children[i], std::string(node.key(i, kl)), node.recs[i], true});
        }
      }
      if (report.problems.size() > 50) return;
    }
    level = std::move(below);
  }
}

}  // namespace zandor::cdx
