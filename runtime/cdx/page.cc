#include "runtime/cdx/page.h"

#include <algorithm>
#include <cstring>

namespace rt::cdx {

namespace {

std::uint16_t get16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t get32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
std::uint32_t get32be(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         std::uint32_t(p[3]);
}
void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
void put32be(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (24 - 8 * i));
}

std::size_t common_prefix(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size()), i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

std::size_t trailing(std::string_view key, std::uint8_t pad) {
  std::size_t t = 0;
  while (t < key.size() && std::uint8_t(key[key.size() - 1 - t]) == pad) ++t;
  return t;
}

// dup and trail counts of a key after prev: trail first, dup limited so that
// dup + trail never exceeds the key length.
void dup_trail(std::string_view key, std::string_view prev, std::uint8_t pad, std::size_t* dup,
               std::size_t* trail) {
  *trail = trailing(key, pad);
  *dup = prev.empty() ? 0 : std::min(common_prefix(key, prev), key.size() - *trail);
}

}  // namespace

CdxError::CdxError(const std::string& bag, const std::string& tag, const std::string& what, Kind kind)
    : std::runtime_error(bag + (tag.empty() ? "" : ", tag " + tag) + ": " + what), bag_(bag), tag_(tag), kind_(kind) {}

int bits_for(std::uint32_t v) {
  int b = 1;
  while (b < 32 && (v >> b) != 0) ++b;
  return b;
}

int entry_bytes(int key_length, std::uint32_t max_recno) {
  const int dt = 2 * bits_for(std::uint32_t(key_length));
  const int r = bits_for(max_recno);
  int e = 1;
  while (8 * e - dt < r) ++e;
  return e;
}

std::size_t stored_bytes(std::string_view key, std::string_view prev, std::uint8_t pad) {
  std::size_t dup, trail;
  dup_trail(key, prev, pad, &dup, &trail);
  return key.size() - dup - trail;
}

std::size_t interior_capacity(int key_length) { return kInteriorData / std::size_t(key_length + 8); }

std::uint32_t read_version(const std::uint8_t* h) { return get32be(h + 8); }

TagHeader TagHeader::decode(const std::uint8_t* b, bool directory) {
  TagHeader h;
  h.root = get32(b);
  h.free_list = std::int32_t(get32(b + 4));
  h.version = get32be(b + 8);
  h.key_length = get16(b + 12);
  h.options = b[14];
  h.signature = b[15];
  std::memcpy(h.reserved16, b + 16, sizeof h.reserved16);
  h.order = get16(b + 502);
  const std::uint16_t for_len = get16(b + 506);
  const std::uint16_t key_len = get16(b + 510);
  if (h.key_length < 1 || h.key_length > kMaxKeyLength)
    throw PageError("key length " + std::to_string(h.key_length) + " outside 1-240");
  if (h.root % kPageSize != 0 || h.root < kHeaderSize)
    throw PageError("root page offset " + std::to_string(h.root) + " is not a page of the bag");
  if (h.options & kOptBitVector) throw PageError("bit-vector indexes are not supported");
  if (h.order > 1) throw PageError("order field " + std::to_string(h.order) + " is neither ascending nor descending");
  if (!directory) {
    if (key_len < 2 || std::size_t(key_len) + for_len > kPageSize)
      throw PageError("expression lengths " + std::to_string(key_len) + "/" + std::to_string(for_len) +
                      " do not fit the expression pool");
    const char* pool = reinterpret_cast<const char*>(b + kPageSize);
    h.key_expr.assign(pool, strnlen(pool, key_len));
    if (for_len > 1) h.for_expr.assign(pool + key_len, strnlen(pool + key_len, for_len));
  }
  return h;
}

void TagHeader::encode(std::uint8_t* b) const {
  std::memset(b, 0, kHeaderSize);
  put32(b, root);
  put32(b + 4, std::uint32_t(free_list));
  put32be(b + 8, version);
  put16(b + 12, key_length);
  b[14] = options;
  b[15] = signature;
  std::memcpy(b + 16, reserved16, sizeof reserved16);
  put16(b + 502, order);
  const std::size_t kl = key_expr.size() + 1, fl = for_expr.size() + 1;
  if (kl + fl > kPageSize) throw PageError("key and FOR expressions longer than the expression pool");
  put16(b + 504, std::uint16_t(kl));
  put16(b + 506, std::uint16_t(fl));
  put16(b + 510, std::uint16_t(kl));
  std::memcpy(b + kPageSize, key_expr.data(), key_expr.size());
  std::memcpy(b + kPageSize + kl, for_expr.data(), for_expr.size());
}

void Node::insert(std::size_t at, std::string_view key, std::uint32_t recno, std::uint32_t child) {
  keys.insert(at * key_length, key.data(), key.size());
  recnos.insert(recnos.begin() + std::ptrdiff_t(at), recno);
  if (!leaf()) children.insert(children.begin() + std::ptrdiff_t(at), child);
}

void Node::erase(std::size_t at) {
  keys.erase(at * key_length, key_length);
  recnos.erase(recnos.begin() + std::ptrdiff_t(at));
  if (!leaf()) children.erase(children.begin() + std::ptrdiff_t(at));
}

void Node::move_tail(std::size_t from, Node& other) {
  other.keys.append(keys, from * key_length, std::string::npos);
  keys.resize(from * key_length);
  other.recnos.insert(other.recnos.end(), recnos.begin() + std::ptrdiff_t(from), recnos.end());
  recnos.resize(from);
  if (!leaf()) {
    other.children.insert(other.children.end(), children.begin() + std::ptrdiff_t(from), children.end());
    children.resize(from);
  }
}

Node decode_node(const std::uint8_t* p, int key_length, std::uint8_t pad) {
  Node n;
  n.attributes = get16(p);
  const std::size_t count = get16(p + 2);
  n.left = std::int32_t(get32(p + 4));
  n.right = std::int32_t(get32(p + 8));
  n.key_length = key_length;
  if (key_length < 1 || key_length > kMaxKeyLength) throw PageError("key length outside 1-240");
  if (n.attributes & 2) {
    const int r = p[20], d = p[21], t = p[22], e = p[23];
    if (e < 1 || e > 8 || r < 1 || r > 56 || d > 16 || t > 16 || r + d + t > 8 * e)
      throw PageError("leaf bit widths " + std::to_string(r) + "/" + std::to_string(d) + "/" +
                      std::to_string(t) + " in " + std::to_string(e) + " bytes are impossible");
    if (24 + count * std::size_t(e) > kPageSize)
      throw PageError("key count " + std::to_string(count) + " exceeds the leaf page");
    const std::uint64_t rmask = (1ull << r) - 1;
    const std::uint64_t dmask = (1ull << d) - 1, tmask = (1ull << t) - 1;
    n.keys.resize(count * key_length);
    n.recnos.resize(count);
    std::size_t cursor = kPageSize;
    const std::size_t floor = 24 + count * e;
    char* prev = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
      std::uint64_t v = 0;
      for (int b = e - 1; b >= 0; --b) v = (v << 8) | p[24 + i * e + b];
      if ((v & rmask) > 0xFFFFFFFFull) throw PageError("leaf entry " + std::to_string(i) + " has a record number beyond 32 bits");
      const std::uint32_t rec = std::uint32_t(v & rmask);
      const std::size_t dup = std::size_t((v >> r) & dmask);
      const std::size_t trail = std::size_t((v >> (r + d)) & tmask);
      if (dup + trail > std::size_t(key_length))
        throw PageError("leaf entry " + std::to_string(i) + " has duplicate and trailing counts beyond the key length");
      if (i == 0 && dup != 0) throw PageError("first leaf entry repeats bytes of a previous key");
      const std::size_t fresh = key_length - dup - trail;
      if (cursor < floor + fresh) throw PageError("leaf key bytes overlap the entry array");
      cursor -= fresh;
      char* k = n.keys.data() + i * key_length;
      if (dup) std::memcpy(k, prev, dup);
      std::memcpy(k + dup, p + cursor, fresh);
      std::memset(k + dup + fresh, pad, trail);
      n.recnos[i] = rec;
      prev = k;
    }
  } else {
    const std::size_t cap = interior_capacity(key_length);
    if (count > cap) throw PageError("key count " + std::to_string(count) + " exceeds the interior page");
    n.keys.resize(count * key_length);
    n.recnos.resize(count);
    n.children.resize(count);
    const std::uint8_t* e = p + 12;
    for (std::size_t i = 0; i < count; ++i, e += key_length + 8) {
      std::memcpy(n.keys.data() + i * key_length, e, key_length);
      n.recnos[i] = get32be(e + key_length);
      n.children[i] = get32be(e + key_length + 4);
    }
  }
  return n;
}

void encode_node(const Node& n, std::uint8_t pad, std::uint8_t* p) {
  std::memset(p, 0, kPageSize);
  put16(p, n.attributes);
  put16(p + 2, std::uint16_t(n.size()));
  put32(p + 4, std::uint32_t(n.left));
  put32(p + 8, std::uint32_t(n.right));
  const int kl = n.key_length;
  if (n.leaf()) {
    std::uint32_t maxrec = 0;
    for (auto r : n.recnos) maxrec = std::max(maxrec, r);
    const int dt = bits_for(std::uint32_t(kl));
    const int e = entry_bytes(kl, maxrec);
    const int r = 8 * e - 2 * dt;
    std::size_t cursor = kPageSize;
    std::string_view prev;
    for (std::size_t i = 0; i < n.size(); ++i) {
      const std::string_view k = n.key(i);
      std::size_t dup, trail;
      dup_trail(k, prev, pad, &dup, &trail);
      const std::size_t fresh = kl - dup - trail;
      if (cursor < 24 + (i + 1) * e + fresh) throw PageError("leaf entries do not fit in one page");
      cursor -= fresh;
      std::memcpy(p + cursor, k.data() + dup, fresh);
      const std::uint64_t v = std::uint64_t(n.recnos[i]) | (std::uint64_t(dup) << r) |
                              (std::uint64_t(trail) << (r + dt));
      for (int b = 0; b < e; ++b) p[24 + i * e + b] = std::uint8_t(v >> (8 * b));
      prev = k;
    }
    put16(p + 12, std::uint16_t(cursor - (24 + n.size() * e)));
    put32(p + 14, r >= 32 ? 0xFFFFFFFFu : std::uint32_t((1ull << r) - 1));
    p[18] = std::uint8_t((1u << dt) - 1);
    p[19] = std::uint8_t((1u << dt) - 1);
    p[20] = std::uint8_t(r);
    p[21] = std::uint8_t(dt);
    p[22] = std::uint8_t(dt);
    p[23] = std::uint8_t(e);
  } else {
    if (n.size() > interior_capacity(kl)) throw PageError("interior entries do not fit in one page");
    std::uint8_t* e = p + 12;
    for (std::size_t i = 0; i < n.size(); ++i, e += kl + 8) {
      std::memcpy(e, n.key(i).data(), kl);
      put32be(e + kl, n.recnos[i]);
      put32be(e + kl + 4, n.children[i]);
    }
  }
}

LeafSizer::LeafSizer(int key_length, std::uint8_t pad)
    : key_length_(key_length), pad_(pad), dt_bits_(2 * bits_for(std::uint32_t(key_length))) {}

std::size_t LeafSizer::size_with(std::string_view key, std::uint32_t recno) const {
  const std::uint32_t m = std::max(max_recno_, recno);
  const int e = entry_bytes(key_length_, m);
  return 24 + (count_ + 1) * std::size_t(e) + key_bytes_ + stored_bytes(key, count_ ? prev_ : "", pad_);
}

void LeafSizer::add(std::string_view key, std::uint32_t recno) {
  key_bytes_ += stored_bytes(key, count_ ? prev_ : "", pad_);
  max_recno_ = std::max(max_recno_, recno);
  prev_.assign(key);
  ++count_;
}

std::size_t LeafSizer::size() const {
  return 24 + count_ * std::size_t(entry_bytes(key_length_, max_recno_)) + key_bytes_;
}

}  // namespace rt::cdx
