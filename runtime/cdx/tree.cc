#include "runtime/cdx/tree.h"

#include <algorithm>
#include <optional>
#include <cstring>
#include <unordered_set>

namespace rt::cdx {

int compare_keys(std::string_view a, std::string_view b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c < 0 ? -1 : 1;
  return 0;
}

namespace {

// Entry i of n compared with the target: only the first key.size() bytes
// count; with_recno breaks ties by record number.
int compare_entry(const Node& n, std::size_t i, std::string_view key, std::uint32_t recno, bool with_recno) {
  const int c = std::memcmp(n.keys.data() + i * n.key_length, key.data(), key.size());
  if (c != 0) return c < 0 ? -1 : 1;
  if (!with_recno || key.size() < std::size_t(n.key_length)) return 0;
  return n.recnos[i] < recno ? -1 : (n.recnos[i] > recno ? 1 : 0);
}

std::size_t node_lower(const Node& n, std::string_view key, std::uint32_t recno, bool with_recno) {
  std::size_t lo = 0, hi = n.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (compare_entry(n, mid, key, recno, with_recno) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

bool entry_less(std::string_view ka, std::uint32_t ra, std::string_view kb, std::uint32_t rb) {
  const int c = compare_keys(ka, kb);
  return c < 0 || (c == 0 && ra < rb);
}

}  // namespace

void Tree::fail(const std::string& what) const { throw CdxError(store_.bag_name(), ref_.name, what); }

std::shared_ptr<const Node> Tree::load(std::uint32_t off) {
  return store_.node(off, ref_.key_length, ref_.pad, ref_.name);
}

void Tree::put(std::uint32_t off, const Node& n) { store_.put(off, n, ref_.pad, ref_.name); }

Position Tree::lower_bound(std::string_view key, std::uint32_t recno, bool with_recno) {
  if (key.size() > std::size_t(ref_.key_length)) key = key.substr(0, ref_.key_length);
  std::uint32_t off = ref_.root;
  for (int depth = 0; depth < kMaxHeight; ++depth) {
    auto n = load(off);
    const std::size_t i = node_lower(*n, key, recno, with_recno);
    if (n->leaf()) {
      Position p{n, off, i};
      if (i >= n->size()) {
        // Past this leaf: the entry wanted starts the next non-empty leaf.
        p.idx = n->size();
        if (!next(p)) return Position{};
      }
      return p;
    }
    if (n->size() == 0) fail("interior page " + std::to_string(off) + " has no keys");
    if (i >= n->size()) return Position{};
    off = n->children[i];
  }
  fail("the tree is deeper than " + std::to_string(kMaxHeight) + " levels (page pointers in a cycle?)");
}

Position Tree::first() {
  std::uint32_t off = ref_.root;
  for (int depth = 0; depth < kMaxHeight; ++depth) {
    auto n = load(off);
    if (n->leaf()) {
      Position p{n, off, 0};
      // An empty leaf at the left edge: only the root of an empty tree should be one.
      if (n->size() == 0 && !next(p)) return Position{};
      return p;
    }
    if (n->size() == 0) fail("interior page " + std::to_string(off) + " has no keys");
    off = n->children[0];
  }
  fail("the tree is deeper than " + std::to_string(kMaxHeight) + " levels (page pointers in a cycle?)");
}

Position Tree::last() {
  std::uint32_t off = ref_.root;
  for (int depth = 0; depth < kMaxHeight; ++depth) {
    auto n = load(off);
    if (n->leaf()) {
      Position p{n, off, n->size() ? n->size() - 1 : 0};
      if (n->size() == 0) {
        if (n->left == kNone) return Position{};
        p.idx = 0;
        if (!prev(p)) return Position{};
      }
      return p;
    }
    if (n->size() == 0) fail("interior page " + std::to_string(off) + " has no keys");
    off = n->children[n->size() - 1];
  }
  fail("the tree is deeper than " + std::to_string(kMaxHeight) + " levels (page pointers in a cycle?)");
}

bool Tree::next(Position& p) { return step(p, true); }

bool Tree::prev(Position& p) { return step(p, false); }

// Moves over the sibling links.  Each leaf reached must link back to the one
// it was reached from and continue the order, and a walk may only end at the
// leaf on the tree's edge: a damaged link fails the walk instead of skipping
// or losing keys.
bool Tree::step(Position& p, bool forward) {
  if (!p.leaf) return false;
  if (forward ? p.idx + 1 < p.leaf->size() : p.idx > 0 && p.idx <= p.leaf->size()) {
    forward ? ++p.idx : --p.idx;
    return true;
  }
  const bool had = p.valid();
  const std::string from = had ? std::string(p.key()) : std::string();
  const std::uint32_t from_rec = had ? p.recno() : 0;
  const char* side = forward ? "right" : "left";
  std::uint32_t steps = 0;
  std::uint32_t at = p.off;
  auto leaf = p.leaf;
  for (;;) {
    const std::int32_t link = forward ? leaf->right : leaf->left;
    if (link == kNone) {
      if (at != edge_leaf(forward))
        fail("leaf " + std::to_string(at) + " has no " + side + " sibling but is not the " +
             (forward ? "last" : "first") + " leaf (damaged sibling link)");
      p = Position{};
      return false;
    }
    if (++steps > store_.page_count()) fail("leaf sibling links loop");
    const std::uint32_t off = std::uint32_t(link);
    leaf = load(off);
    if (!leaf->leaf()) fail(std::string(side) + " sibling " + std::to_string(off) + " of a leaf is not a leaf");
    if ((forward ? leaf->left : leaf->right) != std::int32_t(at))
      fail("leaf " + std::to_string(off) + " does not link back to leaf " + std::to_string(at) +
           " (damaged sibling link)");
    at = off;
    if (leaf->size() == 0) continue;
    const std::size_t i = forward ? 0 : leaf->size() - 1;
    if (had && !(forward ? entry_less(from, from_rec, leaf->key(i), leaf->recnos[i])
                         : entry_less(leaf->key(i), leaf->recnos[i], from, from_rec)))
      fail("leaf " + std::to_string(off) + " is out of order with its " + (forward ? "left" : "right") +
           " sibling (sibling links in a cycle?)");
    p = Position{leaf, off, i};
    return true;
  }
}

std::uint32_t Tree::edge_leaf(bool right) {
  std::uint32_t off = ref_.root;
  for (int depth = 0; depth < kMaxHeight; ++depth) {
    auto n = load(off);
    if (n->leaf()) return off;
    if (n->size() == 0) fail("interior page " + std::to_string(off) + " has no keys");
    off = right ? n->children.back() : n->children.front();
  }
  fail("the tree is deeper than " + std::to_string(kMaxHeight) + " levels (page pointers in a cycle?)");
}

// Walks from the root to the leaf where (key, recno) belongs, checking each
// page against the entry that led to it, and calls visit(off, page, index)
// for every page on the way.
template <class Visit>
void Tree::descend(std::string_view key, std::uint32_t recno, Visit visit) {
  std::uint32_t off = ref_.root;
  std::shared_ptr<const Node> up;
  std::size_t up_idx = 0;
  std::uint32_t up_off = 0;
  for (int depth = 0; depth < kMaxHeight; ++depth) {
    auto n = load(off);
    // A page below an interior entry holds no key above that entry's key,
    // and only the root may be empty: otherwise the change would land in the
    // wrong place.
    if (up) {
      if (n->size() == 0) fail("page " + std::to_string(off) + " is empty but not the root");
      const std::size_t last = n->size() - 1;
      if (entry_less(up->key(up_idx), up->recnos[up_idx], n->key(last), n->recnos[last]))
        fail("page " + std::to_string(off) + " holds keys above its parent's entry (page " + std::to_string(up_off) + ")");
    }
    std::size_t i = node_lower(*n, key, recno, true);
    if (n->leaf()) {
      visit(off, *n, i);
      return;
    }
    if (n->size() == 0) fail("interior page " + std::to_string(off) + " has no keys");
    if (i >= n->size()) i = n->size() - 1;  // a new highest key goes to the last child
    visit(off, *n, i);
    up = n;
    up_idx = i;
    up_off = off;
    off = n->children[i];
  }
  fail("the tree is deeper than " + std::to_string(kMaxHeight) + " levels (page pointers in a cycle?)");
}

std::vector<Tree::Step> Tree::path_to(std::string_view key, std::uint32_t recno) {
  std::vector<Step> path;
  descend(key, recno, [&](std::uint32_t off, const Node& n, std::size_t i) { path.push_back(Step{off, n, i}); });
  return path;
}

void Tree::check_path(std::string_view key, std::uint32_t recno) {
  descend(key, recno, [](std::uint32_t, const Node&, std::size_t) {});
}

bool Tree::leaf_fits(const Node& n) const {
  LeafSizer s(ref_.key_length, ref_.pad);
  for (std::size_t i = 0; i < n.size(); ++i) s.add(n.key(i), n.recnos[i]);
  return s.size() <= kPageSize;
}

std::vector<Node> Tree::split(Node& n) {
  std::vector<Node> out;
  auto fits = [&](const Node& x) { return x.leaf() ? leaf_fits(x) : x.size() <= interior_capacity(ref_.key_length); };
  if (fits(n)) return out;
  // Halve by bytes (leaves) or entries (interior pages) until every piece fits.
  std::vector<Node> pieces;
  pieces.push_back(std::move(n));
  for (std::size_t k = 0; k < pieces.size();) {
    if (fits(pieces[k]) || pieces[k].size() < 2) {
      ++k;
      continue;
    }
    Node& x = pieces[k];
    std::size_t cut = x.size() / 2;
    if (x.leaf()) {
      std::size_t total = 0;
      for (std::size_t i = 0; i < x.size(); ++i) total += stored_bytes(x.key(i), i ? x.key(i - 1) : "", ref_.pad);
      std::size_t acc = 0;
      cut = 1;
      for (std::size_t i = 0; i < x.size() - 1; ++i) {
        acc += stored_bytes(x.key(i), i ? x.key(i - 1) : "", ref_.pad);
        if (acc * 2 >= total) {
          cut = i + 1;
          break;
        }
        cut = i + 1;
      }
    }
    Node right;
    right.attributes = std::uint16_t(x.attributes & ~1u);
    right.key_length = x.key_length;
    x.move_tail(cut, right);
    pieces.insert(pieces.begin() + std::ptrdiff_t(k) + 1, std::move(right));
  }
  n = std::move(pieces[0]);
  for (std::size_t k = 1; k < pieces.size(); ++k) out.push_back(std::move(pieces[k]));
  return out;
}

void Tree::set_root(std::uint32_t off) {
  ref_.root = off;
  const std::uint8_t b[4] = {std::uint8_t(off), std::uint8_t(off >> 8), std::uint8_t(off >> 16), std::uint8_t(off >> 24)};
  store_.write_raw(ref_.header, b, 4);
}

bool Tree::insert(std::string_view key, std::uint32_t recno) {
  if (key.size() != std::size_t(ref_.key_length)) fail("key of " + std::to_string(key.size()) + " bytes for a key length of " + std::to_string(ref_.key_length));
  auto path = path_to(key, recno);
  Step& leaf = path.back();
  if (leaf.idx < leaf.node.size() && leaf.node.key(leaf.idx) == key && leaf.node.recnos[leaf.idx] == recno)
    return false;
  leaf.node.insert(leaf.idx, key, recno);
  write_up(path, path.size() - 1);
  return true;
}

// A split writes the new pages first (at the end of the file, reached by
// nobody yet), then the page that was split, then its old right sibling's
// back link, then the parent; a new root last of all.  Pages that will be
// written are read and checked before anything is written.
void Tree::write_up(std::vector<Step>& path, std::size_t level) {
  for (std::size_t l = level;; --l) {
    Step& s = path[l];
    std::vector<Node> pieces = split(s.node);
    std::vector<std::uint32_t> offs;
    if (!pieces.empty()) {
      if (l == 0) s.node.attributes = std::uint16_t(s.node.attributes & ~1u);
      const std::int32_t old_right = s.node.right;
      Node right_sibling;
      if (old_right != kNone) right_sibling = linked_sibling(s.off, s.node, old_right, true);
      const std::uint32_t first = store_.allocate(std::uint32_t(pieces.size()));
      for (auto& piece : pieces) {
        piece.attributes = std::uint16_t(s.node.attributes & ~1u);
        offs.push_back(first + std::uint32_t(offs.size() * kPageSize));
      }
      Node* prev_node = &s.node;
      std::uint32_t prev_off = s.off;
      for (std::size_t k = 0; k < pieces.size(); ++k) {
        pieces[k].left = std::int32_t(prev_off);
        prev_node->right = std::int32_t(offs[k]);
        prev_node = &pieces[k];
        prev_off = offs[k];
      }
      pieces.back().right = old_right;
      for (std::size_t k = 0; k < pieces.size(); ++k) put(offs[k], pieces[k]);
      put(s.off, s.node);
      if (old_right != kNone) {
        right_sibling.left = std::int32_t(offs.back());
        put(std::uint32_t(old_right), right_sibling);
      }
    } else {
      put(s.off, s.node);
    }
    if (l == 0) {
      if (pieces.empty()) return;
      Node root;
      root.attributes = std::uint16_t((s.node.attributes & ~3u) | 1u);
      root.key_length = ref_.key_length;
      const std::size_t last = s.node.size() - 1;
      root.insert(0, s.node.key(last), s.node.recnos[last], s.off);
      for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::size_t pl = pieces[k].size() - 1;
        root.insert(root.size(), pieces[k].key(pl), pieces[k].recnos[pl], offs[k]);
      }
      const std::uint32_t root_off = store_.allocate();
      put(root_off, root);
      set_root(root_off);
      return;
    }
    Step& parent = path[l - 1];
    const std::size_t pi = parent.idx;
    const std::size_t last = s.node.size() - 1;
    const bool same = parent.node.key(pi) == s.node.key(last) && parent.node.recnos[pi] == s.node.recnos[last];
    if (same && pieces.empty()) return;
    std::memcpy(parent.node.keys.data() + pi * ref_.key_length, s.node.key(last).data(), ref_.key_length);
    parent.node.recnos[pi] = s.node.recnos[last];
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      const std::size_t pl = pieces[k].size() - 1;
      parent.node.insert(pi + 1 + k, pieces[k].key(pl), pieces[k].recnos[pl], offs[k]);
    }
  }
}

Node Tree::linked_sibling(std::uint32_t off, const Node& n, std::int32_t sibling, bool right) {
  if (sibling < 0) fail("page " + std::to_string(off) + " links to sibling " + std::to_string(sibling));
  Node other = *load(std::uint32_t(sibling));
  if (other.leaf() != n.leaf() || (right ? other.left : other.right) != std::int32_t(off))
    fail("page " + std::to_string(off) + " and its " + (right ? "right" : "left") + " sibling " +
         std::to_string(sibling) + " do not link to each other (damaged sibling link)");
  return other;
}

bool Tree::remove(std::string_view key, std::uint32_t recno) {
  if (key.size() != std::size_t(ref_.key_length)) return false;
  auto path = path_to(key, recno);
  Step& leaf = path.back();
  if (leaf.idx >= leaf.node.size() || leaf.node.key(leaf.idx) != key || leaf.node.recnos[leaf.idx] != recno)
    return false;
  leaf.node.erase(leaf.idx);
  remove_up(path, path.size() - 1);
  return true;
}

void Tree::remove_up(std::vector<Step>& path, std::size_t level) {
  for (std::size_t l = level;; --l) {
    Step& s = path[l];
    if (l == 0) {
      if (!s.node.leaf() && s.node.size() == 1) {
        // A root with a single child hands the root over to it.
        Node child = *load(s.node.children[0]);
        child.attributes = std::uint16_t(child.attributes | 1u);
        child.left = child.right = kNone;
        put(s.node.children[0], child);
        set_root(s.node.children[0]);
        store_.release(s.off);
      } else if (!s.node.leaf() && s.node.size() == 0) {
        s.node.attributes = std::uint16_t((s.node.attributes & ~3u) | 3u);
        s.node.keys.clear();
        s.node.recnos.clear();
        s.node.children.clear();
        put(s.off, s.node);
      } else {
        put(s.off, s.node);
      }
      return;
    }
    Step& parent = path[l - 1];
    const std::size_t pi = parent.idx;
    if (s.node.size() == 0) {
      Node left, right;
      if (s.node.left != kNone) left = linked_sibling(s.off, s.node, s.node.left, false);
      if (s.node.right != kNone) right = linked_sibling(s.off, s.node, s.node.right, true);
      if (s.node.left != kNone) {
        left.right = s.node.right;
        put(std::uint32_t(s.node.left), left);
      }
      if (s.node.right != kNone) {
        right.left = s.node.left;
        put(std::uint32_t(s.node.right), right);
      }
      store_.release(s.off);
      parent.node.erase(pi);
      continue;
    }
    bool parent_changed = false;
    std::optional<std::pair<std::uint32_t, Node>> beyond;  // the merged page's new right sibling
    if (s.node.leaf() && pi + 1 < parent.node.size()) {
      LeafSizer sz(ref_.key_length, ref_.pad);
      for (std::size_t i = 0; i < s.node.size(); ++i) sz.add(s.node.key(i), s.node.recnos[i]);
      if (sz.size() < 24 + kLeafData / 4) {
        const std::uint32_t right_off = parent.node.children[pi + 1];
        if (std::int32_t(right_off) == s.node.right && right_off != s.off) {
          Node right = linked_sibling(s.off, s.node, s.node.right, true);
          Node merged = s.node;
          right.move_tail(0, merged);
          if (merged.leaf() && leaf_fits(merged)) {
            if (right.right != kNone) {
              beyond.emplace(std::uint32_t(right.right), linked_sibling(right_off, right, right.right, true));
              beyond->second.left = std::int32_t(s.off);
            }
            merged.right = right.right;
            store_.release(right_off);
            parent.node.erase(pi + 1);
            s.node = std::move(merged);
            parent_changed = true;
          }
        }
      }
    }
    put(s.off, s.node);
    if (beyond) put(beyond->first, beyond->second);
    const std::size_t last = s.node.size() - 1;
    if (parent.node.key(pi) != s.node.key(last) || parent.node.recnos[pi] != s.node.recnos[last]) {
      std::memcpy(parent.node.keys.data() + pi * ref_.key_length, s.node.key(last).data(), ref_.key_length);
      parent.node.recnos[pi] = s.node.recnos[last];
      parent_changed = true;
    }
    if (!parent_changed) return;
  }
}

std::uint32_t Tree::bulk_load(const SortedKeys& keys, std::uint16_t extra) {
  const int kl = ref_.key_length;
  // Leaf boundaries: each leaf as full as it can be.
  std::vector<std::size_t> bounds{0};
  {
    LeafSizer s(kl, ref_.pad);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (s.count() && !s.fits_with(keys.key(i), keys.recnos[i])) {
        bounds.push_back(i);
        s = LeafSizer(kl, ref_.pad);
      }
      s.add(keys.key(i), keys.recnos[i]);
    }
    bounds.push_back(keys.size());
    if (keys.size() == 0) bounds = {0, 0};
  }
  const std::size_t cap = interior_capacity(kl);
  std::vector<std::size_t> level_sizes{bounds.size() - 1};
  while (level_sizes.back() > 1) level_sizes.push_back((level_sizes.back() + cap - 1) / cap);
  std::size_t total = 0;
  for (auto n : level_sizes) total += n;
  const std::uint32_t base = store_.allocate(std::uint32_t(total));

  // Pages go out in order, in chunks.
  std::vector<std::uint8_t> buf;
  std::uint64_t buf_off = base;
  auto emit = [&](const Node& n) {
    const std::size_t at = buf.size();
    buf.resize(at + kPageSize);
    try {
      encode_node(n, ref_.pad, buf.data() + at);
    } catch (const PageError& e) {
      fail(e.what());
    }
    if (buf.size() >= 1024 * kPageSize) {
      store_.write_raw(buf_off, buf.data(), buf.size());
      buf_off += buf.size();
      buf.clear();
    }
  };

  // The highest entry of each page of the level below.
  std::vector<std::pair<std::size_t, std::uint32_t>> below;  // (index into keys of its highest entry, offset)
  std::uint32_t off = base;
  const std::size_t nleaves = level_sizes[0];
  for (std::size_t j = 0; j < nleaves; ++j, off += kPageSize) {
    Node n;
    n.key_length = kl;
    n.attributes = std::uint16_t(extra | 2u | (level_sizes.size() == 1 ? 1u : 0u));
    n.left = j ? std::int32_t(off - kPageSize) : kNone;
    n.right = j + 1 < nleaves ? std::int32_t(off + kPageSize) : kNone;
    const std::size_t a = bounds[j], b = bounds[j + 1];
    n.keys.assign(keys.keys, a * kl, (b - a) * kl);
    n.recnos.assign(keys.recnos.begin() + std::ptrdiff_t(a), keys.recnos.begin() + std::ptrdiff_t(b));
    emit(n);
    if (b > a) below.emplace_back(b - 1, off);
  }
  for (std::size_t lv = 1; lv < level_sizes.size(); ++lv) {
    std::vector<std::pair<std::size_t, std::uint32_t>> up;
    const std::size_t count = level_sizes[lv];
    for (std::size_t j = 0; j < count; ++j, off += kPageSize) {
      Node n;
      n.key_length = kl;
      n.attributes = std::uint16_t(extra | (lv + 1 == level_sizes.size() ? 1u : 0u));
      n.left = j ? std::int32_t(off - kPageSize) : kNone;
      n.right = j + 1 < count ? std::int32_t(off + kPageSize) : kNone;
      const std::size_t a = j * cap, b = std::min(below.size(), a + cap);
      for (std::size_t i = a; i < b; ++i) {
        n.keys.append(keys.key(below[i].first));
        n.recnos.push_back(keys.recnos[below[i].first]);
        n.children.push_back(below[i].second);
      }
      emit(n);
      up.emplace_back(below[b - 1].first, off);
    }
    below = std::move(up);
  }
  if (!buf.empty()) store_.write_raw(buf_off, buf.data(), buf.size());
  store_.drop();
  return off - kPageSize;
}

int Tree::height() {
  std::uint32_t off = ref_.root;
  for (int depth = 1; depth <= kMaxHeight; ++depth) {
    auto n = load(off);
    if (n->leaf()) return depth;
    if (n->size() == 0) fail("interior page " + std::to_string(off) + " has no keys");
    off = n->children[0];
  }
  fail("the tree is deeper than " + std::to_string(kMaxHeight) + " levels (page pointers in a cycle?)");
}

std::size_t Tree::verify(std::vector<std::string>& problems, std::vector<std::uint32_t>& pages) {
  const std::string where = "tag " + ref_.name + ": ";
  struct Want {
    std::uint32_t off;
    std::string key;
    std::uint32_t recno;
    bool check;
  };
  std::vector<Want> level{{ref_.root, "", 0, false}};
  std::unordered_set<std::uint32_t> seen{ref_.root};
  std::size_t keys = 0;
  std::string prev_key;
  std::uint32_t prev_rec = 0;
  bool have_prev = false;
  for (int depth = 0; !level.empty(); ++depth) {
    if (depth >= kMaxHeight) {
      problems.push_back(where + "deeper than " + std::to_string(kMaxHeight) + " levels");
      return keys;
    }
    std::vector<Want> next_level;
    std::vector<std::shared_ptr<const Node>> nodes;
    for (auto& w : level) {
      try {
        nodes.push_back(load(w.off));
      } catch (const CdxError& e) {
        problems.push_back(e.what());
        return keys;
      }
      pages.push_back(w.off);
    }
    const bool leaves = nodes[0]->leaf();
    for (std::size_t j = 0; j < nodes.size(); ++j) {
      const Node& n = *nodes[j];
      const std::string at = where + "page " + std::to_string(level[j].off) + ": ";
      if (n.leaf() != leaves) problems.push_back(at + "leaf and interior pages mixed on one level");
      if (n.root() != (depth == 0)) problems.push_back(at + (depth == 0 ? "root page without the root mark" : "root mark on a page that is not the root"));
      const std::int32_t want_left = j ? std::int32_t(level[j - 1].off) : kNone;
      const std::int32_t want_right = j + 1 < nodes.size() ? std::int32_t(level[j + 1].off) : kNone;
      if (n.left != want_left || n.right != want_right)
        problems.push_back(at + "sibling links " + std::to_string(n.left) + "/" + std::to_string(n.right) +
                           " should be " + std::to_string(want_left) + "/" + std::to_string(want_right));
      if (n.size() == 0 && !(depth == 0 && n.leaf())) problems.push_back(at + "empty page");
      for (std::size_t i = 1; i < n.size(); ++i)
        if (!entry_less(n.key(i - 1), n.recnos[i - 1], n.key(i), n.recnos[i]))
          problems.push_back(at + "entries " + std::to_string(i - 1) + " and " + std::to_string(i) + " out of order");
      if (level[j].check && n.size() &&
          (n.key(n.size() - 1) != level[j].key || n.recnos[n.size() - 1] != level[j].recno))
        problems.push_back(at + "its parent's key is not its highest key");
      if (n.leaf()) {
        keys += n.size();
        if (n.size()) {
          if (have_prev && !entry_less(prev_key, prev_rec, n.key(0), n.recnos[0]))
            problems.push_back(at + "first entry not above the previous leaf's last entry");
          prev_key.assign(n.key(n.size() - 1));
          prev_rec = n.recnos[n.size() - 1];
          have_prev = true;
        }
      } else {
        for (std::size_t i = 0; i < n.size(); ++i) {
          if (!seen.insert(n.children[i]).second) {
            problems.push_back(at + "child page " + std::to_string(n.children[i]) + " is reached twice");
            return keys;
          }
          next_level.push_back(Want{n.children[i], std::string(n.key(i)), n.recnos[i], true});
        }
      }
    }
    level = std::move(next_level);
  }
  return keys;
}

}  // namespace rt::cdx
