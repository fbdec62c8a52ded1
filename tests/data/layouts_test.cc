#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "data/layouts.h"
#include "data/table_view.h"
#include "tests/support/testing.h"

using namespace layout;

namespace {

std::vector<ActualField> as_on_disk(const TableLayout& t) {
  std::vector<ActualField> out;
  for (const auto& f : t.fields) out.push_back({f.name, f.type, f.length, f.decimals});
  return out;
}

}  // namespace

TEST(Layouts, EveryDeclaredTableIsUsableAsDeclared) {
  std::set<std::string> names;
  for (const auto* t : all_tables()) {
    EXPECT_TRUE(names.insert(t->name).second) << "declared twice: " << t->name;
    EXPECT_TRUE(check_fields(*t, as_on_disk(*t)).empty()) << t->name;
    for (const auto& f : t->fields) {
      EXPECT_LE(std::string(f.name).size(), 10u) << t->name << "." << f.name;
      EXPECT_GE(f.length, f.min_length) << t->name << "." << f.name;
    }
  }
  EXPECT_EQ(find_table("COMPITEM"), &compitem());
  EXPECT_EQ(find_table("nothing"), nullptr);
}

TEST(Layouts, KeysTheStationSeeksWith) {
  // Sale tables are sought with "TK" + STR(number, 6), the check log with
  // STR(number, 6), traceability records by GTIN + serial (34 characters).
  EXPECT_STREQ(compitem().bags.at(0).tags.at(0).key, "COMPTE+STR(NUMERO,6)");
  EXPECT_STREQ(compenca().bags.at(0).tags.at(0).key, "COMPTE+STR(NUMERO,6)");
  EXPECT_STREQ(log_env().bags.at(0).tags.at(0).key, "STR(NUMERO,6)");
  EXPECT_STREQ(traza().bags.at(0).tags.at(1).name, "gtin_s");
  EXPECT_EQ(traza().field("GTIN")->length + traza().field("SERIE")->length, 34);
  ASSERT_EQ(tempo39().bags.at(0).tags.size(), 3u);
  EXPECT_STREQ(tempo39().bags.at(0).tags.at(0).name, "cb");
  EXPECT_STREQ(producto().bags.at(0).tags.at(0).name, "codigo");
  // The product's long description is read as 44 characters of name and the
  // last 24 of presentation.
  EXPECT_GE(producto().field("DESCRIPX")->min_length, 44);
}

TEST(Layouts, CheckNamesTheTableAndFieldOfEveryProblem) {
  auto fields = as_on_disk(producto());
  fields.erase(fields.begin() + 1);  // CODVAR missing
  for (auto& f : fields) {
    if (std::string(f.name) == "CODIGO") f.length = 9;     // a key slice of 7 would no longer match
    if (std::string(f.name) == "TRAZA") f.type = 'N';      // unusable type
    if (std::string(f.name) == "DESCRIPX") f.length = 30;  // too narrow for name + presentation
  }
  const auto problems = check_fields(producto(), fields);
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(problems[0], "table producto, field CODIGO: width 9 where exactly 7 is needed");
  EXPECT_EQ(problems[1], "table producto, field CODVAR: missing");
  EXPECT_EQ(problems[2], "table producto, field DESCRIPX: width 30 where at least 44 is needed");
  EXPECT_EQ(problems[3], "table producto, field TRAZA: type N where C is needed");
}

TEST(Layouts, WiderSuiteFieldsAndFloatNumbersAreAccepted) {
  auto fields = as_on_disk(compitem());
  for (auto& f : fields) {
    if (f.name == "DESCRIP") f.length = 60;
    if (f.name == "CANTID") { f.type = 'F'; f.length = 10; f.decimals = 2; }
  }
  fields.push_back({"PRECIO", 'N', 12, 2});  // fields the station never reads are fine
  EXPECT_TRUE(check_fields(compitem(), fields).empty());
  // Field names match without regard to case.
  fields[0].name = "compte";
  EXPECT_TRUE(check_fields(compitem(), fields).empty());
}

// A view finds its fields wherever and however the suite's table holds them,
// reads and writes them by position, and refuses a table that lacks one.
TEST(TableView, FieldsByTypeInAnyOrderAndCase) {
  testing_support::TempDir dir;
  rt::wa::WorkAreas wa;
  std::vector<rt::table::NewField> fields;
  for (const auto& f : compitem().fields) fields.push_back({f.name, f.type, f.length, f.decimals});
  std::reverse(fields.begin(), fields.end());
  fields.insert(fields.begin() + 2, {"PRECIO", 'N', 12, 2});
  fields.back().name = "compte";
  const std::string path = dir.file("compitem.dbf");
  wa.create(path, fields);
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  ASSERT_TRUE(wa.current().append());
  const View<SaleLine> line = view<SaleLine>(wa);
  line.put_fields({{SaleLine::COMPTE, rt::Value("TK")}, {SaleLine::CANTID, rt::Value(3)}});
  line.put(SaleLine::DESCRIP, rt::Value("ASPIRINA"));
  EXPECT_EQ(line.text(SaleLine::COMPTE), "TK");
  EXPECT_EQ(wa.current().get("CANTID").number(), 3);
  EXPECT_EQ(line.number(SaleLine::CANTID), 3);
  EXPECT_EQ(line.flag(SaleLine::ANULA), ' ');
  EXPECT_EQ(area_of<SaleLine>(wa), 1);
  EXPECT_EQ(area_of<Product>(wa), 0);
  wa.close_all();

  fields.erase(fields.begin());  // no ANULA
  const std::string short_path = dir.file("short.dbf");
  wa.create(short_path, fields);
  wa.select_area(0);
  ASSERT_TRUE(wa.use(short_path));
  EXPECT_THROW(View<SaleLine>{wa.current()}, rt::wa::WorkAreaError);
}
