// A long random run of appends, field updates, deletions and recalls on a
// table with a bag of five tags (text, number, date, compound text+STR()
// with a FOR condition, unique), checked against a model: after every step
// the touched record stands in every tag exactly where its keys say (and in
// no tag whose condition it fails), and at regular points and at the end
// every tag's whole order equals the model's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

using rt::Value;
using rt::wa::Area;
using rt::wa::RecNo;
using rt::wa::WorkAreas;

namespace {

rt::text::Date base_day() { return *rt::text::Date::from_ymd(2026, 1, 1); }

struct Rec {
  std::string name = std::string(8, ' ');
  std::string kind = "  ";
  double qty = 0;
  int day = 0;  // 0 = the empty date
  bool deleted = false;
};

int steps_to_run() {
  if (const char* s = std::getenv("CHK_MODEL_STEPS")) return std::atoi(s);
  return 100000;
}

// The model's key of a record in a tag, as text that sorts like the tag:
// texts as stored, numbers and dates through their sortable encodings.
std::string model_key(const std::string& tag, const Rec& r) {
  auto num = [](double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%+012.1f", d + 100000.0);  // positive and fixed width: sorts as text
    return std::string(buf);
  };
  if (tag == "name") return rt::text::upper(r.name);
  if (tag == "qty") return num(r.qty);
  if (tag == "day") return num(r.day);
  if (tag == "kindqty") return r.kind + rt::text::str(r.qty, 6, 1);
  return r.name;  // uname
}

bool in_tag(const std::string& tag, const Rec& r) {
  if (tag == "kindqty") return r.kind[0] == 'T' && !r.deleted;
  return true;
}

Value seek_value(const std::string& tag, const Rec& r) {
  if (tag == "name") return Value(rt::text::upper(r.name));
  if (tag == "qty") return Value(r.qty);
  if (tag == "day") return r.day ? Value(base_day().plus_days(r.day)) : Value(rt::text::Date{});
  if (tag == "kindqty") return Value(r.kind + rt::text::str(r.qty, 6, 1));
  return Value(r.name);
}

}  // namespace

TEST(WorkAreaModel, FiveTagsFollowALongRandomRunOfChanges) {
  testing_support::TempDir dir;
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
  const std::vector<std::string> tags = {"name", "qty", "day", "kindqty", "uname"};

  std::vector<Rec> model;
  // Per tag: (key, recno) of every record the tag holds.
  std::map<std::string, std::set<std::pair<std::string, RecNo>>> held;
  auto unindex = [&](RecNo n) {
    for (const auto& t : tags) held[t].erase({model_key(t, model[n - 1]), n});
  };
  auto index = [&](RecNo n) {
    for (const auto& t : tags)
      if (in_tag(t, model[n - 1])) held[t].insert({model_key(t, model[n - 1]), n});
  };
  // The entries a tag shows: all held ones, but only the first record of each
  // key in the unique tag.
  auto expected_order = [&](const std::string& t) {
    std::vector<RecNo> out;
    const std::string* last = nullptr;
    for (const auto& [key, n] : held[t]) {
      if (t == "uname" && last && *last == key) continue;
      out.push_back(n);
      last = &key;
    }
    return out;
  };

  std::mt19937 rng(20261209);
  auto random_name = [&] {
    std::string s(8, ' ');
    const int len = int(rng() % 4);  // short names from a small alphabet: runs of equal keys
    for (int i = 0; i < len; ++i) s[i] = "aAbBcd"[rng() % 6];
    return s;
  };
  const char* kinds[] = {"TK", "TA", "FA", "  "};
  auto set_field = [&](RecNo n, int field) {
    Rec& r = model[n - 1];
    switch (field) {
      case 0: r.name = random_name(); a.put("NAME", r.name); break;
      case 1: r.qty = double(int(rng() % 4001) - 2000) / 10; a.put("QTY", r.qty); break;
      case 2:
        r.day = int(rng() % 400);
        a.put("DAY", r.day ? Value(base_day().plus_days(r.day)) : Value(rt::text::Date{}));
        break;
      default: r.kind = kinds[rng() % 4]; a.put("KIND", r.kind); break;
    }
  };

  // The touched record stands in each tag under its key (or is absent where
  // its condition fails, or where the unique tag shows a lower record).
  auto check_record = [&](RecNo n, int step) {
    for (const auto& t : tags) {
      rt::wa::set_focus(a, t);
      const Rec& r = model[n - 1];
      const bool shown = in_tag(t, r) && (t != "uname" || held[t].lower_bound({model_key(t, r), 0})->second == n);
      const bool found = rt::wa::seek(a, seek_value(t, r));
      bool seen = false;
      for (int guard = 0; found && !a.eof() && guard < 100000; ++guard) {
        const RecNo at = a.recno();
        if (model_key(t, model[at - 1]) != model_key(t, r)) break;
        if (at == n) { seen = true; break; }
        a.skip(1);
      }
      ASSERT_EQ(seen, shown) << "tag " << t << ", record " << n << ", step " << step;
    }
  };
  auto check_all = [&](int step) {
    for (const auto& t : tags) {
      rt::wa::set_focus(a, t);
      std::vector<RecNo> got;
      for (a.goto_top(); !a.eof(); a.skip(1)) got.push_back(a.recno());
      ASSERT_EQ(got, expected_order(t)) << "tag " << t << " after step " << step;
    }
  };

  const int steps = steps_to_run();
  for (int step = 0; step < steps; ++step) {
    const unsigned what = rng() % 10;
    RecNo n;
    if (model.size() < 10 || what < 3) {
      ASSERT_TRUE(a.append());
      model.push_back(Rec{});
      n = RecNo(model.size());
      for (int f = 0; f < 4; ++f) set_field(n, f);
    } else {
      n = RecNo(rng() % model.size() + 1);
      a.go(n);
      unindex(n);
      if (what == 9) {
        if (model[n - 1].deleted) a.recall();
        else a.delete_record();
        model[n - 1].deleted = !model[n - 1].deleted;
      } else {
        set_field(n, int(rng() % 4));
      }
    }
    index(n);
    check_record(n, step);
    if (step % 10000 == 9999) check_all(step);
  }
  check_all(steps);
  wa.close_all();

  std::string out;
  const int rc = testing_support::run_capture(testing_support::bin_dir() + "/dbftool verify " + path + " 2>&1", &out);
  EXPECT_EQ(rc, 0) << out;
}
