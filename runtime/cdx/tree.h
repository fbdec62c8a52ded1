// One B-tree of a bag (a tag, or the tag directory): seeking, walking over
// the leaves by their sibling links, inserting and removing entries with page
// splits and merges, bulk loading from sorted keys.
//
// Interior entries carry the highest key (and its record number) of their
// child's subtree.  Every walk is bounded by the file's page count and every
// descent by a fixed height, and every link followed is checked against the
// page it came from, so damaged links end in a CdxError naming the bag and
// the tag, never in an endless loop or a walk that silently skips keys.
// Changes only add pages at the end of the file (see store.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cdx/page.h"
#include "runtime/cdx/store.h"

namespace rt::cdx {

// Where a tree lives and how its keys are padded.
struct TreeRef {
  std::string name;          // tag name, for messages
  std::uint32_t header = 0;  // offset of its header (0 = the directory)
  std::uint32_t root = 0;
  int key_length = 0;
  std::uint8_t pad = 0x20;
};

// A place in the leaves: an entry, or the end when leaf is null.
struct Position {
  std::shared_ptr<const Node> leaf;
  std::uint32_t off = 0;
  std::size_t idx = 0;
  bool valid() const { return leaf && idx < leaf->size(); }
  std::string_view key() const { return leaf->key(idx); }
  std::uint32_t recno() const { return leaf->recnos[idx]; }
};

// Flat list of sorted (key, recno) entries for bulk loading.
struct SortedKeys {
  int key_length = 0;
  std::string keys;  // n * key_length bytes
  std::vector<std::uint32_t> recnos;
  std::size_t size() const { return recnos.size(); }
  std::string_view key(std::size_t i) const {
    return std::string_view(keys).substr(i * key_length, key_length);
  }
};

constexpr int kMaxHeight = 40;

class Tree {
 public:
  Tree(PageStore& store, TreeRef& ref) : store_(store), ref_(ref) {}

  // The first entry whose key (its first key.size() bytes when the given key
  // is shorter) is >= key; with_recno also orders equal keys by record number.
  Position lower_bound(std::string_view key, std::uint32_t recno = 0, bool with_recno = false);
  Position first();
  Position last();
  // Moves to the next / previous entry; false (and an end position) past the
  // last / before the first one.  A sibling link that does not lead back, or
  // that ends the walk anywhere but at the tree's edge, throws CdxError.
  bool next(Position& p);
  bool prev(Position& p);

  // Reads and checks the pages from the root to where (key, recno) belongs,
  // as insert and remove do before they write; throws CdxError on damage.
  void check_path(std::string_view key, std::uint32_t recno);
  // false when the entry is already there / was not there.
  bool insert(std::string_view key, std::uint32_t recno);
  bool remove(std::string_view key, std::uint32_t recno);

  // Writes a whole new tree at the end of the file; returns the root offset.
  // Leaves are filled completely, interior pages to capacity.
  std::uint32_t bulk_load(const SortedKeys& keys, std::uint16_t extra_attr_bits);
  int height();

  // Checks page structure, ordering, interior keys and sibling links; adds a
  // line per problem.  Returns the number of keys.
  std::size_t verify(std::vector<std::string>& problems, std::vector<std::uint32_t>& pages);

 private:
  struct Step {
    std::uint32_t off;
    Node node;
    std::size_t idx;
  };
  std::shared_ptr<const Node> load(std::uint32_t off);
  void put(std::uint32_t off, const Node& n);
  [[noreturn]] void fail(const std::string& what) const;
  template <class Visit>
  void descend(std::string_view key, std::uint32_t recno, Visit visit);
  std::vector<Step> path_to(std::string_view key, std::uint32_t recno);
  void write_up(std::vector<Step>& path, std::size_t level);
  void remove_up(std::vector<Step>& path, std::size_t level);
  void set_root(std::uint32_t off);
  bool leaf_fits(const Node& n) const;
  bool step(Position& p, bool forward);
  // The leaf at the tree's right (or left) edge.
  std::uint32_t edge_leaf(bool right);
  // The sibling a page links to, checked to link back (throws otherwise).
  Node linked_sibling(std::uint32_t off, const Node& n, std::int32_t sibling, bool right);
  std::vector<Node> split(Node& n);

  PageStore& store_;
  TreeRef& ref_;
};

// Compares the first key.size() bytes (unsigned).
int compare_keys(std::string_view a, std::string_view b);

}  // namespace rt::cdx
