// One B-tree of a bag (a tag, or the tag directory): seeking, walking over
// the leaves by their sibling links, inserting and removing entries with page
// splits and merges, bulk loading from sorted keys.
//
// Interior entries carry the highest key (and its record number) of their
// child's subtree.  Every walk is bounded by the file's page count and every
// descent by a fixed height, so damaged links end in a CdxError, never in an
// endless loop.
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
  // last / before the first one.
  bool next(Position& p);
  bool prev(Position& p);

  // false when the entry is already there / was not there.
  bool insert(std::string_view key, std::uint32_t recno);
  bool remove(std::string_view key, std::uint32_t recno);

  // Writes a whole new tree at the end of the file; returns the root offset.
  // Leaves are filled completely, interior pages to capacity.
  std::uint32_t bulk_load(const SortedKeys& keys, std::uint16_t extra_attr_bits);
  // Frees every page of the tree into the free list.
  void release_all();
  // Every page of the tree (bounded walk); throws on damage.
  void collect_pages(std::vector<std::uint32_t>& out);
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
  std::vector<Step> path_to(std::string_view key, std::uint32_t recno);
  void write_up(std::vector<Step>& path, std::size_t level);
  void remove_up(std::vector<Step>& path, std::size_t level);
  void set_root(std::uint32_t off);
  bool leaf_fits(const Node& n) const;
  void relink(std::int32_t off, bool left_field, std::int32_t value);
  std::vector<Node> split(Node& n);

  PageStore& store_;
  TreeRef& ref_;
};

// Compares the first key.size() bytes (unsigned).
int compare_keys(std::string_view a, std::string_view b);

}  // namespace rt::cdx
