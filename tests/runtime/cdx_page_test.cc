// Page codec round trips and damaged bags.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/cdx/bag.h"
#include "runtime/cdx/page.h"
#include "runtime/os/file.h"
#include "tests/support/testing.h"

using namespace rt::cdx;
namespace ts = testing_support;

namespace {

std::uint32_t le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | std::uint8_t(s[at + i]);
  return v;
}

void patch(const std::string& path, std::size_t at, const std::string& bytes) {
  std::string s = ts::read_file(path);
  s.replace(at, bytes.size(), bytes);
  ts::write_file(path, s);
}

std::string le32s(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = char(v >> (8 * i));
  return s;
}

}  // namespace

TEST(CdxPage, EveryFixturePageSurvivesDecodeEncodeDecode) {
  int leaves = 0, interiors = 0, identical = 0;
  for (const char* f : {"vfp-northwind/orders.cdx", "vfp-northwind/orderdetails.cdx", "vfp-northwind/northwind.dcx",
                        "vfp-northwind/products.cdx", "perl-xbase/rooms.cdx"}) {
    auto bag = Bag::open(ts::foreign_fixture(f), false);
    const std::string bytes = ts::read_file(ts::foreign_fixture(f));
    for (Tag* t : bag->tags()) {
      // Pages of this tag: walk from the root via the decoded structure.
      std::vector<std::uint32_t> todo{le32(bytes, t->header_offset())};
      while (!todo.empty()) {
        const std::uint32_t off = todo.back();
        todo.pop_back();
        const auto* page = reinterpret_cast<const std::uint8_t*>(bytes.data() + off);
        Node n = decode_node(page, t->key_length(), t->pad());
        std::uint8_t again[kPageSize];
        encode_node(n, t->pad(), again);
        Node m = decode_node(again, t->key_length(), t->pad());
        EXPECT_EQ(m.keys, n.keys) << f << " page " << off;
        EXPECT_EQ(m.recnos, n.recnos);
        EXPECT_EQ(m.children, n.children);
        EXPECT_EQ(m.attributes, n.attributes);
        EXPECT_EQ(m.left, n.left);
        EXPECT_EQ(m.right, n.right);
        if (n.leaf()) {
          ++leaves;
          // Our bit widths and free-space count are those of the Fox writers
          // (the 1997 rooms.cdx uses wider fixed fields).
          const int e = page[23];
          const std::size_t used = 24 + n.size() * e;
          if (std::memcmp(page, again, used) == 0) ++identical;
        } else {
          ++interiors;
          for (auto c : n.children) todo.push_back(c);
        }
      }
    }
  }
  EXPECT_GT(interiors, 10);
  EXPECT_GT(leaves, 100);
  EXPECT_GT(identical, leaves * 8 / 10) << identical << " of " << leaves;
}

TEST(CdxPage, LeafSizerAgreesWithTheEncoder) {
  // Fill a leaf entry by entry until the sizer says stop; the encoder must
  // accept exactly that many and refuse one more.
  for (int kl : {4, 8, 10, 20, 240}) {
    for (std::uint32_t base : {1u, 300u, 70000u, 0x7FFFFFFFu}) {
      Node n;
      n.attributes = 3;
      n.key_length = kl;
      LeafSizer s(kl, 0x20);
      std::uint32_t i = 0;
      std::string key;
      for (;; ++i) {
        key = std::string(std::size_t(kl), ' ');
        const std::string num = std::to_string(i * 7919u % 100000u);
        key.replace(0, std::min<std::size_t>(num.size(), kl), num.substr(0, kl));
        if (!s.fits_with(key, base + i)) break;
        s.add(key, base + i);
        n.keys += key;
        n.recnos.push_back(base + i);
      }
      // Sorted order is not needed by the codec itself.
      std::uint8_t page[kPageSize];
      ASSERT_NO_THROW(encode_node(n, 0x20, page)) << kl << " " << base;
      EXPECT_EQ(std::size_t(page[12] | (page[13] << 8)), kPageSize - s.size());
      Node back = decode_node(page, kl, 0x20);
      EXPECT_EQ(back.keys, n.keys);
      EXPECT_EQ(back.recnos, n.recnos);
      n.keys += key;
      n.recnos.push_back(base + i);
      EXPECT_THROW(encode_node(n, 0x20, page), PageError);
    }
  }
}

TEST(CdxPage, ImpossiblePagesAreRefusedWithAReason) {
  std::uint8_t page[kPageSize] = {};
  page[0] = 2;  // leaf
  page[2] = 0xFF;
  page[3] = 0x01;  // 511 keys
  page[20] = 16;
  page[21] = 4;
  page[22] = 4;
  page[23] = 3;
  EXPECT_THROW(decode_node(page, 10, 0x20), PageError);
  page[2] = 2;
  page[3] = 0;
  page[23] = 1;  // 24 bits in one byte
  EXPECT_THROW(decode_node(page, 10, 0x20), PageError);
  page[23] = 3;
  // Entry with dup + trail beyond the key length.
  page[24] = 1;
  page[25] = 0;
  page[26] = 0xFF;
  EXPECT_THROW(decode_node(page, 10, 0x20), PageError);
  std::uint8_t interior[kPageSize] = {};
  interior[2] = 100;  // 100 entries of 18 bytes cannot fit
  EXPECT_THROW(decode_node(interior, 10, 0x20), PageError);
}

// A copy of a multi-level bag and the offsets of its ORDERID tag.
struct Damaged : ::testing::Test {
  ts::TempDir dir;
  std::string path;
  std::uint32_t header = 0, root = 0, first_child = 0;
  void SetUp() override {
    path = dir.file("orderdetails.cdx");
    ts::copy_file(ts::foreign_fixture("vfp-northwind/orderdetails.cdx"), path);
    auto bag = Bag::open(path, false);
    header = bag->tag("ORDERID").header_offset();
    const std::string s = ts::read_file(path);
    root = le32(s, header);
    ASSERT_EQ(s[root] & 2, 0) << "the root should be an interior page";
    // First child pointer: big-endian after the key and record number.
    const std::size_t at = root + 12 + 4 + 4;
    first_child = (std::uint32_t(std::uint8_t(s[at])) << 24) | (std::uint32_t(std::uint8_t(s[at + 1])) << 16) |
                  (std::uint32_t(std::uint8_t(s[at + 2])) << 8) | std::uint8_t(s[at + 3]);
  }
  void set_first_child(std::uint32_t v) {
    patch(path, root + 12 + 8, std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)});
  }
  // Runs a full walk and a seek; both must fail cleanly naming bag and tag.
  void expect_clean_failure() {
    auto bag = Bag::open(path, false);
    Tag& t = bag->tag("orderid");
    try {
      (void)t.entries();
      FAIL() << "walk succeeded";
    } catch (const CdxError& e) {
      EXPECT_NE(std::string(e.what()).find("orderdetails.cdx"), std::string::npos) << e.what();
      EXPECT_EQ(e.tag(), "ORDERID") << e.what();
    }
    EXPECT_THROW(Cursor(t).first(), CdxError);
    EXPECT_FALSE(bag->verify().empty());
  }
};

TEST_F(Damaged, ChildPointerBeyondTheFile) {
  set_first_child(0x7FFFFE00);
  expect_clean_failure();
}

TEST_F(Damaged, ChildPointerInACycle) {
  set_first_child(root);
  expect_clean_failure();
}

TEST_F(Damaged, KeyCountBeyondThePage) {
  patch(path, first_child + 2, std::string("\xF0\x00", 2));
  expect_clean_failure();
}

TEST_F(Damaged, LeafSiblingsInACycle) {
  // The first leaf's right sibling pointing back at itself.
  patch(path, first_child + 8, le32s(first_child));
  auto bag = Bag::open(path, false);
  Tag& t = bag->tag("orderid");
  EXPECT_THROW((void)t.entries(), CdxError);
  EXPECT_THROW((void)t.count(), CdxError);
  EXPECT_FALSE(bag->verify().empty());
}

TEST_F(Damaged, DirectoryPointingNowhere) {
  // The directory leaf's packed entries hold the header offsets; replace the
  // whole file tail so that every tag header lies beyond the end.
  std::string s = ts::read_file(path);
  s.resize(2048);
  ts::write_file(path, s);
  try {
    Bag::open(path, false);
    FAIL() << "opened";
  } catch (const CdxError& e) {
    EXPECT_FALSE(e.tag().empty()) << e.what();
    EXPECT_NE(std::string(e.what()).find("outside the bag"), std::string::npos) << e.what();
  }
}

TEST_F(Damaged, OddKeyLengthInATagHeader) {
  patch(path, header + 12, std::string("\x00\x00", 2));
  EXPECT_THROW(Bag::open(path, false), CdxError);
  patch(path, header + 12, std::string("\x2C\x01", 2));  // 300
  EXPECT_THROW(Bag::open(path, false), CdxError);
}

TEST(CdxBag, NotACompoundIndex) {
  ts::TempDir dir;
  ts::write_file(dir.file("x.cdx"), "short");
  EXPECT_THROW(Bag::open(dir.file("x.cdx"), false), CdxError);
  ts::write_file(dir.file("y.cdx"), std::string(4096, '\xFF'));
  EXPECT_THROW(Bag::open(dir.file("y.cdx"), false), CdxError);
  EXPECT_THROW(Bag::open(dir.file("missing.cdx"), false), rt::os::IoError);
}
