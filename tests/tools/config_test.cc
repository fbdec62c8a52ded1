// GET_INI, GET_NUM and GEN_DESCX over tables made with the engine.
#include <gtest/gtest.h>

#include "runtime/cdx/bag.h"
#include "runtime/os/counting_env.h"
#include "runtime/text/convert.h"
#include "table_rig.h"
#include "tests/console/console_test_util.h"
#include "tools/config.h"

using namespace toolstest;
using rt::Value;

namespace {

struct IniEntry {
  std::string variable;
  double branch;
  std::string value;
};

// The configuration table and its bag "ini" with the tag on
// UPPER(VARIABLE)+STR(SUCURSAL,2), as the suite keeps them.
void make_ini(const WorkFolder& folder, const std::vector<IniEntry>& entries) {
  std::vector<Row> rows;
  for (const auto& e : entries) rows.push_back({Value(e.variable), Value(e.branch), Value(e.value)});
  make_table(folder.file("ini.dbf"), {{"VARIABLE", 'C', 15, 0}, {"SUCURSAL", 'N', 2, 0}, {"VALOR", 'C', 60, 0}},
             rows);
  auto bag = rt::cdx::Bag::create(folder.file("ini.cdx"));
  rt::cdx::KeyList keys(17);
  std::uint32_t recno = 0;
  for (const auto& e : entries) {
    keys.add(rt::text::upper(rt::text::pad_right(e.variable, 15)) + rt::text::str(e.branch, 2), ++recno);
  }
  rt::cdx::TagDefinition spec;
  spec.name = "VARIABLE";
  spec.key_expr = "UPPER(VARIABLE)+STR(SUCURSAL,2)";
  spec.key_length = 17;
  bag->build_tag(spec, keys);
}

const std::vector<IniEntry> kSettings = {
    {"traza", 0, "  S  "},        {"chk_env2_dep", 0, "x"}, {"TRAZA", 5, "N"},
    {"compte_tz", 0, "   "},      {"NOMBRE_LARGO_DE", 0, "largo"}, {"otro", 12, "doce"},
};

}  // namespace

TEST(GetIni, LooksUpByUpperCaseNameAndBranchWithDefaults) {
  WorkFolder folder;
  rt::wa::WorkAreas wa{folder.env()};
  EXPECT_EQ(tools::get_ini(wa, "traza", "0", "N"), "N");  // no ini.dbf: the default at once
  EXPECT_EQ(tools::get_ini(wa, "traza", "0"), "");
  EXPECT_TRUE(wa.alias().empty());

  make_ini(folder, kSettings);
  for (const char* name : {"traza", "Traza", "TRAZA"}) EXPECT_EQ(tools::get_ini(wa, name, "0", "N"), "S") << name;
  EXPECT_EQ(tools::get_ini(wa, "chk_env2_dep", "0", "-1"), "x");
  EXPECT_EQ(tools::get_ini(wa, "compte_tz", "0", "NN"), "NN");    // blank value
  EXPECT_EQ(tools::get_ini(wa, "falta", "0", "def"), "def");      // absent
  EXPECT_EQ(tools::get_ini(wa, "falta", "0"), "");
  EXPECT_EQ(tools::get_ini(wa, "traza", "5", "?"), "N");          // branch " 5"
  EXPECT_EQ(tools::get_ini(wa, "traza", "01", "?"), "S");         // begins with 0: branch " 0"
  EXPECT_EQ(tools::get_ini(wa, "traza", "7", "?"), "?");
  EXPECT_EQ(tools::get_ini(wa, "otro", "12", "?"), "doce");
  EXPECT_EQ(tools::get_ini(wa, "otro", "123", "?"), "?");         // "**" finds nothing
  EXPECT_EQ(tools::get_ini(wa, "nombre_largo_de_mas", "0", "?"), "largo");  // first 15 characters
}

// Several settings come from one open of the table and its bag, both
// through the work areas' Env (the bag went through the default Env).
TEST(GetIni, SeveralSettingsInOneLookupThroughTheWorkAreasEnv) {
  WorkFolder folder;
  make_ini(folder, kSettings);
  rt::os::CountingEnv counting(folder.env());
  rt::wa::WorkAreas wa(counting);
  std::string problem;
  EXPECT_EQ(tools::get_ini(wa, {{"traza", "0", "N"}, {"falta", "0", "def"}, {"otro", "12", "?"}}, &problem),
            (std::vector<std::string>{"S", "def", "doce"}));
  EXPECT_EQ(problem, "");
  const rt::os::CallCounts& calls = counting.calls();
  for (const char* file : {"ini.dbf", "ini.cdx"}) {
    const auto it = calls.by_file.find(file);
    ASSERT_NE(it, calls.by_file.end()) << file << ": " << calls.text(true);
    EXPECT_EQ(it->second[static_cast<int>(rt::os::Call::Open)], 1u) << file << ": " << calls.text(true);
  }
}

TEST(GetIni, CallersWorkAreaIsSelectedAgainWithItsPosition) {
  WorkFolder folder;
  make_ini(folder, kSettings);
  make_table(folder.file("otra.dbf"), {{"N", 'N', 3, 0}}, {{Value(1.0)}, {Value(2.0)}, {Value(3.0)}});
  rt::wa::WorkAreas wa{folder.env()};
  wa.select_area(2);
  ASSERT_TRUE(wa.use("otra"));
  wa.current().go(3);
  wa.select_area(1);
  ASSERT_TRUE(wa.use("otra", {"OTRA1"}));
  wa.current().go(2);
  EXPECT_EQ(tools::get_ini(wa, "traza", "0", "N"), "S");
  EXPECT_EQ(wa.current_number(), 1);
  EXPECT_EQ(wa.current().recno(), 2u);
  wa.select_area(2);
  EXPECT_EQ(tools::get_num(wa, "SU"), 0);  // no numeros: 0
  EXPECT_EQ(wa.current_number(), 2);
  EXPECT_EQ(wa.current().recno(), 3u);
  EXPECT_EQ(wa.select("ini"), 0);
}

// When "ini.dbf" is there but its bag is missing or damaged, or the table
// itself cannot be read, the station gets its defaults instead of failing.
TEST(GetIni, UnreadableTableOrBagGivesTheDefault) {
  WorkFolder folder;
  rt::wa::WorkAreas wa{folder.env()};
  // The default, and what is wrong for the start-up's notice.
  const auto unreadable = [&wa](const char* why) {
    std::string problem;
    EXPECT_EQ(tools::get_ini(wa, "traza", "0", "N", &problem), "N") << why;
    EXPECT_NE(problem, "") << why;
    EXPECT_TRUE(wa.alias().empty()) << why;
  };
  make_ini(folder, kSettings);
  std::string problem;
  ASSERT_EQ(tools::get_ini(wa, "traza", "0", "N", &problem), "S");
  EXPECT_EQ(problem, "");

  std::filesystem::remove(folder.file("ini.cdx"));
  unreadable("bag missing");
  testing_support::write_file(folder.file("ini.cdx"), std::string(1024, '\xFF'));
  unreadable("bag damaged");
  testing_support::write_file(folder.file("ini.cdx"), "");
  unreadable("bag empty");

  make_ini(folder, kSettings);
  {
    OtherStation other(folder.path(), "ini.dbf");  // held exclusively elsewhere
    unreadable("held exclusively");
  }
  EXPECT_EQ(tools::get_ini(wa, "traza", "0", "N"), "S");

  testing_support::write_file(folder.file("ini.dbf"), "not a table");
  unreadable("not a table");

  // A table without the VALOR field.
  make_table(folder.file("ini.dbf"), {{"VARIABLE", 'C', 15, 0}, {"SUCURSAL", 'N', 2, 0}},
             {{Value(std::string("traza")), Value(0.0)}});
  unreadable("no VALOR");

  std::filesystem::remove(folder.file("ini.dbf"));
  problem.clear();
  EXPECT_EQ(tools::get_ini(wa, "traza", "0", "N", &problem), "N");
  EXPECT_EQ(problem, "") << "no configuration table: the defaults, nothing wrong";
}

TEST(GetNum, FirstEntryOfTheKindInPhysicalOrderDeletedOnesIncluded) {
  WorkFolder folder;
  make_table(folder.file("numeros.dbf"), {{"TICO", 'C', 4, 0}, {"NUCOM", 'N', 8, 0}},
             {{Value(std::string("FA")), Value(1.0)},
              {Value(std::string("SUXY")), Value(7.0)},
              {Value(std::string("SU")), Value(3.0)}},
             {false, true, false});
  rt::wa::WorkAreas wa{folder.env()};
  EXPECT_EQ(tools::get_num(wa, "SU"), 7);
  EXPECT_EQ(tools::get_num(wa, "FA"), 1);
  EXPECT_EQ(tools::get_num(wa, "ZZ"), 0);
  EXPECT_TRUE(wa.alias().empty());
  EXPECT_EQ(wa.select("numeros"), 0);
}

TEST(GenDescx, NameAndPresentationIn69Characters) {
  WorkFolder folder;
  const std::string name = rt::text::pad_right("ASPIRINA 500", 44);
  const std::string pres = rt::text::pad_right("  X 20 COMPRIMIDOS", 24);
  const std::string full(44, 'N');
  make_table(folder.file("producto.dbf"), {{"DESCRIPX", 'C', 68, 0}},
             {{Value(name + pres)}, {Value(full + std::string(24, 'P'))}, {Value(std::string())}});
  rt::wa::WorkAreas wa{folder.env()};
  ASSERT_TRUE(wa.use("producto"));
  wa.current().go(1);
  EXPECT_EQ(tools::gen_descx(wa), rt::text::pad_right("ASPIRINA 500 X 20 COMPRIMIDOS", 69));
  wa.current().go(2);
  EXPECT_EQ(tools::gen_descx(wa), full + " " + std::string(24, 'P'));
  wa.current().go(3);
  EXPECT_EQ(tools::gen_descx(wa), std::string(69, ' '));

  wa.select_area(0);
  ASSERT_TRUE(wa.use("producto", {"OTRO"}));
  wa.current().go(1);
  EXPECT_EQ(tools::gen_descx(wa, "OTRO").substr(0, 29), "ASPIRINA 500 X 20 COMPRIMIDOS");
}
