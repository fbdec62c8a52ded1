#include "app/demo_data.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/product_rules.h"
#include "data/layouts.h"
#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/workareas.h"
#include "tools/passwords.h"
#include "tools/text_tools.h"

namespace app {
namespace {

using rt::Value;
using Fields = std::map<std::string, Value>;

std::string dbf_path(const std::string& dir, const layout::TableLayout& t) {
  return rt::os::join_path(dir, std::string(t.name) + ".dbf");
}

std::vector<rt::table::FieldSpec> fields_of(const layout::TableLayout& t) {
  std::vector<rt::table::FieldSpec> out;
  for (const auto& f : t.fields) out.push_back({f.name, f.type, f.length, f.decimals});
  return out;
}

// EAN-13 barcode: twelve digits and their check digit.
double ean13(long long twelve) {
  const std::string d = rt::text::pad_right(std::to_string(twelve), 12);
  int sum = 0;
  for (int i = 0; i < 12; ++i) sum += (d[i] - '0') * (i % 2 ? 3 : 1);
  return static_cast<double>(twelve * 10 + (10 - sum % 10) % 10);
}

// One table being filled through a work area opened exclusively.
class Writer {
 public:
  Writer(rt::wa::WorkAreas& wa, const std::string& dir, const layout::TableLayout& spec) : spec_(spec) {
    const std::string path = dbf_path(dir, spec);
    wa.create(path, fields_of(spec));
    wa.select_area(0);
    if (!wa.use(path, {.alias = "", .exclusive = true, .readonly = false}))
      throw DemoError(std::string("cannot open the new table ") + spec.name + " exclusively");
    area_ = &wa.current();
  }
  // Appends one record; with `checksum` CRC_31 is computed over it.
  // Changes a field of the record appended last.
  void put(const std::string& name, const Value& value) { area_->put(name, value); }
  Value get(const std::string& name) { return area_->get(name); }
  void add(const Fields& values, bool checksum = false) {
    if (!area_->append()) throw DemoError(std::string("cannot append to ") + spec_.name);
    for (const auto& [name, value] : values) area_->put(name, value);
    if (checksum) {
      std::vector<tools::ChecksumField> rec;
      for (const auto& f : spec_.fields) rec.push_back({f.name, f.type, f.length, f.decimals, area_->get(f.name)});
      area_->put("CRC_31", Value(static_cast<double>(tools::crc_31(rec))));
    }
  }

 private:
  const layout::TableLayout& spec_;
  rt::wa::Area* area_ = nullptr;
};

// Every bag of the table, built from its records.
void build_bags(const std::string& dir, const layout::TableLayout& spec) {
  if (&spec == &layout::tempo39()) return;  // the template: each check table builds its own bag
  if (spec.bags.empty()) return;
  rt::table::OpenOptions o;
  o.share = rt::table::Share::Exclusive;
  auto table = rt::table::Table::open(dbf_path(dir, spec), o);
  for (const auto& b : spec.bags) {
    const std::string file = *b.file ? b.file : spec.name;
    auto bag = rt::cdx::Bag::create(rt::os::join_path(dir, file + std::string(".cdx")), file == std::string(spec.name));
    for (const auto& tag : b.tags) rt::cdx::index_table(*bag, *table, {tag.name, tag.key, tag.condition});
  }
}

struct Product {
  const char* code;
  long long barcode12;
  const char* name;
  const char* presentation;
  const char* quality;  // CALIDAD_CB
  const char* trace;    // TRAZA
  const char* forced;   // TRAZA_F
};

const Product kProducts[] = {
    {"0000101", 779000000101, "IBUPROFENO 400", "COMP. X 20", "", "N", "N"},
    {"0000102", 779000000102, "AMOXICILINA 500", "CAPS. X 16", "", "S", ""},
    {"0000103", 779000000103, "PARACETAMOL 1 G", "COMP. X 10", "", "", ""},
    {"0000104", 779000000104, "CLONAZEPAM 2 MG", "COMP. X 30", "", "N", "S"},
    {"0000105", 779000000105, "ALGODON HIDROFILO", "PAQ. X 140 G", "M", "N", "N"},
    {"0000106", 779000000106, "ENOXAPARINA 40 MG", "JER. X 2", "", "S", "N"},
    {"0000107", 779000000107, "LORATADINA 10 MG", "COMP. X 10", "", "N", "N"},
};

const Product& product(const std::string& code) {
  for (const auto& p : kProducts)
    if (code == p.code) return p;
  throw DemoError("demo product " + code + " is not declared");
}

std::string descripx(const Product& p) {
  return rt::text::pad_right(p.name, 44) + rt::text::pad_right(p.presentation, 24);
}

struct Line {
  int ticket;
  const char* code;
  int quantity;
  const char* bono = "";
  int depto = 0;
  const char* anula = "";
};

const Line kLines[] = {
    {demo::kTicket, "0000101", 2},
    {demo::kTicket, "0000102", 2},
    {demo::kTicket, "0000103", 1},
    {demo::kCancelledTicket, "0000107", 1, "", 0, "S"},
    {demo::kCheckedTicket, "0000101", 1},
    {demo::kCheckedTicket, "0000107", 3},
    {demo::kNoScanTicket, "0000105", 1, "@"},
    {demo::kNoScanTicket, "0000103", 2},
    {demo::kDepartmentTicket, "0000101", 1, "", 1},
    {demo::kDepartmentTicket, "0000104", 1, "", 2},
    {demo::kDepartmentTicket, "0000106", 1, "", 2},
};

void write_tables(const std::string& dir, rt::text::Date today) {
  rt::wa::WorkAreas wa;
  const Value date(today);
  const Value hour("10:15:00");
  const auto seller_record = [](int num, const char* name, const char* password, const char* profiles,
                                const std::string& items) {
    return Fields{{"NUM", Value(num)},
                  {"NOMBRE", Value(name)},
                  {"CLAVE", Value(tools::cripta(password))},
                  {"PERFILES", Value(profiles)},
                  {"ITEMS", Value(items)},
                  {"SUC_HABI", Value("")},
                  {"HABI_CAJ", Value("S")}};
  };
  {
    Writer w(wa, dir, layout::rotulo());
    for (const char* line : {"FARMACIA DEMO", "AV. SIEMPRE VIVA 742", "CUIT 30-12345678-9", "IVA RESP. INSCRIPTO",
                             "GRACIAS POR SU COMPRA"})
      w.add({{"ROTULO", Value(line)}});
  }
  {
    Writer w(wa, dir, layout::acceso2());
    w.add(seller_record(demo::kSeller, "GOMEZ MARIA", demo::kSellerPassword, "A", std::string(121, 'X')), true);
    w.add(seller_record(demo::kSellerNoPassword, "PEREZ JUAN", "", "B", std::string(10, 'X')), true);
    w.add(seller_record(12, "RODRIGUEZ ANA", "4321", "S", std::string(121, 'X')), true);
    // A record whose checksum no longer matches its content.
    w.add(seller_record(demo::kSellerBadChecksum, "LOPEZ ROTO", demo::kBadChecksumPassword, "A", std::string(121, 'X')),
          true);
    w.put("CRC_31", Value(w.get("CRC_31").number() + 1));
    Fields other_branch =
        seller_record(demo::kSellerOtherBranch, "DIAZ OTRA SUC", demo::kOtherBranchPassword, "A", std::string(121, 'X'));
    other_branch["SUC_HABI"] = Value("0509");
    w.add(other_branch, true);
    w.add(seller_record(demo::kSellerNoRights, "SOSA NUEVO", "", "", ""), true);
    w.add(seller_record(demo::kAuthoriserByProfile, "BENITEZ SUPERV", demo::kAuthoriserByProfilePassword, "S", ""),
          true);
    w.add(seller_record(demo::kAuthoriserNoProfile, "ACOSTA CAJA", demo::kAuthoriserNoProfilePassword, "B", ""), true);
  }
  {
    Writer w(wa, dir, layout::acceso());
    w.add({{"TAREA", Value(0)}, {"DESCRIP", Value("0000CLAVE MAESTRA")}, {"PALABRA", Value(tools::cripta(demo::kMasterPassword))}},
          true);
    w.add({{"TAREA", Value(1)}, {"DESCRIP", Value("0001ANULAR CONTROL")}, {"PERFIL_A", Value("X")}, {"PERFIL_S", Value("X")}},
          true);
    w.add({{"TAREA", Value(2)}, {"DESCRIP", Value("0002DEVOLUCION")}, {"PERFIL_S", Value("X")}}, true);
    w.add({{"TAREA", Value(109)},
           {"DESCRIP", Value("0109CAMBIO DE CLAVE PROPIA")},
           {"PALABRA", Value(tools::cripta(demo::kTask109Password))},
           {"PERFIL_A", Value("X")},
           {"PERFIL_S", Value("X")}},
          true);
    w.add({{"TAREA", Value(120)},
           {"DESCRIP", Value("0120CIERRE DEL PROGRAMA")},
           {"PALABRA", Value(tools::cripta(demo::kTask120Password))},
           {"PERFIL_S", Value("X")}},
          true);
    w.add({{"TAREA", Value(121)},
           {"DESCRIP", Value("0121SALIDA CON DIFERENCIAS")},
           {"PALABRA", Value(tools::cripta(demo::kTask121Password))},
           {"PERFIL_S", Value("X")}},
          true);
    w.add({{"TAREA", Value(demo::kTaskBadChecksum)}, {"DESCRIP", Value("0130TAREA DA\xA5" "ADA")}}, true);
    w.put("CRC_31", Value(w.get("CRC_31").number() + 3));
    w.add({{"TAREA", Value(demo::kTaskNoPassword)}, {"DESCRIP", Value("0131SIN CLAVE")}}, true);
  }
  {
    Writer w(wa, dir, layout::producto());
    for (const auto& p : kProducts)
      w.add({{"CODIGO", Value(p.code)},
             {"CODVAR", Value(ean13(p.barcode12))},
             {"CODPROD", Value(rt::text::trim(rt::text::str(ean13(p.barcode12), 13)))},
             {"DESCRIP", Value(p.name)},
             {"DESCRIPX", Value(descripx(p))},
             {"CALIDAD_CB", Value(p.quality)},
             {"TRAZA", Value(p.trace)},
             {"TRAZA_F", Value(p.forced)}});
  }
  {
    Writer w(wa, dir, layout::compenca());
    int fiscal = 5001;
    for (int t : {demo::kTicket, demo::kCancelledTicket, demo::kCheckedTicket, demo::kNoScanTicket,
                  demo::kDepartmentTicket})
      w.add({{"COMPTE", Value("TK")},
             {"NUMERO", Value(t)},
             {"VENDEDOR", Value(demo::kSeller)},
             {"FECHA", date},
             {"HORAX", hour},
             {"PTO_VTA", Value(2)},
             {"NU_FISCAL", Value(fiscal++)}});
  }
  {
    Writer w(wa, dir, layout::compitem());
    for (const auto& l : kLines)
      w.add({{"COMPTE", Value("TK")},
             {"NUMERO", Value(l.ticket)},
             {"CODIGO", Value(l.code)},
             {"CANTID", Value(l.quantity)},
             {"DESCRIP", Value(product(l.code).name)},
             {"BONO", Value(l.bono)},
             {"DEPTO", Value(l.depto)},
             {"ANULA", Value(l.anula)}});
  }
  {
    Writer w(wa, dir, layout::log_env());
    for (const auto& l : kLines) {
      if (l.ticket != demo::kCheckedTicket) continue;
      const Product& p = product(l.code);
      w.add({{"NUMERO", Value(l.ticket)},
             {"CODIGO", Value(l.code)},
             {"CANTID", Value(l.quantity)},
             {"CANT_CHK", Value(l.quantity)},
             {"DESCRIP", Value(p.name)},
             {"CB", Value(ean13(p.barcode12))},
             {"CP", Value(rt::text::trim(rt::text::str(ean13(p.barcode12), 13)))},
             {"TRAZA", Value(p.trace)},
             {"VENDEDOR", Value(demo::kSeller)},
             {"FECHA_VTA", date},
             {"HORA_VTA", hour},
             {"FECHA_CHK", date},
             {"HORA_CHK", Value("10:20:00")},
             {"VEND_CHK", Value(demo::kSeller)}});
    }
  }
  {
    // One record per unit of every traceable line, waiting to be filled.
    Writer w(wa, dir, layout::traza());
    for (const auto& l : kLines) {
      const Product& p = product(l.code);
      // A blank flag is stored as a blank character.
      const auto flag = [](const char* f) { return *f ? *f : ' '; };
      if (!is_traceable(flag(p.trace), flag(p.forced))) continue;
      if (*l.anula) continue;
      const double barcode = ean13(p.barcode12);
      for (int unit = 0; unit < l.quantity; ++unit)
        w.add({{"FECHA", date},
               {"HORA", hour},
               {"COMPTE_INT", Value("TK")},
               {"NUMERO_INT", Value(l.ticket)},
               {"COD_PROV", Value("7790000000011")},
               {"TICOMPTE", Value("FA")},
               {"NUCOMPTE", Value("0002-00012345")},
               {"FEC_COMPTE", date},
               {"EVENTO", Value(111)},
               {"NOM_EVENTO", Value("DISPENSACION DEL PRODUCTO AL PACIENTE")},
               {"GLN_FAR", Value("7790000099990")},
               {"CUIT_FAR", Value("30123456789")},
               {"GLN_PROV", Value("7790000000011")},
               {"CUIT_PROV", Value("30987654321")},
               {"COD_BAR", Value(barcode)},
               {"GTIN", Value(tools::str_0(barcode, 14))},
               {"ID_OS", Value(101)},
               {"NUM_AFI", Value("123456789012")}});
    }
    // Units the pharmacy received earlier (a purchase invoice, handled by the
    // suite's reception program), so that the DataMatrix codes of the demo
    // find their serial, lot and expiry in the traceability table.
    for (const auto& u : demo::kReceivedUnits)
      w.add({{"FECHA", date},
             {"HORA", Value("09:00:00")},
             {"COMPTE_INT", Value("FA")},
             {"NUMERO_INT", Value(12345)},
             {"COD_PROV", Value("7790000000011")},
             {"TICOMPTE", Value("FA")},
             {"NUCOMPTE", Value("0002-00012345")},
             {"FEC_COMPTE", date},
             {"EVENTO", Value(1)},
             {"NOM_EVENTO", Value("RECEPCION DEL PRODUCTO EN LA FARMACIA")},
             {"GLN_FAR", Value("7790000099990")},
             {"CUIT_FAR", Value("30123456789")},
             {"GLN_PROV", Value("7790000000011")},
             {"CUIT_PROV", Value("30987654321")},
             {"COD_BAR", Value(ean13(product(u.code).barcode12))},
             {"GTIN", Value(tools::str_0(ean13(product(u.code).barcode12), 14))},
             {"SERIE", Value(u.serial)},
             {"LOTE", Value(u.lot)},
             {"VENC", Value(*rt::text::Date::from_ymd(u.expiry_year, u.expiry_month, u.expiry_day))},
             {"ARCH_ASO", Value("RECEPCION")}});
  }
  {
    Writer w(wa, dir, layout::datosfar());
    w.add({{"GLN", Value("7790000099990")}, {"CUIT", Value("30123456789")}});
  }
  {
    Writer w(wa, dir, layout::datoafi());
    w.add({{"COMPTE", Value("TK")}, {"NUMERO", Value(demo::kTicket)}, {"NROAFIL", Value("123456789012")},
           {"DOCUMENTO", Value("20111222")}});
  }
  {
    Writer w(wa, dir, layout::ini());
    w.add({{"VARIABLE", Value("traza")}, {"SUCURSAL", Value(0)}, {"VALOR", Value("S")}});
    w.add({{"VARIABLE", Value("compte_tz")}, {"SUCURSAL", Value(0)}, {"VALOR", Value("FD")}});
  }
  {
    Writer w(wa, dir, layout::numeros());
    w.add({{"TICO", Value("TK")}, {"NUCOM", Value(demo::kDepartmentTicket)}});
    w.add({{"TICO", Value("SU")}, {"NUCOM", Value(demo::kBranch)}});
  }
  {
    Writer w(wa, dir, layout::cb());
    w.add({{"CODBARRA", Value("7791234567898")}, {"CODIGO", Value(103)}});
  }
  {
    Writer w(wa, dir, layout::fec_sys());
    w.add({{"FECHA", date}});
  }
  { Writer w(wa, dir, layout::tempo39()); }
  wa.close_all();
}

}  // namespace

void make_demo(const std::string& dir, rt::text::Date today) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !rt::os::is_directory(dir)) throw DemoError("cannot create the folder " + dir + ": " + ec.message());
  for (const auto* t : layout::all_tables())
    if (rt::os::find_file_nocase(dir, std::string(t->name) + ".dbf"))
      throw DemoError("the folder " + dir + " already holds the table " + t->name +
                      "; the demo is written only into a folder without the station's tables");
  try {
    write_tables(dir, today);
    for (const auto* t : layout::all_tables()) build_bags(dir, *t);
  } catch (const DemoError&) {
    throw;
  } catch (const std::exception& e) {
    throw DemoError("cannot write the demo tables in " + dir + ": " + e.what());
  }
}

}  // namespace app
