// The 512-byte pages of a CDX compound order bag: tag headers (1024 bytes:
// header page + expression pool), interior pages and compressed leaf pages.
//
// Decoding never trusts the bytes: every count, bit width and length is
// checked against the page before it is used, and a bad page raises
// PageError with a description of what is wrong.  Callers add the bag and
// tag names (CdxError).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rt::cdx {

constexpr std::size_t kPageSize = 512;
constexpr std::size_t kHeaderSize = 1024;
constexpr int kMaxKeyLength = 240;
constexpr std::size_t kLeafData = 488;      // bytes 24..511 of a leaf
constexpr std::size_t kInteriorData = 500;  // bytes 12..511 of an interior page
constexpr std::int32_t kNone = -1;          // missing sibling

// A damaged or impossible page; the message says what is wrong.
class PageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Any failure reading or writing a bag: names the bag file and, when known,
// the tag.  The kind tells callers what to do: a damaged bag is rebuilt
// (reindex), a busy one is tried again later, a refused request is the
// caller's mistake.
class CdxError : public std::runtime_error {
 public:
  enum class Kind { Damaged, Busy, Refused };
  CdxError(const std::string& bag, const std::string& tag, const std::string& what, Kind kind = Kind::Damaged);
  const std::string& bag() const { return bag_; }
  const std::string& tag() const { return tag_; }
  Kind kind() const { return kind_; }
  bool busy() const { return kind_ == Kind::Busy; }

 private:
  std::string bag_, tag_;
  Kind kind_;
};

// Option bits of header byte 14.
enum Options : std::uint8_t {
  kOptUnique = 0x01,
  kOptNullable = 0x02,   // keys on a nullable field carry a leading 0x80 / 0x00 byte
  kOptCandidate = 0x04,
  kOptFor = 0x08,
  kOptBitVector = 0x10,  // third-party bit-vector index: refused
  kOptCompact = 0x20,
  kOptCompound = 0x40,
  kOptStructural = 0x80,
};

// The header of the tag directory (at offset 0) or of one tag.
struct TagHeader {
  std::uint32_t root = 0;
  std::int32_t free_list = 0;   // directory header only; 0 or -1 = empty
  std::uint32_t version = 0;    // big-endian change counter (directory header)
  std::uint16_t key_length = 0;
  std::uint8_t options = 0;
  std::uint8_t signature = 1;
  std::uint8_t reserved16[20] = {};  // kept as found when a header is rewritten
  std::uint16_t order = 0;           // 0 ascending, 1 descending
  std::string key_expr;
  std::string for_expr;

  bool unique() const { return options & kOptUnique; }
  bool has_for() const { return options & kOptFor; }
  bool descending() const { return order == 1; }

  // Throws PageError when the header cannot be a tag header (key length,
  // expression pool).  `directory` relaxes the checks that only apply to tags.
  static TagHeader decode(const std::uint8_t* bytes1024, bool directory);
  void encode(std::uint8_t* bytes1024) const;
};

// Reads only the change counter (bytes 8-11, big-endian) of a header.
std::uint32_t read_version(const std::uint8_t* header16);

// A decoded page: full keys (padded to the key length), record numbers and,
// for interior pages, child page offsets.
struct Node {
  std::uint16_t attributes = 0;  // bit 0 root, bit 1 leaf, other bits kept
  std::int32_t left = kNone;
  std::int32_t right = kNone;
  int key_length = 0;
  std::string keys;                   // size() * key_length bytes
  std::vector<std::uint32_t> recnos;
  std::vector<std::uint32_t> children;  // interior pages only

  bool leaf() const { return attributes & 2; }
  bool root() const { return attributes & 1; }
  std::size_t size() const { return recnos.size(); }
  std::string_view key(std::size_t i) const {
    return std::string_view(keys).substr(i * key_length, key_length);
  }
  void insert(std::size_t at, std::string_view key, std::uint32_t recno, std::uint32_t child = 0);
  void erase(std::size_t at);
  // Moves entries [from, size) to the end of `other` (same kind of page).
  void move_tail(std::size_t from, Node& other);
};

// Decodes a page.  `pad` is the byte restored for trailing-count compressed
// bytes: 0x20 for character keys, 0x00 for binary keys.
Node decode_node(const std::uint8_t* page, int key_length, std::uint8_t pad);

// Encodes a page; throws PageError when the entries do not fit.
void encode_node(const Node& node, std::uint8_t pad, std::uint8_t* page);

// Interior capacity for a key length.
std::size_t interior_capacity(int key_length);

// Computes the encoded size of a leaf entry by entry, so that writers can
// fill pages to the brim.
class LeafSizer {
 public:
  LeafSizer(int key_length, std::uint8_t pad);
  // Size of the leaf with one more entry appended (without adding it).
  std::size_t size_with(std::string_view key, std::uint32_t recno) const;
  void add(std::string_view key, std::uint32_t recno);
  std::size_t size() const;
  std::size_t count() const { return count_; }
  bool fits_with(std::string_view key, std::uint32_t recno) const {
    return size_with(key, recno) <= kPageSize;
  }

 private:
  int key_length_;
  std::uint8_t pad_;
  int dt_bits_;
  std::size_t count_ = 0;
  std::size_t key_bytes_ = 0;
  std::uint32_t max_recno_ = 0;
  std::string prev_;
};

// Stored-byte count of a key following `prev` (empty for a page's first entry).
std::size_t stored_bytes(std::string_view key, std::string_view prev, std::uint8_t pad);
// Bytes per packed leaf entry for a key length and the largest record number.
int entry_bytes(int key_length, std::uint32_t max_recno);
// Bits needed to hold v (at least 1).
int bits_for(std::uint32_t v);

}  // namespace rt::cdx
