// The order layer of the work areas: bags on areas, focus, seeks, navigation
// in tag order with filters, relations, tag creation and the maintenance of
// every tag when the area writes records.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <tuple>

#include "runtime/cdx/bag.h"
#include "runtime/expr/key_encoding.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

using rt::Value;
using rt::wa::Area;
using rt::wa::OpenOptions;
using rt::wa::WorkAreaError;
using Kind = rt::wa::WorkAreaError::Kind;
using testing_support::thrown_kind;
using rt::wa::WorkAreas;
using testing_support::TempDir;

namespace {

rt::text::Date ymd(int y, int m, int d) { return *rt::text::Date::from_ymd(y, m, d); }

// Sale headers: COMPTE C2, NUMERO N6, FECHA D, TOTAL N(10,2).
std::string make_headers(const TempDir& dir, const std::vector<std::tuple<const char*, int, int>>& rows) {
  const std::string path = dir.file("compenca.dbf");
  WorkAreas wa;
  wa.create(path, {{"COMPTE", 'C', 2, 0}, {"NUMERO", 'N', 6, 0}, {"FECHA", 'D', 8, 0}, {"TOTAL", 'N', 10, 2}});
  wa.select_area(0);
  EXPECT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  for (const auto& [compte, numero, day] : rows) {
    EXPECT_TRUE(wa.current().append());
    wa.current().put("COMPTE", compte);
    wa.current().put("NUMERO", numero);
    wa.current().put("FECHA", ymd(2026, 12, day));
    wa.current().put("TOTAL", numero / 10.0);
  }
  wa.close_all();
  return path;
}

// Record numbers from the top to the end in the active order.
std::vector<rt::wa::RecNo> walk(Area& a) {
  std::vector<rt::wa::RecNo> out;
  for (a.goto_top(); !a.eof() && out.size() < 100000; a.skip(1)) out.push_back(a.recno());
  return out;
}

std::vector<rt::wa::RecNo> walk_back(Area& a) {
  std::vector<rt::wa::RecNo> out;
  for (a.goto_bottom(); !a.eof() && out.size() < 100000;) {
    out.push_back(a.recno());
    a.skip(-1);
    if (a.bof()) break;
  }
  return out;
}

const std::vector<std::tuple<const char*, int, int>> kHeaders = {
    {"TK", 1234, 5}, {"FA", 7, 1}, {"TK", 15, 9}, {"TK", 1234, 2}, {"NC", 99, 7}, {"TK", 8, 3}};

}  // namespace

TEST(WorkAreaOrders, CreateOrderFocusAndNavigateInKeyOrder) {
  TempDir dir;
  const std::string path = make_headers(dir, kHeaders);
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  Area& a = wa.current();
  rt::wa::create_order(a, "compte", "COMPTE+STR(NUMERO,6)");
  rt::wa::create_order(a, "fecha", "FECHA");
  rt::wa::create_order(a, "total", "TOTAL", {.for_condition = "TOTAL>1", .unique = false, .descending = true});
  EXPECT_EQ(rt::wa::tag_names(a), (std::vector<std::string>{"COMPTE", "FECHA", "TOTAL"}));
  EXPECT_EQ(rt::wa::focus(a), "TOTAL");  // a new tag becomes active
  // Descending, FOR TOTAL>1: 123.4 (records 4 and 1, walked from the end), 9.9, 1.5.
  EXPECT_EQ(walk(a), (std::vector<rt::wa::RecNo>{4, 1, 5, 3}));
  EXPECT_EQ(rt::wa::set_focus(a, "Compte"), "TOTAL");
  EXPECT_EQ(walk(a), (std::vector<rt::wa::RecNo>{2, 5, 6, 3, 1, 4}));
  EXPECT_EQ(walk_back(a), (std::vector<rt::wa::RecNo>{4, 1, 3, 6, 5, 2}));
  rt::wa::set_focus(a, 2);
  EXPECT_EQ(walk(a), (std::vector<rt::wa::RecNo>{2, 4, 6, 1, 5, 3}));
  // DBGOTO leaves the order; the next skip continues from that record's place.
  a.go(1);
  a.skip(1);
  EXPECT_EQ(a.recno(), 5u);
  a.skip(-2);
  EXPECT_EQ(a.recno(), 6u);
  rt::wa::set_focus(a, 0);
  EXPECT_EQ(rt::wa::focus(a), "");
  EXPECT_EQ(walk(a), (std::vector<rt::wa::RecNo>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::set_focus(a, "nosuch"); }), Kind::NoOrder);
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::set_focus(a, 4); }), Kind::NoOrder);
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::create_order(a, "bad", "COMPTE+NUMERO"); }), Kind::Expression);
  EXPECT_EQ(rt::wa::tag_names(a).size(), 3u);
}

TEST(WorkAreaOrders, SeekExactPrefixMissAndFilter) {
  TempDir dir;
  const std::string path = make_headers(dir, kHeaders);
  {
    WorkAreas wa;
    wa.select_area(0);
    ASSERT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
    rt::wa::create_order(wa.current(), "compte", "COMPTE+STR(NUMERO,6)");
    rt::wa::create_order(wa.current(), "numero", "NUMERO");
  }
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path));
  Area& a = wa.current();
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::seek(a, Value("TK")); }), Kind::NoOrder);  // no order active yet
  rt::wa::set_index(a, dir.file("COMPENCA"));                  // name without extension, other case
  EXPECT_EQ(rt::wa::focus(a), "COMPTE");                       // the first bag's first tag
  EXPECT_TRUE(rt::wa::seek(a, Value("TK" + rt::text::str(1234, 6))));
  EXPECT_TRUE(a.found());
  EXPECT_EQ(a.recno(), 1u);  // equal keys: the lowest record first
  a.skip(1);
  EXPECT_EQ(a.recno(), 4u);
  EXPECT_TRUE(rt::wa::seek(a, Value("TK")));  // a shorter text matches as a prefix
  EXPECT_EQ(a.recno(), 6u);
  EXPECT_FALSE(rt::wa::seek(a, Value("TK" + rt::text::str(16, 6))));
  EXPECT_FALSE(a.found());
  EXPECT_TRUE(a.eof());
  EXPECT_FALSE(rt::wa::seek(a, Value("ZZ")));
  EXPECT_TRUE(a.eof());
  // Soft seek stands on the next key.
  EXPECT_FALSE(rt::wa::seek(a, Value("TK" + rt::text::str(16, 6)), true));
  EXPECT_FALSE(a.eof());
  EXPECT_EQ(a.recno(), 1u);
  // A number in a text order.
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::seek(a, Value(12)); }), Kind::Expression);

  // With a filter the record found must pass it and still have the key.
  rt::wa::set_filter(wa, a, "FECHA>{^2026-12-03}");
  EXPECT_TRUE(rt::wa::seek(a, Value("TK" + rt::text::str(1234, 6))));
  EXPECT_EQ(a.recno(), 1u);
  EXPECT_TRUE(rt::wa::seek(a, Value("TK")));
  EXPECT_EQ(a.recno(), 3u);  // TK 8 (day 3) is filtered out
  rt::wa::set_filter(wa, a, "NUMERO<>1234 .AND. NUMERO<>15 .AND. NUMERO<>8");
  EXPECT_FALSE(rt::wa::seek(a, Value("TK")));
  EXPECT_TRUE(a.eof());
  a.clear_filter();
  EXPECT_THROW(rt::wa::set_filter(wa, a, "NUMERO+"), WorkAreaError);
  EXPECT_THROW(rt::wa::set_filter(wa, a, "NUMERO"), WorkAreaError);

  rt::wa::set_focus(a, "numero");
  EXPECT_TRUE(rt::wa::seek(a, Value(99)));
  EXPECT_EQ(a.recno(), 5u);
  EXPECT_FALSE(rt::wa::seek(a, Value(100)));
  EXPECT_TRUE(a.eof());
}

TEST(WorkAreaOrders, RelationsMoveTheChildButAppendsDoNot) {
  TempDir dir;
  const std::string headers = make_headers(dir, kHeaders);
  {
    WorkAreas wa;
    wa.select_area(0);
    ASSERT_TRUE(wa.use(headers, {.alias = "", .exclusive = true, .readonly = false}));
    rt::wa::create_order(wa.current(), "compte", "COMPTE+STR(NUMERO,6)");
  }
  const std::string lines = dir.file("compitem.dbf");
  WorkAreas wa;
  wa.create(lines, {{"COMPTE", 'C', 2, 0}, {"NUMERO", 'N', 6, 0}, {"CODIGO", 'C', 7, 0}});
  wa.select_area(0);
  ASSERT_TRUE(wa.use(lines, {.alias = "", .exclusive = true, .readonly = false}));
  Area& items = wa.current();
  for (auto [c, n] : std::vector<std::pair<const char*, int>>{{"TK", 15}, {"NC", 99}, {"TK", 77}}) {
    ASSERT_TRUE(items.append());
    items.put("COMPTE", c);
    items.put("NUMERO", n);
  }
  wa.select_area(0);
  ASSERT_TRUE(wa.use(headers));
  Area& head = wa.current();
  rt::wa::set_index(head, headers.substr(0, headers.size() - 4) + ".cdx");
  rt::wa::set_relation(wa, items, "compenca", "COMPTE+STR(NUMERO,6)");
  items.goto_top();
  EXPECT_EQ(head.recno(), 3u);  // TK 15
  EXPECT_TRUE(head.found());
  items.skip(1);
  EXPECT_EQ(head.recno(), 5u);  // NC 99
  items.skip(1);
  EXPECT_TRUE(head.eof());  // TK 77 has no header
  EXPECT_FALSE(head.found());
  items.go(1);
  EXPECT_EQ(head.recno(), 3u);
  // Appending to the parent leaves the child where it is.
  ASSERT_TRUE(items.append());
  EXPECT_EQ(head.recno(), 3u);
  items.skip(1);  // end of file: the child goes to its end too
  EXPECT_TRUE(head.eof());
  // A loop.
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::set_relation(wa, head, "compitem", "COMPTE"); }), Kind::Relation);
  rt::wa::clear_relations(items);
  items.go(2);
  EXPECT_TRUE(head.eof());  // no longer follows
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::set_relation(wa, items, "compenca", "NOSUCH"); }),
            Kind::Expression);
}

TEST(WorkAreaOrders, ForeignBagSeeksOnNullableAndIntegerTags) {
  TempDir dir;
  testing_support::copy_foreign_set("vfp-northwind", dir.path());
  WorkAreas wa;
  wa.set_bag_lock_wait([](const std::string&, int attempt) { return attempt == 0; });
  wa.select_area(0);
  ASSERT_TRUE(wa.use(dir.file("orders.dbf"), {.alias = "", .exclusive = false, .readonly = true}));
  Area& a = wa.current();
  {
    // Another program holding the bag's lock: the open is refused as busy.
    auto other = rt::cdx::Bag::open(dir.file("orders.cdx"), true);
    rt::cdx::Bag::Lock held(*other, true);
    EXPECT_EQ(thrown_kind<WorkAreaError>([&] { rt::wa::set_index(a, dir.file("orders.cdx")); }), Kind::BagBusy);
  }
  rt::wa::set_index(a, dir.file("orders.cdx"));
  EXPECT_EQ(rt::wa::tag_names(a).size(), 6u);
  rt::wa::set_focus(a, "customerid");
  EXPECT_TRUE(rt::wa::seek(a, Value("ALFKI")));
  EXPECT_EQ(a.recno(), 396u);
  EXPECT_EQ(rt::text::trim(a.get("CUSTOMERID").text()), "ALFKI");
  rt::wa::set_focus(a, "orderid");
  EXPECT_TRUE(rt::wa::seek(a, Value(10250)));
  EXPECT_EQ(a.recno(), 3u);
  a.skip(1);
  EXPECT_EQ(a.get("ORDERID").number(), 10251);
  rt::wa::set_focus(a, "orderdate");
  EXPECT_TRUE(rt::wa::seek(a, Value(ymd(1996, 7, 5))));
  EXPECT_EQ(a.recno(), 2u);
  EXPECT_EQ(walk(a).size(), 830u);
  // Writing through a read-only area is refused before any bag is touched.
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { a.put("SHIPVIA", 2); }), Kind::NotWritable);
}

TEST(WorkAreaOrders, EveryTagFollowsAppendsUpdatesAndDeletes) {
  // A table with a bag of five tags: text, number, date, compound text+STR()
  // with a FOR condition, and a unique one; random appends, field updates and
  // deletions, and after every step each tag's order equals the order a
  // model computes from the records.
  TempDir dir;
  const std::string path = dir.file("model.dbf");
  WorkAreas wa;
  wa.create(path, {{"NAME", 'C', 8, 0}, {"QTY", 'N', 6, 1}, {"DAY", 'D', 8, 0}, {"KIND", 'C', 2, 0}});
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  Area& a = wa.current();
  rt::wa::create_order(a, "name", "UPPER(NAME)");
  rt::wa::create_order(a, "qty", "QTY");
  rt::wa::create_order(a, "day", "DAY");
  rt::wa::create_order(a, "kindqty", "KIND+STR(QTY,6,1)", {.for_condition = "KIND=\"T\" .AND. !DELETED()"});
  rt::wa::create_order(a, "uname", "NAME", {.for_condition = "", .unique = true, .descending = false});

  struct Rec {
    std::string name, kind;
    double qty = 0;
    int day = 0;  // 0 = empty date
    bool deleted = false;
  };
  std::vector<Rec> model;
  std::mt19937 rng(11);
  const char* names[] = {"anna", "Bob", "bob", "CARL", "dora", "Eve", "", "zed"};
  const char* kinds[] = {"TK", "TA", "FA", ""};
  auto set_random = [&](Rec& r, int field) {
    switch (field) {
      case 0: r.name = names[rng() % 8]; a.put("NAME", r.name); break;
      case 1: r.qty = double(int(rng() % 2001) - 1000) / 10; a.put("QTY", r.qty); break;
      case 2: r.day = int(rng() % 40); a.put("DAY", r.day ? ymd(2026, 1, 1).plus_days(r.day) : rt::text::Date{}); break;
      default: r.kind = kinds[rng() % 4]; a.put("KIND", r.kind); break;
    }
  };
  auto pad = [](const std::string& s, std::size_t w) { return rt::text::pad_right(s, w); };
  auto num_key = [](double d) { return rt::expr::encode_key(Value(d), rt::expr::key_format(rt::expr::KeyType::Numeric)); };
  auto expected = [&](const std::string& tag) {
    std::vector<std::pair<std::string, rt::wa::RecNo>> keys;
    for (std::size_t i = 0; i < model.size(); ++i) {
      const Rec& r = model[i];
      const rt::wa::RecNo n = rt::wa::RecNo(i + 1);
      if (tag == "NAME") keys.emplace_back(rt::text::upper(pad(r.name, 8)), n);
      if (tag == "QTY") keys.emplace_back(num_key(r.qty), n);
      if (tag == "DAY") keys.emplace_back(num_key(r.day ? ymd(2026, 1, 1).plus_days(r.day).julian() : 0), n);
      if (tag == "KINDQTY" && r.kind.size() && r.kind[0] == 'T' && !r.deleted)
        keys.emplace_back(pad(r.kind, 2) + rt::text::str(r.qty, 6, 1), n);
      if (tag == "UNAME") keys.emplace_back(pad(r.name, 8), n);
    }
    std::sort(keys.begin(), keys.end());
    if (tag == "UNAME")
      keys.erase(std::unique(keys.begin(), keys.end(), [](auto& x, auto& y) { return x.first == y.first; }),
                 keys.end());
    std::vector<rt::wa::RecNo> out;
    for (auto& k : keys) out.push_back(k.second);
    return out;
  };
  const std::vector<std::string> tags = {"NAME", "QTY", "DAY", "KINDQTY", "UNAME"};
  for (int step = 0; step < 400; ++step) {
    const unsigned what = rng() % 10;
    if (model.size() < 5 || what < 3) {
      ASSERT_TRUE(a.append());
      model.push_back(Rec{});
      for (int f = 0; f < 4; ++f) set_random(model.back(), f);
    } else {
      const rt::wa::RecNo n = rt::wa::RecNo(rng() % model.size() + 1);
      a.go(n);
      if (what == 9) {
        if (model[n - 1].deleted) a.recall();
        else a.delete_record();
        model[n - 1].deleted = !model[n - 1].deleted;
      } else {
        set_random(model[n - 1], int(rng() % 4));
      }
    }
    if (step % 20 == 19 || step < 10) {
      for (const auto& t : tags) {
        rt::wa::set_focus(a, t);
        ASSERT_EQ(walk(a), expected(t)) << "tag " << t << " after step " << step;
      }
    }
  }
}

constexpr int kSharedRecords = 300;
std::string shared_name(int i) { return "K" + rt::text::pad_left(std::to_string((i * 7919) % 100000), 5, '0'); }

// The writer of the test below: args are the table and its bag.
CHK_CHILD_ROUTINE(OrdersWriteSharedTable) {
  WorkAreas wa;
  wa.select_area(0);
  if (!wa.use(args.at(0))) return 1;
  Area& a = wa.current();
  rt::wa::set_index(a, args.at(1));
  for (int i = 1; i <= kSharedRecords; ++i) {
    if (!a.append()) return 2;
    a.put("NAME", shared_name(i));
    a.put("QTY", i);
    a.unlock();
    if (i % 10 == 0) {  // and change an earlier record's quantity
      a.go(rt::wa::RecNo(i / 2));
      if (a.lock_record()) {
        a.put("QTY", -i);
        a.unlock();
      }
    }
  }
  return 0;
}

TEST(WorkAreaOrders, ReaderSeesAWritersKeysWhileItAppendsAndUpdates) {
  // One process appends and updates records of a shared table with a bag;
  // this one seeks and walks at the same time.  A key found always leads to
  // a record holding it, walks end, and once the writer is done every key
  // is found.
  TempDir dir;
  const std::string path = dir.file("shared.dbf");
  {
    WorkAreas wa;
    wa.create(path, {{"NAME", 'C', 8, 0}, {"QTY", 'N', 6, 0}});
    wa.select_area(0);
    ASSERT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
    rt::wa::create_order(wa.current(), "name", "NAME");
    rt::wa::create_order(wa.current(), "qty", "QTY");
  }
  const int pid = testing_support::spawn_child("OrdersWriteSharedTable", {path, dir.file("shared.cdx")});
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path));
  Area& a = wa.current();
  rt::wa::set_index(a, dir.file("shared.cdx"));
  int rounds = 0;
  for (; rounds < 2000; ++rounds) {
    const int i = rounds % kSharedRecords + 1;
    if (rt::wa::seek(a, Value(shared_name(i)))) {
      ASSERT_EQ(rt::text::rtrim(a.get("NAME").text()), shared_name(i));
    }
    if (rounds % 50 == 0) {
      const auto seen = walk(a);
      ASSERT_LE(seen.size(), std::size_t(kSharedRecords));
    }
  }
  ASSERT_EQ(testing_support::wait_child(pid), 0);
  for (int i = 1; i <= kSharedRecords; ++i) {
    ASSERT_TRUE(rt::wa::seek(a, Value(shared_name(i)))) << shared_name(i);
    EXPECT_EQ(a.recno(), rt::wa::RecNo(i));
  }
  EXPECT_EQ(walk(a).size(), std::size_t(kSharedRecords));
  rt::wa::set_focus(a, "qty");
  const auto by_qty = walk(a);
  ASSERT_EQ(by_qty.size(), std::size_t(kSharedRecords));
  double last = -1e9;
  for (auto r : by_qty) {
    a.go(r);
    EXPECT_GE(a.get("QTY").number(), last);
    last = a.get("QTY").number();
  }
}
