// Keeping tags right: inserts and removes against a model, bulk building,
// unique and descending tags, tag replacement, pages never reused, the change
// counter, and two processes sharing one bag.
#include <gtest/gtest.h>


#include <random>
#include <set>

#include "runtime/cdx/bag.h"
#include "runtime/os/counting_env.h"
#include "runtime/os/file.h"
#include "tests/support/testing.h"

using namespace rt::cdx;
namespace ts = testing_support;

namespace {

using Model = std::set<std::pair<std::string, std::uint32_t>>;

std::string num_key(std::uint32_t v, int len = 8) {
  std::string k(std::size_t(len), '\0');
  for (int i = 0; i < 4 && i < len; ++i) k[std::size_t(i)] = char(v >> (24 - 8 * i));
  return k;
}

std::string text_key(std::mt19937& rng, int len) {
  // Short words with common prefixes and trailing blanks, so that leaves use
  // both the duplicate and the trailing counts.
  static const char* stems[] = {"AMOX", "AMOXI", "IBU", "IBUPRO", "PARA", "PARACET", "Z", ""};
  std::string k = stems[rng() % 8];
  const int extra = int(rng() % 5);
  for (int i = 0; i < extra; ++i) k += char('A' + rng() % 26);
  k.resize(std::size_t(len), ' ');
  return k;
}

void expect_same(Tag& t, const Model& model) {
  const auto entries = t.entries();
  ASSERT_EQ(entries.size(), model.size());
  std::size_t i = 0;
  for (const auto& m : model) {
    ASSERT_EQ(entries[i].first, m.first) << i;
    ASSERT_EQ(entries[i].second, m.second) << i;
    ++i;
  }
}

// A bag whose tag "N" holds the keys step, 2 * step, ... of records 1 to n.
void build_numbered(const std::string& path, std::uint32_t n, std::uint32_t step) {
  auto bag = Bag::create(path);
  KeyList keys(8);
  for (std::uint32_t r = 1; r <= n; ++r) keys.add(num_key(r * step), r);
  bag->build_tag(TagDefinition{"N", "n", "", 8, KeyKind::Binary}, keys);
}

}  // namespace

struct RandomOps : ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(RandomOps, TagStaysEqualToAModelAndSound) {
  const auto [key_length, text] = GetParam();
  ts::TempDir dir;
  auto bag = Bag::create(dir.file("model.cdx"));
  KeyList none(key_length);
  TagDefinition spec{"T", "x", "", key_length, text ? KeyKind::Text : KeyKind::Binary};
  Tag& t = bag->build_tag(spec, none);
  std::mt19937 rng(1234 + key_length);
  Model model;
  std::vector<std::pair<std::string, std::uint32_t>> present;
  const int ops = key_length > 20 ? 10000 : 20000;  // long keys: fewer ops, the same splits
  for (int op = 0; op < ops; ++op) {
    const bool grow = op < ops / 2 ? (rng() % 10 < 7) : (rng() % 10 < 4);
    if (grow || present.empty()) {
      const std::string k = text ? text_key(rng, key_length) : num_key(rng() % 5000, key_length);
      const std::uint32_t r = 1 + rng() % 200000;
      const bool added = model.insert({k, r}).second;
      EXPECT_EQ(t.insert(k, r), added ? Tag::Insert::Added : Tag::Insert::Present);
      if (added) present.emplace_back(k, r);
    } else {
      const std::size_t at = rng() % present.size();
      const auto e = present[at];
      present[at] = present.back();
      present.pop_back();
      model.erase(e);
      ASSERT_TRUE(t.remove(e.first, e.second));
      EXPECT_FALSE(t.remove(e.first, e.second));
    }
    if (op % 2500 == 2499) {
      expect_same(t, model);
      ASSERT_EQ(bag->verify(), std::vector<std::string>{}) << "after op " << op;
    }
  }
  expect_same(t, model);
  EXPECT_GE(t.height(), 2);
  // Seeks agree with the model: the first record of each key.
  Cursor c(t);
  for (int i = 0; i < 300; ++i) {
    const std::string k = text ? text_key(rng, key_length) : num_key(rng() % 5000, key_length);
    auto it = model.lower_bound({k, 0});
    const bool hit = it != model.end() && it->first == k;
    ASSERT_EQ(c.seek(k), hit);
    if (it == model.end()) {
      EXPECT_FALSE(c.valid());
    } else {
      EXPECT_EQ(c.key(), it->first);
      EXPECT_EQ(c.recno(), it->second);
    }
  }
  // Emptying the tag leaves its pages unused; filling it again never reuses
  // them (a page another program may still reach is never overwritten) and
  // never writes a free-page chain into the bag.
  for (const auto& e : present) ASSERT_TRUE(t.remove(e.first, e.second));
  EXPECT_EQ(t.count(), 0u);
  EXPECT_EQ(t.height(), 1);
  EXPECT_EQ(bag->verify(), std::vector<std::string>{});
  const auto size_before = rt::os::File::open(dir.file("model.cdx"), rt::os::OpenMode::ReadOnly)->size();
  for (const auto& e : present) t.insert(e.first, e.second);
  EXPECT_GT(rt::os::File::open(dir.file("model.cdx"), rt::os::OpenMode::ReadOnly)->size(), size_before);
  EXPECT_EQ(bag->free_list_head(), 0);
  EXPECT_EQ(bag->verify(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cdx, RandomOps,
                         ::testing::Values(std::make_tuple(8, false), std::make_tuple(12, true),
                                           std::make_tuple(40, true)));

TEST(CdxBuild, BulkBuiltTagsMatchTheirKeysAndSurviveReopening) {
  ts::TempDir dir;
  std::mt19937 rng(7);
  Model model;
  {
    auto bag = Bag::create(dir.file("Built.CDX"));
    KeyList keys(10);
    for (std::uint32_t r = 1; r <= 30000; ++r) {
      const std::string k = text_key(rng, 10);
      keys.add(k, r);
      model.insert({k, r});
    }
    bag->build_tag(TagDefinition{"names", "UPPER(name)", "", 10}, keys);
    KeyList nums(8);
    for (std::uint32_t r = 1; r <= 100; ++r) nums.add(num_key(r % 7), r);
    bag->build_tag(TagDefinition{"amount", "amount", "amount > 0", 8, KeyKind::Binary, false, true}, nums);
    EXPECT_EQ(bag->verify(), std::vector<std::string>{});
  }
  auto bag = Bag::open(dir.file("built.cdx"), true);  // case-insensitive name
  auto tags = bag->tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0]->name(), "NAMES");  // creation order
  EXPECT_EQ(tags[1]->name(), "AMOUNT");
  EXPECT_EQ(tags[1]->for_expr(), "amount > 0");
  EXPECT_TRUE(tags[1]->descending());
  EXPECT_TRUE(tags[1]->has_for());
  EXPECT_EQ(tags[1]->kind(), KeyKind::Binary);  // read back from the bare field name
  expect_same(*tags[0], model);
  EXPECT_GE(tags[0]->height(), 2);

  // Replacing a tag keeps its place; dropping one frees its pages.
  KeyList few(10);
  few.add("B", 2);
  few.add("A", 1);
  bag->build_tag(TagDefinition{"NAMES", "name", "", 10}, few);
  tags = bag->tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0]->name(), "NAMES");
  EXPECT_EQ(tags[0]->key_expr(), "name");
  EXPECT_EQ(tags[0]->entries(), (std::vector<std::pair<std::string, std::uint32_t>>{{"A         ", 1}, {"B         ", 2}}));
  bag->drop_tag("amount");
  EXPECT_EQ(bag->tags().size(), 1u);
  EXPECT_EQ(bag->find("AMOUNT"), nullptr);
  EXPECT_EQ(bag->verify(), std::vector<std::string>{});
  EXPECT_THROW(bag->build_tag(TagDefinition{"1BAD", "x", "", 10}, few), CdxError);
  EXPECT_THROW(bag->build_tag(TagDefinition{"TOOLONGNAME", "x", "", 10}, few), CdxError);
}

TEST(CdxUnique, OnlyTheLowestRecordOfAKeyIsKept) {
  ts::TempDir dir;
  auto bag = Bag::create(dir.file("u.cdx"));
  KeyList keys(4);
  keys.add("BB", 5);
  keys.add("AA", 9);
  keys.add("BB", 3);
  keys.add("AA", 2);
  Tag& t = bag->build_tag(TagDefinition{"U", "code", "", 4, KeyKind::Text, true}, keys);
  EXPECT_TRUE(t.unique());
  using E = std::vector<std::pair<std::string, std::uint32_t>>;
  EXPECT_EQ(t.entries(), (E{{"AA  ", 2}, {"BB  ", 3}}));
  EXPECT_EQ(t.insert("AA  ", 7), Tag::Insert::Kept);
  EXPECT_EQ(t.insert("AA  ", 1), Tag::Insert::Replaced);
  EXPECT_EQ(t.insert("AA  ", 1), Tag::Insert::Present);
  EXPECT_EQ(t.insert("CC  ", 4), Tag::Insert::Added);
  EXPECT_EQ(t.entries(), (E{{"AA  ", 1}, {"BB  ", 3}, {"CC  ", 4}}));
  EXPECT_TRUE(t.remove("BB  ", 3));
  EXPECT_EQ(t.entries(), (E{{"AA  ", 1}, {"CC  ", 4}}));
}

TEST(CdxVersion, ChangesAreCountedAndNoticedByAnotherOpen) {
  ts::TempDir dir;
  auto writer = Bag::create(dir.file("v.cdx"));
  KeyList keys(6);
  keys.add("KEEP", 1);
  Tag& wt = writer->build_tag(TagDefinition{"K", "k", "", 6}, keys);
  auto reader = Bag::open(dir.file("v.cdx"), false);
  Tag& rt_ = reader->tag("K");
  Cursor c(rt_);
  ASSERT_TRUE(c.first());
  const std::uint32_t v0 = reader->version();
  wt.insert("ZZZ   ", 2);
  EXPECT_EQ(reader->version(), v0 + 1);
  ASSERT_TRUE(c.next());  // the reader sees the new entry on its next move
  EXPECT_EQ(c.key(), "ZZZ   ");
  {
    Bag::Lock batch(*writer, true);  // one counted change for a batch
    wt.insert("AAA   ", 3);
    wt.remove("KEEP  ", 1);
  }
  EXPECT_EQ(reader->version(), v0 + 2);
  ASSERT_TRUE(c.prev());
  EXPECT_EQ(c.key(), "AAA   ");  // "KEEP" vanished under the cursor
  EXPECT_FALSE(c.prev());
  EXPECT_THROW(rt_.insert("X     ", 4), CdxError);  // read-only open
}

constexpr int kFollowedRounds = 400;

// The writer of the test below: each change of the bag args[0], then its new
// key's number sent through the file args[1].
CHK_CHILD_ROUTINE(CdxFollowedWriter) {
  auto bag = Bag::open(args.at(0), true);
  Tag& t = bag->tag("N");
  for (int i = 0; i < kFollowedRounds; ++i) {
    const std::uint32_t v = 100000 + std::uint32_t(i);
    t.insert(num_key(v), 5000 + std::uint32_t(i));  // splits at the right edge
    t.remove(num_key(std::uint32_t(i + 1) * 2), std::uint32_t(i + 1));  // empties left leaves
    ts::send_number(args.at(1), v);
  }
  return 0;
}

TEST(CdxSharing, AReaderNeverSeesATornBagAndFollowsTheWriter) {
  ts::TempDir dir;
  const std::string path = dir.file("shared.cdx");
  build_numbered(path, 2000, 2);
  auto bag = Bag::open(path, false);
  Tag& t = bag->tag("N");
  Cursor follower(t);
  ASSERT_TRUE(follower.last());
  const int rounds = kFollowedRounds;
  const int pid = ts::spawn_child("CdxFollowedWriter", {path, dir.file("changes")});
  int seen = 0;
  while (seen < rounds) {
    const auto v = ts::receive_number(dir.file("changes"), static_cast<std::size_t>(seen));
    ASSERT_TRUE(v) << "the writer stopped after " << seen << " changes";
    // After the writer's change, the next move shows it.
    ASSERT_TRUE(follower.next()) << *v;
    EXPECT_EQ(follower.key(), num_key(*v));
    ++seen;
    if (seen % 50 == 0) {
      // A whole walk while the writer goes on: always in order, never damaged.
      Cursor walk(t);
      std::string prev;
      std::size_t n = 0;
      for (bool ok = walk.first(); ok; ok = walk.next(), ++n) {
        ASSERT_LT(prev, walk.key());
        prev = walk.key();
      }
      EXPECT_GT(n, 1000u);
    }
  }
  EXPECT_EQ(ts::wait_child(pid), 0);
  EXPECT_EQ(seen, rounds);
  EXPECT_EQ(t.count(), 2000u);
  EXPECT_EQ(bag->verify(), std::vector<std::string>{});
}

namespace {

// A bag opened exclusively (its table's exclusive open) is the only open:
// another is refused, its changes and seeks take no lock, and it reads a
// page once.  A shared reader's seeks over cached pages read the counter
// only (one call each), and still see another open's change.
TEST(CdxSharing, AnExclusiveBagTakesNoLockAndASharedReaderChecksTheCounterOnly) {
  ts::TempDir dir;
  const std::string path = dir.file("x.cdx");
  rt::os::CountingEnv env;
  {
    auto bag = Bag::create(path, true, env, rt::os::ShareMode::Exclusive);
    EXPECT_THROW(Bag::open(path, false), rt::os::IoError);  // refused: Busy
    KeyList keys(8);
    Tag& t = bag->build_tag(TagDefinition{"N", "n", "", 8, KeyKind::Binary}, keys);
    const rt::os::CallCounts before = env.calls();
    for (std::uint32_t r = 1; r <= 50; ++r) t.insert(num_key(r), r);
    Cursor c(t);
    for (std::uint32_t r = 1; r <= 50; ++r) ASSERT_TRUE(c.seek(num_key(r)));
    const rt::os::CallCounts used = env.calls().since(before);
    EXPECT_EQ(used[rt::os::Call::Lock] + used[rt::os::Call::Unlock], 0u) << used.text(true);
    EXPECT_LE(used[rt::os::Call::Read], 1u) << used.text(true);  // the new root, once
    EXPECT_EQ(used[rt::os::Call::Write], 50u) << used.text(true);  // a page a change (the build raised the counter)
  }
  // A small bag is opened with one read under its lock; its tag found and a
  // first seek read the counter only.
  rt::os::CallCounts before = env.calls();
  auto reader = Bag::open(path, false, env);
  Cursor c(reader->tag("N"));
  ASSERT_TRUE(c.seek(num_key(7)));
  EXPECT_EQ(env.calls().since(before).total(), 6u) << env.calls().since(before).text(true);
  auto writer = Bag::open(path, true);
  ASSERT_TRUE(c.seek(num_key(7)));
  before = env.calls();
  for (std::uint32_t r = 1; r <= 50; ++r) ASSERT_TRUE(c.seek(num_key(r)));
  EXPECT_EQ(env.calls().since(before).total(), 50u) << env.calls().since(before).text(true);
  writer->tag("N").insert(num_key(99), 99);
  EXPECT_TRUE(c.seek(num_key(99)));
  EXPECT_EQ(c.recno(), 99u);
}

}  // namespace

namespace {

// Runs `before_lock` once, just before the next lock attempt on the file.
struct LockHookEnv : rt::os::EnvWrapper {
  struct HookedFile : rt::os::FileWrapper {
    HookedFile(std::unique_ptr<rt::os::File> f, std::function<void()>& hook) : FileWrapper(std::move(f)), hook_(hook) {}
    bool try_lock(std::uint64_t off, std::uint64_t len, rt::os::LockKind kind) override {
      if (auto h = std::exchange(hook_, nullptr)) h();
      return FileWrapper::try_lock(off, len, kind);
    }
    std::function<void()>& hook_;
  };
  LockHookEnv() : EnvWrapper(rt::os::Env::Default()) {}
  std::unique_ptr<rt::os::File> open_file(const std::string& p, rt::os::OpenMode m, rt::os::ShareMode s) override {
    return std::make_unique<HookedFile>(EnvWrapper::open_file(p, m, s), before_lock);
  }
  std::function<void()> before_lock;
};

}  // namespace

// A read begun on cached pages that needs a page it has not cached takes
// the lock there; when another program changed the bag in between (its
// removals emptying leaves the cached pages still lead to), the read starts
// over under the lock and sees the bag as that program left it.
TEST(CdxSharing, APageMissedAfterAnotherProgramsChangeIsReadAfresh) {
  ts::TempDir dir;
  const std::string path = dir.file("shared.cdx");
  build_numbered(path, 2000, 2);
  LockHookEnv env;
  auto reader = Bag::open(path, false, env);
  Cursor c(reader->tag("N"));
  ASSERT_TRUE(c.seek(num_key(2)));
  env.before_lock = [&] {
    auto writer = Bag::open(path, true);
    for (std::uint32_t r = 1200; r <= 1800; ++r) ASSERT_TRUE(writer->tag("N").remove(num_key(r * 2), r));
  };
  EXPECT_FALSE(c.seek(num_key(3000))) << "a key removed by the other program";
  ASSERT_TRUE(c.valid());
  EXPECT_EQ(c.key(), num_key(3602));
  EXPECT_FALSE(env.before_lock) << "the seek missed a page and took the lock";
  auto writer = Bag::open(path, true);
  writer->set_lock_wait([](const std::string&, int) { return false; });
  EXPECT_NO_THROW(writer->tag("N").insert(num_key(5001), 1)) << "the reader's lock was released";
  EXPECT_TRUE(c.seek(num_key(5001)));
}

// Reads in a LockedReads stretch take each bag's lock once and keep it to
// the end; a lock not granted at once makes the stretch give back the locks
// it holds before it waits, so it never holds one while waiting.
TEST(CdxSharing, ALockedStretchTakesEachLockOnceAndNeverWaitsHoldingOne) {
  ts::TempDir dir;
  for (const char* name : {"a.cdx", "b.cdx"}) build_numbered(dir.file(name), 3000, 1);
  rt::os::CountingEnv env;
  auto a = Bag::open(dir.file("a.cdx"), false, env);
  auto b = Bag::open(dir.file("b.cdx"), false, env);
  Cursor ca(a->tag("N")), cb(b->tag("N"));
  // Whether another program could take the bag's lock to write now.
  const auto free_to_write = [&](const char* name) {
    auto f = rt::os::Env::Default().open_file(dir.file(name), rt::os::OpenMode::ReadWrite, rt::os::ShareMode::Shared);
    const bool got = f->try_lock(kLockOffset, 1, rt::os::LockKind::Exclusive);
    if (got) f->unlock(kLockOffset, 1);
    return got;
  };
  {
    const LockedReads stretch;
    const auto before = env.calls();
    for (std::uint32_t r = 100; r <= 3000; r += 290) ASSERT_TRUE(ca.seek(num_key(r)));
    const auto used = env.calls().since(before);
    EXPECT_EQ(used[rt::os::Call::Lock], 1u) << used.text(true);
    EXPECT_EQ(used[rt::os::Call::Unlock], 0u) << used.text(true);
    EXPECT_FALSE(free_to_write("a.cdx")) << "held to the end of the stretch";

    // b is locked by another program: a gives its lock back before the wait.
    auto writer = rt::os::Env::Default().open_file(dir.file("b.cdx"), rt::os::OpenMode::ReadWrite,
                                                    rt::os::ShareMode::Shared);
    ASSERT_TRUE(writer->try_lock(kLockOffset, 1, rt::os::LockKind::Exclusive));
    bool a_free_while_waiting = false;
    b->set_lock_wait([&](const std::string&, int attempt) {
      if (attempt == 1) a_free_while_waiting = free_to_write("a.cdx");
      return false;
    });
    EXPECT_THROW(cb.seek(num_key(2000)), CdxError);
    EXPECT_TRUE(a_free_while_waiting);
    ASSERT_TRUE(ca.seek(num_key(2999))) << "a is read again, under its lock";
  }
  EXPECT_TRUE(free_to_write("a.cdx")) << "the stretch's end gives every lock back";
}
