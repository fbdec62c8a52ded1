// The demo folder: every table of the layouts opens with its bags, the tags
// find the demo's keys, the seller records carry their checksum and
// scrambled passwords, and dbftool verify finds nothing wrong.
#include "demodata/demo_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "data/layouts.h"
#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"
#include "runtime/os/folder_env.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "runtime/workarea/workareas.h"
#include "tests/support/testing.h"
#include "tools/config.h"
#include "tools/passwords.h"
#include "tools/text_tools.h"

namespace {

using rt::Value;
namespace wa = rt::wa;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 3, 14);

std::string ticket_key(int n) { return "TK" + rt::text::str(n, 6); }

class DemoData : public ::testing::Test {
 protected:
  void SetUp() override { app::make_demo(dir_.path(), kToday); }
  std::string path(const std::string& table) const { return dir_.file(table); }
  // Opens a table shared with the given bags in the lowest free area.
  wa::Area& open(const std::string& table, std::initializer_list<const char*> bags = {}) {
    areas_.select_area(0);
    EXPECT_TRUE(areas_.use(path(table)));
    auto& a = areas_.current();
    for (const char* b : bags) wa::set_index(a, path(b));
    return a;
  }
  std::size_t bag_tag_count(const std::string& bag) const {
    return rt::cdx::Bag::open(path(bag), false)->tags().size();
  }
  testing_support::TempDir dir_;
  wa::WorkAreas areas_;
};

TEST_F(DemoData, EveryTableHasTheFieldsAndEveryBagVerifiesAgainstItsRecords) {
  for (const auto* spec : layout::all_tables()) {
    SCOPED_TRACE(spec->name);
    rt::table::OpenOptions o;
    o.read_only = true;
    auto t = rt::table::Table::open(path(std::string(spec->name) + ".dbf"), o);
    std::vector<layout::ActualField> actual;
    for (const auto& f : t->schema().fields) actual.push_back({f.name, f.letter(), f.length, f.decimals});
    EXPECT_TRUE(layout::check_fields(*spec, actual).empty());
    if (spec == &layout::tempo39()) continue;
    for (const auto& b : spec->bags) {
      const std::string file = std::string(*b.file ? b.file : spec->name) + ".cdx";
      auto bag = rt::cdx::Bag::open(path(file), false);
      ASSERT_EQ(bag->tags().size(), b.tags.size()) << file;
      EXPECT_EQ(rt::cdx::verify_against_table(*bag, *t), std::vector<std::string>{}) << file;
    }
  }
}

TEST_F(DemoData, TagsFindTheDemoKeys) {
  auto& sellers = open("acceso2", {"acceso21", "acceso22"});
  EXPECT_EQ(wa::focus(sellers), "NUM");
  EXPECT_TRUE(wa::seek(sellers, Value(rt::text::str(app::demo::kSeller, 4))));
  EXPECT_EQ(rt::text::trim(sellers.get("NOMBRE").text()), "GOMEZ MARIA");
  // Password scrambled, checksum over the record.
  EXPECT_EQ(tools::cripta(rt::text::trim(sellers.get("CLAVE").text())), app::demo::kSellerPassword);
  std::vector<tools::ChecksumField> rec;
  for (const auto& f : layout::acceso2().fields) rec.push_back({f.name, f.type, f.length, f.decimals, sellers.get(f.name)});
  EXPECT_EQ(sellers.get("CRC_31").number(), static_cast<double>(tools::crc_31(rec)));
  EXPECT_TRUE(wa::seek(sellers, Value(rt::text::str(app::demo::kSellerNoPassword, 4))));
  EXPECT_EQ(rt::text::trim(sellers.get("CLAVE").text()), "");

  auto& heads = open("compenca", {"compenca"});
  for (int t : {app::demo::kTicket, app::demo::kCancelledTicket, app::demo::kCheckedTicket, app::demo::kNoScanTicket,
                app::demo::kDepartmentTicket})
    EXPECT_TRUE(wa::seek(heads, Value(ticket_key(t)))) << t;

  auto& lines = open("compitem", {"compitem"});
  ASSERT_TRUE(wa::seek(lines, Value(ticket_key(app::demo::kTicket))));
  int count = 0;
  for (; !lines.eof() && lines.get("NUMERO").number() == app::demo::kTicket; lines.skip()) ++count;
  EXPECT_EQ(count, 3);
  ASSERT_TRUE(wa::seek(lines, Value(ticket_key(app::demo::kCancelledTicket))));
  EXPECT_EQ(lines.get("ANULA").text(), "S");
  ASSERT_TRUE(wa::seek(lines, Value(ticket_key(app::demo::kNoScanTicket))));
  EXPECT_NE(lines.get("BONO").text().find('@'), std::string::npos);

  auto& products = open("producto", {"producto"});
  ASSERT_TRUE(wa::seek(products, Value("0000102")));
  EXPECT_EQ(products.get("TRAZA").text(), "S");
  const std::string traceable_gtin = tools::str_0(products.get("CODVAR").number(), 14);
  ASSERT_TRUE(wa::seek(products, Value("0000104")));
  EXPECT_EQ(products.get("TRAZA_F").text(), "S");
  ASSERT_TRUE(wa::seek(products, Value("0000105")));
  EXPECT_EQ(products.get("CALIDAD_CB").text(), "M");

  // One traceability record per unit of the traceable line, waiting.
  auto& trace = open("traza", {"traza"});
  wa::set_focus(trace, "compte");
  ASSERT_TRUE(wa::seek(trace, Value(ticket_key(app::demo::kTicket))));
  int units = 0;
  for (; !trace.eof() && trace.get("NUMERO_INT").number() == app::demo::kTicket; trace.skip()) {
    ++units;
    EXPECT_EQ(rt::text::trim(trace.get("ARCH_ASO").text()), "");
    EXPECT_EQ(trace.get("GTIN").text(), "0" + rt::text::trim(rt::text::str(trace.get("COD_BAR").number(), 14)));
  }
  EXPECT_EQ(units, 2);
  wa::set_focus(trace, "gtin_s");
  EXPECT_TRUE(wa::seek(trace, Value(traceable_gtin + std::string(20, ' '))));

  auto& log = open("log_env", {"log_env"});
  EXPECT_TRUE(wa::seek(log, Value(rt::text::str(app::demo::kCheckedTicket, 6))));
  EXPECT_FALSE(wa::seek(log, Value(rt::text::str(app::demo::kTicket, 6))));

  auto& afi = open("datoafi", {"datoafi"});
  EXPECT_TRUE(wa::seek(afi, Value(ticket_key(app::demo::kTicket))));
  auto& extra = open("cb", {"cb"});
  EXPECT_TRUE(wa::seek(extra, Value(std::string("7791234567898"))));

  auto& date = open("FEC_SYS");
  date.goto_top();
  EXPECT_EQ(date.get("FECHA").date(), kToday);
  areas_.close_all();
}

TEST_F(DemoData, ConfigurationAndNumberingAreReadByTheTools) {
  rt::os::FolderEnv data(dir_.path());
  wa::WorkAreas areas(data);
  const std::string traza = tools::get_ini(areas, "traza", "0", "N");
  const std::string compte = tools::get_ini(areas, "compte_tz", "0", "");
  const std::string dep = tools::get_ini(areas, "chk_env2_dep", "0", "-1");
  const double branch = tools::get_num(areas, "SU");
  EXPECT_EQ(traza, "S");
  EXPECT_EQ(compte, "FD");
  EXPECT_EQ(dep, "-1");
  EXPECT_EQ(branch, app::demo::kBranch);
}

// dbftool verify over every table file of the folder, with every order bag
// its layout names (--bag), so that each bag's pages and each tag's keys are
// checked against the records; every bag file of the folder is covered.
TEST_F(DemoData, DbftoolVerifyIsCleanOnEveryTableAndEveryBag) {
  std::set<std::string> bags_verified;
  int tables = 0;
  for (const auto& name : rt::os::list_directory(dir_.path())) {
    const std::string lower = rt::text::lower(name);
    if (lower.size() < 4 || lower.substr(lower.size() - 4) != ".dbf") continue;
    ++tables;
    const std::string base = lower.substr(0, lower.size() - 4);
    const layout::TableLayout* spec = layout::find_table(base);
    if (!spec && rt::text::upper(base) == layout::fec_sys().name) spec = &layout::fec_sys();
    ASSERT_NE(spec, nullptr) << name << " is not a table of the layouts";
    std::string cmd = testing_support::program("dbftool") + " verify \"" + path(name) + "\"";
    std::vector<std::string> bags;
    for (const auto& b : spec->bags) bags.push_back(std::string(*b.file ? b.file : base) + ".cdx");
    if (spec == &layout::tempo39()) bags.clear();  // the check table's bag is built at every check
    for (const auto& b : bags) cmd += " --bag \"" + path(b) + "\"";
    std::string out;
    EXPECT_EQ(testing_support::run_capture(cmd + " 2>&1", &out), 0) << name << ": " << out;
    EXPECT_NE(out.find("no problems"), std::string::npos) << out;
    for (const auto& b : bags) {
      EXPECT_NE(out.find(b + ": " + std::to_string(bag_tag_count(b)) + " tags, no problems"), std::string::npos)
          << name << " with " << b << ": " << out;
      bags_verified.insert(b);
    }
  }
  EXPECT_EQ(tables, static_cast<int>(layout::all_tables().size()));
  for (const auto& name : rt::os::list_directory(dir_.path())) {
    const std::string lower = rt::text::lower(name);
    if (lower.size() > 4 && lower.substr(lower.size() - 4) == ".cdx") {
      EXPECT_EQ(bags_verified.count(lower), 1u) << name << " was not verified";
    }
  }
}

TEST(DemoDataRefusal, AFolderWithTablesIsLeftAlone) {
  testing_support::TempDir dir;
  testing_support::write_file(dir.file("compitem.dbf"), "not ours");
  EXPECT_THROW(app::make_demo(dir.path(), kToday), app::DemoError);
  EXPECT_EQ(testing_support::read_file(dir.file("compitem.dbf")), "not ours");
  EXPECT_FALSE(rt::os::file_exists(dir.file("acceso2.dbf")));
}

}  // namespace
