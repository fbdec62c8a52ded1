// Opening a table of the suite for use: NETUSE, the field check against the
// table's layout and its order bags.  A table that is missing, lacks a field,
// has a field of the wrong type or lacks its bag is refused with a message
// box naming table and field; the work area is left empty and the table's
// bytes are untouched.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/layouts.h"
#include "runtime/workarea/orders.h"
#include "screen_expect.h"
#include "table_rig.h"
#include "tests/console/console_test_util.h"
#include "tools/shared_open.h"

using namespace toolstest;
namespace key = rt::con::key;

namespace {

// The fields of a layout as a table of the suite would have them, with one
// field changed (`change` returns false to leave the field out).
template <typename Change>
std::vector<rt::table::NewField> fields_of(const layout::TableLayout& spec, Change change) {
  std::vector<rt::table::NewField> out;
  for (const auto& f : spec.fields) {
    rt::table::NewField field{f.name, f.type, f.length, f.decimals};
    if (change(field)) out.push_back(field);
  }
  return out;
}
std::vector<rt::table::NewField> fields_of(const layout::TableLayout& spec) {
  return fields_of(spec, [](rt::table::NewField&) { return true; });
}

// Builds the table's own bag with one tag, as the suite's programs do.
void make_bag(rt::os::Env& folder, const std::string& table, const std::string& tag, const std::string& expr) {
  rt::wa::WorkAreas wa(folder);
  rt::wa::OpenOptions o;
  o.exclusive = true;
  wa.use(table, o);
  rt::wa::create_order(wa.current(), tag, expr);
  wa.close_all();
}

struct Rig : contest::Rig {
  WorkFolder folder;
  rt::wa::WorkAreas wa{folder.env()};
  std::string problem;
  std::string box_row;  // row 12 while the message box was up
  Rig() {
    fill_pattern(con());
    con().set_color("w/n");
  }
  void make_compenca(const std::vector<rt::table::NewField>& fields) {
    make_table(folder.file("compenca.dbf"), fields, {});
  }
  // Opens through the helper; while a message box waits for its key, row 12
  // is noted.
  bool open(const layout::TableLayout& spec, const std::string& file = "") {
    box_row.clear();
    if (script().pending() == 0) script().then([this] { box_row = text(12, 0, 80); });
    return tools::open_checked(con(), wa, spec, file, &problem);
  }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(OpenChecked, AUsableTableOpensWithItsBagAndShowsNothing) {
  Rig rig;
  rig.make_compenca(fields_of(layout::compenca()));
  {
    rt::wa::WorkAreas wa{rig.folder.env()};
    wa.use("compenca");
    for (double n : {7.0, 3.0}) {
      wa.current().append();
      wa.current().put("COMPTE", rt::Value(std::string("TK")));
      wa.current().put("NUMERO", rt::Value(n));
    }
    wa.close_all();
  }
  make_bag(rig.folder.env(), "compenca", "compte", "COMPTE+STR(NUMERO,6)");
  const Expected before(rig.con().screen());
  rig.wa.select_area(3);
  ASSERT_TRUE(rig.open(layout::compenca())) << rig.problem;
  EXPECT_EQ(diff(rig.con().screen(), before), "");
  EXPECT_EQ(rig.box_row, "");  // no message box
  EXPECT_EQ(rig.wa.current_number(), 3);
  EXPECT_EQ(rt::wa::focus(rig.wa.current()), "COMPTE");
  EXPECT_EQ(rig.wa.current().get("NUMERO").number(), 3);  // at the top of the tag
  EXPECT_TRUE(rt::wa::seek(rig.wa.current(), rt::Value(std::string("TK     7"))));
}

TEST(OpenChecked, ATableLackingAFieldIsRefusedNamingTableAndField) {
  Rig rig;
  rig.make_compenca(fields_of(layout::compenca(), [](auto& f) { return f.name != "NU_FISCAL"; }));
  make_bag(rig.folder.env(), "compenca", "compte", "COMPTE+STR(NUMERO,6)");
  const std::string bytes = testing_support::read_file(rig.folder.file("compenca.dbf"));
  const Expected before(rig.con().screen());
  EXPECT_FALSE(rig.open(layout::compenca()));
  EXPECT_TRUE(contains(rig.box_row, "compenca")) << rig.box_row;
  EXPECT_TRUE(contains(rig.box_row, "Tabla compenca: Falta El Campo NU_FISCAL!!!")) << rig.box_row;
  EXPECT_TRUE(contains(rig.problem, "NU_FISCAL: missing")) << rig.problem;
  EXPECT_EQ(diff(rig.con().screen(), before), "");  // the box is gone again
  EXPECT_TRUE(rig.wa.alias().empty());
  EXPECT_EQ(testing_support::read_file(rig.folder.file("compenca.dbf")), bytes);
}

TEST(OpenChecked, AFieldOfTheWrongTypeOrTooNarrowIsRefused) {
  Rig rig;
  rig.make_compenca(fields_of(layout::compenca(), [](auto& f) {
    if (f.name == "NUMERO") f = {"NUMERO", 'C', 6, 0};
    if (f.name == "FECHA") f = {"FECHA", 'C', 8, 0};
    return true;
  }));
  EXPECT_FALSE(rig.open(layout::compenca()));
  EXPECT_TRUE(contains(rig.box_row, "Campo NUMERO De Tipo O Largo Incorrecto!!!")) << rig.box_row;
  // Every problem is handed to the caller, the first one shown.
  EXPECT_TRUE(contains(rig.problem, "field NUMERO: type C where N is needed")) << rig.problem;
  EXPECT_TRUE(contains(rig.problem, "field FECHA: type C where D is needed")) << rig.problem;
  EXPECT_TRUE(rig.wa.alias().empty());

  // A key slice of fixed width: CODIGO of the products must be exactly 7.
  make_table(rig.folder.file("producto.dbf"), fields_of(layout::producto(), [](auto& f) {
               if (f.name == "CODIGO") f.length = 13;
               return true;
             }),
             {});
  EXPECT_FALSE(rig.open(layout::producto()));
  EXPECT_TRUE(contains(rig.box_row, "producto")) << rig.box_row;
  EXPECT_TRUE(contains(rig.problem, "CODIGO: width 13 where exactly 7")) << rig.problem;
}

TEST(OpenChecked, AMissingTableOrBagIsNamed) {
  Rig rig;
  tools::RefusalLog refusals(rig.con());
  EXPECT_FALSE(rig.open(layout::traza()));
  EXPECT_TRUE(contains(rig.box_row, "Tabla traza No Disponible!!! (No Existe)")) << rig.box_row;
  EXPECT_TRUE(rig.wa.alias().empty());
  EXPECT_FALSE(std::filesystem::exists(rig.folder.file("traza.dbf")));  // nothing created

  rig.make_compenca(fields_of(layout::compenca()));
  EXPECT_FALSE(rig.open(layout::compenca()));
  EXPECT_TRUE(contains(rig.box_row, "Tabla compenca: \xD6ndice compenca.cdx No Disponible!!!")) << rig.box_row;
  EXPECT_TRUE(contains(rig.problem, "order bag compenca.cdx")) << rig.problem;
  EXPECT_TRUE(rig.wa.alias().empty());
  EXPECT_FALSE(std::filesystem::exists(rig.folder.file("compenca.cdx")));

  // A header counting records a crash kept from the disk: the operator is
  // told which tool mends it, and nothing is written.
  std::string bytes = testing_support::read_file(rig.folder.file("compenca.dbf"));
  bytes[4] = 3;
  testing_support::write_file(rig.folder.file("compenca.dbf"), bytes);
  EXPECT_FALSE(rig.open(layout::compenca()));
  EXPECT_TRUE(contains(rig.box_row, "Ejecutar dbftool repair compenca.dbf")) << rig.box_row;
  EXPECT_TRUE(contains(rig.problem, "header announces 3 records")) << rig.problem;
  EXPECT_EQ(testing_support::read_file(rig.folder.file("compenca.dbf")), bytes);

  // A file that is no table at all.
  testing_support::write_file(rig.folder.file("rotulo.dbf"), "not a table");
  EXPECT_FALSE(rig.open(layout::rotulo()));
  EXPECT_TRUE(contains(rig.box_row, "Tabla rotulo No Disponible!!! (Archivo rotulo.dbf Da\xA4" "ado)"))
      << rig.box_row;
  EXPECT_TRUE(contains(rig.problem, "cannot be opened")) << rig.problem;
  EXPECT_EQ(testing_support::read_file(rig.folder.file("rotulo.dbf")), "not a table");
  // Every refusal is noted for the command line's report.
  ASSERT_EQ(refusals.notes().size(), 4u);
  EXPECT_TRUE(contains(refusals.notes()[0], "traza.dbf")) << refusals.notes()[0];
}

TEST(OpenChecked, TheDateTableByItsOwnNameAndEscWhileHeldElsewhere) {
  Rig rig;
  make_table(rig.folder.file("mifecha.dbf"), {{"FECHA", 'D', 8, 0}}, {{rt::Value(*rt::text::Date::from_ymd(2026, 5, 4))}});
  ASSERT_TRUE(rig.open(layout::fec_sys(), "MIFECHA")) << rig.problem;
  EXPECT_EQ(rig.wa.current().get("FECHA").date(), *rt::text::Date::from_ymd(2026, 5, 4));
  rig.wa.close_area();

  OtherStation other(rig.folder.path(), "mifecha.dbf");
  rig.script().keys("abcd").key(key::kEsc);
  const Expected before(rig.con().screen());
  EXPECT_FALSE(rig.open(layout::fec_sys(), "MIFECHA"));
  EXPECT_TRUE(contains(rig.problem, "exclusive use")) << rig.problem;
  EXPECT_EQ(diff(rig.con().screen(), before), "");  // traffic box gone, no message box
  EXPECT_TRUE(rig.wa.alias().empty());
}

// The business date never stops a check: a date table that is missing or
// lacks FECHA is named, and the machine's date stands in.
TEST(OpenChecked, TheBusinessDateFallsBackToTheMachineDateWhenItsTableIsUnusable) {
  Rig rig;
  tools::RefusalLog refusals(rig.con());
  make_table(rig.folder.file("compenca.dbf"), fields_of(layout::compenca()), {});
  ASSERT_TRUE(rig.wa.use("compenca"));
  const int area = rig.wa.current_number();
  const rt::text::Date machine = rig.con().clock().now().date;
  const Expected before(rig.con().screen());

  rig.script().then([&] { rig.box_row = rig.text(12, 0, 80); });
  EXPECT_EQ(tools::date1(rig.con(), rig.wa, "FEC_SYS"), machine);
  EXPECT_TRUE(contains(rig.box_row, "Tabla FEC_SYS No Disponible!!! (No Existe)")) << rig.box_row;
  EXPECT_EQ(rig.wa.current_number(), area);
  EXPECT_EQ(diff(rig.con().screen(), before), "");

  make_table(rig.folder.file("fec_sys.dbf"), {{"FECHAX", 'D', 8, 0}},
             {{rt::Value(*rt::text::Date::from_ymd(2020, 1, 1))}});
  rig.box_row.clear();
  rig.script().then([&] { rig.box_row = rig.text(12, 0, 80); });
  EXPECT_EQ(tools::date1(rig.con(), rig.wa, "FEC_SYS"), machine);
  EXPECT_TRUE(contains(rig.box_row, "Tabla FEC_SYS: Falta El Campo FECHA!!!")) << rig.box_row;
  EXPECT_EQ(rig.wa.current_number(), area);
  EXPECT_EQ(rig.wa.select("FEC_SYS"), 0);
  EXPECT_TRUE(refusals.notes().empty()) << "the machine's date stands in: not a failure";
}

}  // namespace
