// Every order bag of the foreign sample sets read as its EXPECTED.json says
// (made by independent readers): tag names, expressions, options, key counts,
// the first 20 and last 5 [key, recno] pairs; seeks and backward walks agree
// with the forward walk; the verifier finds the bags sound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "runtime/cdx/bag.h"
#include "runtime/os/file.h"
#include "runtime/text/codepage.h"
#include "tests/support/json.h"
#include "tests/support/testing.h"

using namespace rt::cdx;
using testing_support::Json;

namespace {

std::string strip(std::string s, char pad) {
  while (!s.empty() && s.back() == pad) s.pop_back();
  return s;
}

std::string from_hex(const std::string& h) {
  std::string out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) out += char(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// The key as the independent readers print it, for comparison.
bool key_matches(const Json& want, const std::string& key, const Tag& tag) {
  if (want.type == Json::Type::Object)
    return strip(from_hex(want["hex"].text), char(tag.pad())) == strip(key, char(tag.pad()));
  if (want.type == Json::Type::Number) {
    if (key.size() == 4) {
      std::uint32_t u = 0;
      for (unsigned char c : key) u = (u << 8) | c;
      return double(std::int32_t(u ^ 0x80000000u)) == want.number;
    }
    if (key.size() == 8) {
      std::uint64_t u = 0;
      for (unsigned char c : key) u = (u << 8) | c;
      u = (u & 0x8000000000000000ull) ? (u ^ 0x8000000000000000ull) : ~u;
      double d;
      std::memcpy(&d, &u, 8);
      return d == want.number;
    }
    return false;
  }
  return rt::text::to_utf8(strip(key, ' '), rt::text::CodePage::CP1252) == strip(want.text, ' ');
}

struct BagCase {
  std::string set, file;
};

std::vector<BagCase> all_bags() {
  std::vector<BagCase> out;
  for (const char* set : {"perl-xbase", "vfp-northwind", "vfp-freetables", "ruby-foxprodb"}) {
    const Json j = Json::parse(testing_support::read_file(testing_support::foreign_fixture(std::string(set) + "/EXPECTED.json")));
    for (const auto& [file, _] : j["indexes"].fields) out.push_back({set, file});
  }
  return out;
}

}  // namespace

TEST(CdxForeignBags, EveryTagReadsAsTheIndependentReadersSaw) {
  std::map<std::string, Json> expected;
  int tags_checked = 0;
  for (const auto& bc : all_bags()) {
    if (!expected.count(bc.set))
      expected[bc.set] = Json::parse(testing_support::read_file(testing_support::foreign_fixture(bc.set + "/EXPECTED.json")));
    const Json& want = expected[bc.set]["indexes"][bc.file];
    SCOPED_TRACE(bc.set + "/" + bc.file);
    auto bag = Bag::open(testing_support::foreign_fixture(bc.set + "/" + bc.file), false);
    auto tags = bag->tags();
    ASSERT_EQ(tags.size(), std::size_t(want["tag_count"].number));
    for (const Json& wt : want["tags"].items) {
      SCOPED_TRACE(wt["name"].text);
      Tag* t = bag->find(wt["name"].text);
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->key_expr(), wt["key_expression"].text);
      EXPECT_EQ(t->for_expr(), wt["for_expression"].is_null() ? "" : wt["for_expression"].text);
      EXPECT_EQ(t->key_length(), int(wt["key_length"].number));
      EXPECT_EQ(t->options(), std::stoi(wt["options_byte"].text, nullptr, 16));
      EXPECT_EQ(t->unique(), wt["unique"].boolean);
      EXPECT_EQ(t->has_for(), wt["for_flag"].boolean);
      EXPECT_EQ(t->descending(), wt["descending"].boolean);
      const auto entries = t->entries();
      ASSERT_EQ(entries.size(), std::size_t(wt["key_count"].number));
      EXPECT_EQ(t->count(), entries.size());
      const Json& first = wt["first_20"];
      for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_TRUE(key_matches(first[i][0], entries[i].first, *t)) << "entry " << i;
        EXPECT_EQ(entries[i].second, std::uint32_t(first[i][1].number)) << "entry " << i;
      }
      const Json& last = wt["last_5"];
      for (std::size_t i = 0; i < last.size(); ++i) {
        const auto& e = entries[entries.size() - last.size() + i];
        EXPECT_TRUE(key_matches(last[i][0], e.first, *t)) << "last entry " << i;
        EXPECT_EQ(e.second, std::uint32_t(last[i][1].number)) << "last entry " << i;
      }
      // Backward walk = forward walk reversed; every key is found by a seek,
      // on its first record.
      Cursor c(*t);
      std::size_t k = entries.size();
      for (bool ok = c.last(); ok; ok = c.prev()) {
        ASSERT_GT(k, 0u);
        --k;
        EXPECT_EQ(c.key(), entries[k].first);
        EXPECT_EQ(c.recno(), entries[k].second);
      }
      EXPECT_EQ(k, 0u);
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].first == entries[i - 1].first) continue;
        ASSERT_TRUE(c.seek(entries[i].first)) << i;
        EXPECT_EQ(c.recno(), entries[i].second);
      }
      ++tags_checked;
    }
    EXPECT_EQ(bag->verify(), std::vector<std::string>{});
  }
  EXPECT_EQ(tags_checked, 57);  // every tag of every set
}

TEST(CdxForeignBags, ForTagsOfRoomsKeepTheirBlanksAndPrefixSeeksWork) {
  auto bag = Bag::open(testing_support::foreign_fixture("perl-xbase/ROOMS.CDX"), false);  // any case
  std::vector<std::string> names;
  for (Tag* t : bag->tags()) names.push_back(t->name());
  Tag& main = bag->tag("main");
  EXPECT_TRUE(main.has_for());
  EXPECT_EQ(main.for_expr(), "TRIM(UPPER(facility))==\"MAIN\"");
  Cursor c(main);
  ASSERT_TRUE(c.seek("Bay"));  // a shorter key matches as a prefix
  EXPECT_EQ(c.key(), "Bay  1    ");
  EXPECT_EQ(c.recno(), 2u);
  ASSERT_TRUE(c.next());
  EXPECT_EQ(c.key(), "Bay  2    ");
  EXPECT_FALSE(c.seek("Bay  1X"));  // no soft seek: a miss reports false
  EXPECT_FALSE(c.seek("zzz"));
  EXPECT_FALSE(c.valid());
  EXPECT_FALSE(c.next());
  // "AUDIO" sorts first in the directory, but the creation order follows the
  // header offsets.
  ASSERT_EQ(names.size(), 5u);
}
