// Bags we write are read by an independent reader (Debian's
// libdbd-xbase-perl, its index_dump) with the same keys in the same order.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>

#include "runtime/cdx/bag.h"
#include "runtime/os/file.h"
#include "tests/support/testing.h"

using namespace rt::cdx;
namespace ts = testing_support;

namespace {

// The order-preserving 8-byte form of a number (sign bit flipped, or every
// bit for negatives), as the bags store numeric keys.
std::string number_key(double d) {
  if (d == 0) d = 0;
  std::uint64_t u;
  std::memcpy(&u, &d, 8);
  u = (u & 0x8000000000000000ull) ? ~u : (u | 0x8000000000000000ull);
  std::string k(8, '\0');
  for (int i = 0; i < 8; ++i) k[std::size_t(i)] = char(u >> (56 - 8 * i));
  return k;
}

std::vector<std::string> dump(const std::string& type, const std::string& bag, const std::string& tag) {
  std::string out;
  const int rc = ts::run_capture("index_dump --type " + type + " '" + bag + "' " + tag + " 2>&1", &out);
  EXPECT_EQ(rc, 0) << out;
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

TEST(CdxInterop, IndexDumpReadsOurBagsWithTheSameKeysInTheSameOrder) {
  if (!rt::os::file_exists("/usr/bin/index_dump")) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  ts::TempDir dir;
  const std::string path = dir.file("interop.cdx");
  std::mt19937 rng(99);
  {
    auto bag = Bag::create(path);
    KeyList names(12);
    for (std::uint32_t r = 1; r <= 3000; ++r) {
      std::string k = "ITEM" + std::to_string(rng() % 700);
      names.add(k, r);
    }
    Tag& t = bag->build_tag(TagSpec{"NAME", "UPPER(name)", "", 12}, names);
    KeyList amounts(8);
    for (std::uint32_t r = 1; r <= 1500; ++r) amounts.add(number_key(double(int(rng() % 20001) - 10000) / 4), r);
    Tag& n = bag->build_tag(TagSpec{"AMOUNT", "amount", "", 8, KeyKind::Binary}, amounts);
    // Maintenance after the bulk build: splits, merges, freed pages.
    for (std::uint32_t r = 3001; r <= 4000; ++r) t.insert(t.full_key("ITEM" + std::to_string(rng() % 900)), r);
    auto all = t.entries();
    for (std::size_t i = 0; i < all.size(); i += 3) ASSERT_TRUE(t.remove(all[i].first, all[i].second));
    for (std::uint32_t r = 1501; r <= 2500; ++r) n.insert(number_key(double(r) * 1.5 - 2000), r);
    ASSERT_EQ(bag->verify(), std::vector<std::string>{});
  }
  auto bag = Bag::open(path, false);
  {
    const auto ours = bag->tag("NAME").entries();
    const auto theirs = dump("char", path, "NAME");
    ASSERT_EQ(theirs.size(), ours.size());
    for (std::size_t i = 0; i < ours.size(); ++i)
      ASSERT_EQ(theirs[i], rtrim(ours[i].first) + " " + std::to_string(ours[i].second)) << i;
  }
  {
    const auto ours = bag->tag("AMOUNT").entries();
    const auto theirs = dump("num", path, "AMOUNT");
    ASSERT_EQ(theirs.size(), ours.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
      std::istringstream line(theirs[i]);
      double v;
      std::uint32_t r;
      line >> v >> r;
      ASSERT_EQ(number_key(v), ours[i].first) << theirs[i];
      ASSERT_EQ(r, ours[i].second) << theirs[i];
    }
  }
}
