#include "demodata/demo_data.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/product_rules.h"
#include "data/layouts.h"
#include "data/table_view.h"
#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/workareas.h"
#include "tools/access.h"
#include "tools/passwords.h"
#include "tools/text_tools.h"

namespace app {
namespace {

using rt::Value;

std::string dbf_path(const std::string& dir, const layout::TableLayout& t) {
  return rt::os::join_path(dir, std::string(t.name) + ".dbf");
}

std::vector<rt::table::NewField> fields_of(const layout::TableLayout& t) {
  std::vector<rt::table::NewField> out;
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
template <class T>
class Writer {
 public:
  using Values = typename layout::View<T>::Values;
  Writer(rt::wa::WorkAreas& wa, const std::string& dir) {
    const layout::TableLayout& spec = T::layout();
    const std::string path = dbf_path(dir, spec);
    wa.create(path, fields_of(spec));
    wa.select_area(0);
    if (!wa.use(path, {.alias = "", .exclusive = true, .readonly = false}))
      throw DemoError(std::string("cannot open the new table ") + spec.name + " exclusively");
    view_.emplace(wa.current());
  }
  // Changes a field of the record appended last.
  void put(typename T::Field f, const Value& value) { view_->put(f, value); }
  Value get(typename T::Field f) { return view_->get(f); }
  // Appends one record; with `checksum` (sellers and tasks) CRC_31 is
  // computed over it.
  void add(const Values& values, bool checksum = false) {
    rt::wa::Area& area = view_->area();
    if (!area.append()) throw DemoError(std::string("cannot append to ") + T::layout().name);
    for (const auto& [f, value] : values) view_->put(f, value);
    if constexpr (requires { T::CRC_31; }) {
      if (checksum) put(T::CRC_31, Value(static_cast<double>(tools::get_crc_31(area))));
    }
  }

 private:
  std::optional<layout::View<T>> view_;
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

// The date and hour of the demo's sales.
struct Sale {
  Value date;
  Value hour;
};

using SellerValues = layout::View<layout::Seller>::Values;

SellerValues seller_record(int num, const char* name, const char* password, const char* profiles,
                           const std::string& items) {
  using F = layout::Seller;
  return {{F::NUM, Value(num)},          {F::NOMBRE, Value(name)},   {F::CLAVE, Value(tools::cripta(password))},
          {F::PERFILES, Value(profiles)}, {F::ITEMS, Value(items)},   {F::SUC_HABI, Value("")},
          {F::HABI_CAJ, Value("S")}};
}

// Sets a field of a record about to be written.
template <class Values, class Field>
void set(Values& values, Field f, const Value& v) {
  for (auto& [field, value] : values)
    if (field == f) value = v;
}

void write_labels(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Label;
  Writer<F> w(wa, dir);
  for (const char* line : {"FARMACIA DEMO", "AV. SIEMPRE VIVA 742", "CUIT 30-12345678-9", "IVA RESP. INSCRIPTO",
                           "GRACIAS POR SU COMPRA"})
    w.add({{F::ROTULO, Value(line)}});
}

void write_sellers(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Seller;
  Writer<F> w(wa, dir);
  w.add(seller_record(demo::kSeller, "GOMEZ MARIA", demo::kSellerPassword, "A", std::string(121, 'X')), true);
  w.add(seller_record(demo::kSellerNoPassword, "PEREZ JUAN", "", "B", std::string(10, 'X')), true);
  w.add(seller_record(12, "RODRIGUEZ ANA", "4321", "S", std::string(121, 'X')), true);
  // A record whose checksum no longer matches its content.
  w.add(seller_record(demo::kSellerBadChecksum, "LOPEZ ROTO", demo::kBadChecksumPassword, "A", std::string(121, 'X')),
        true);
  w.put(F::CRC_31, Value(w.get(F::CRC_31).number() + 1));
  auto other_branch =
      seller_record(demo::kSellerOtherBranch, "DIAZ OTRA SUC", demo::kOtherBranchPassword, "A", std::string(121, 'X'));
  set(other_branch, F::SUC_HABI, Value("0509"));
  w.add(other_branch, true);
  w.add(seller_record(demo::kSellerNoRights, "SOSA NUEVO", "", "", ""), true);
  w.add(seller_record(demo::kAuthoriserByProfile, "BENITEZ SUPERV", demo::kAuthoriserByProfilePassword, "S", ""),
        true);
  w.add(seller_record(demo::kAuthoriserNoProfile, "ACOSTA CAJA", demo::kAuthoriserNoProfilePassword, "B", ""), true);
}

void write_tasks(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Task;
  Writer<F> w(wa, dir);
  w.add({{F::TAREA, Value(0)}, {F::DESCRIP, Value("0000CLAVE MAESTRA")}, {F::PALABRA, Value(tools::cripta(demo::kMasterPassword))}},
        true);
  w.add({{F::TAREA, Value(1)}, {F::DESCRIP, Value("0001ANULAR CONTROL")}, {F::PERFIL_A, Value("X")}, {F::PERFIL_S, Value("X")}},
        true);
  w.add({{F::TAREA, Value(2)}, {F::DESCRIP, Value("0002DEVOLUCION")}, {F::PERFIL_S, Value("X")}}, true);
  w.add({{F::TAREA, Value(109)},
         {F::DESCRIP, Value("0109CAMBIO DE CLAVE PROPIA")},
         {F::PALABRA, Value(tools::cripta(demo::kTask109Password))},
         {F::PERFIL_A, Value("X")},
         {F::PERFIL_S, Value("X")}},
        true);
  w.add({{F::TAREA, Value(120)},
         {F::DESCRIP, Value("0120CIERRE DEL PROGRAMA")},
         {F::PALABRA, Value(tools::cripta(demo::kTask120Password))},
         {F::PERFIL_S, Value("X")}},
        true);
  w.add({{F::TAREA, Value(121)},
         {F::DESCRIP, Value("0121SALIDA CON DIFERENCIAS")},
         {F::PALABRA, Value(tools::cripta(demo::kTask121Password))},
         {F::PERFIL_S, Value("X")}},
        true);
  w.add({{F::TAREA, Value(demo::kTaskBadChecksum)}, {F::DESCRIP, Value("0130TAREA DA\xA5" "ADA")}}, true);
  w.put(F::CRC_31, Value(w.get(F::CRC_31).number() + 3));
  w.add({{F::TAREA, Value(demo::kTaskNoPassword)}, {F::DESCRIP, Value("0131SIN CLAVE")}}, true);
}

void write_products(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Product;
  Writer<F> w(wa, dir);
  for (const auto& p : kProducts)
    w.add({{F::CODIGO, Value(p.code)},
           {F::CODVAR, Value(ean13(p.barcode12))},
           {F::CODPROD, Value(rt::text::trim(rt::text::str(ean13(p.barcode12), 13)))},
           {F::DESCRIP, Value(p.name)},
           {F::DESCRIPX, Value(descripx(p))},
           {F::CALIDAD_CB, Value(p.quality)},
           {F::TRAZA, Value(p.trace)},
           {F::TRAZA_F, Value(p.forced)}});
}

void write_sale_headers(rt::wa::WorkAreas& wa, const std::string& dir, const Sale& sale) {
  using F = layout::SaleHeader;
  Writer<F> w(wa, dir);
  int fiscal = 5001;
  for (int t : {demo::kTicket, demo::kCancelledTicket, demo::kCheckedTicket, demo::kNoScanTicket,
                demo::kDepartmentTicket})
    w.add({{F::COMPTE, Value("TK")},
           {F::NUMERO, Value(t)},
           {F::VENDEDOR, Value(demo::kSeller)},
           {F::FECHA, sale.date},
           {F::HORAX, sale.hour},
           {F::PTO_VTA, Value(2)},
           {F::NU_FISCAL, Value(fiscal++)}});
}

void write_sale_lines(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::SaleLine;
  Writer<F> w(wa, dir);
  for (const auto& l : kLines)
    w.add({{F::COMPTE, Value("TK")},
           {F::NUMERO, Value(l.ticket)},
           {F::CODIGO, Value(l.code)},
           {F::CANTID, Value(l.quantity)},
           {F::DESCRIP, Value(product(l.code).name)},
           {F::BONO, Value(l.bono)},
           {F::DEPTO, Value(l.depto)},
           {F::ANULA, Value(l.anula)}});
}

void write_check_log(rt::wa::WorkAreas& wa, const std::string& dir, const Sale& sale) {
  using F = layout::CheckLog;
  Writer<F> w(wa, dir);
  for (const auto& l : kLines) {
    if (l.ticket != demo::kCheckedTicket) continue;
    const Product& p = product(l.code);
    w.add({{F::NUMERO, Value(l.ticket)},
           {F::CODIGO, Value(l.code)},
           {F::CANTID, Value(l.quantity)},
           {F::CANT_CHK, Value(l.quantity)},
           {F::DESCRIP, Value(p.name)},
           {F::CB, Value(ean13(p.barcode12))},
           {F::CP, Value(rt::text::trim(rt::text::str(ean13(p.barcode12), 13)))},
           {F::TRAZA, Value(p.trace)},
           {F::VENDEDOR, Value(demo::kSeller)},
           {F::FECHA_VTA, sale.date},
           {F::HORA_VTA, sale.hour},
           {F::FECHA_CHK, sale.date},
           {F::HORA_CHK, Value("10:20:00")},
           {F::VEND_CHK, Value(demo::kSeller)}});
  }
}

// One record per unit of every traceable line, waiting to be filled.
void write_trace_records(rt::wa::WorkAreas& wa, const std::string& dir, const Sale& sale) {
  using F = layout::TraceRecord;
  Writer<F> w(wa, dir);
  for (const auto& l : kLines) {
    const Product& p = product(l.code);
    // A blank flag is stored as a blank character.
    const auto flag = [](const char* f) { return *f ? *f : ' '; };
    if (!is_traceable(flag(p.trace), flag(p.forced))) continue;
    if (*l.anula) continue;
    const double barcode = ean13(p.barcode12);
    for (int unit = 0; unit < l.quantity; ++unit)
      w.add({{F::FECHA, sale.date},
             {F::HORA, sale.hour},
             {F::COMPTE_INT, Value("TK")},
             {F::NUMERO_INT, Value(l.ticket)},
             {F::COD_PROV, Value("7790000000011")},
             {F::TICOMPTE, Value("FA")},
             {F::NUCOMPTE, Value("0002-00012345")},
             {F::FEC_COMPTE, sale.date},
             {F::EVENTO, Value(111)},
             {F::NOM_EVENTO, Value("DISPENSACION DEL PRODUCTO AL PACIENTE")},
             {F::GLN_FAR, Value("7790000099990")},
             {F::CUIT_FAR, Value("30123456789")},
             {F::GLN_PROV, Value("7790000000011")},
             {F::CUIT_PROV, Value("30987654321")},
             {F::COD_BAR, Value(barcode)},
             {F::GTIN, Value(tools::str_0(barcode, 14))},
             {F::ID_OS, Value(101)},
             {F::NUM_AFI, Value("123456789012")}});
  }
  // Units the pharmacy received earlier (a purchase invoice, handled by the
  // suite's reception program), so that the DataMatrix codes of the demo
  // find their serial, lot and expiry in the traceability table.
  for (const auto& u : demo::kReceivedUnits)
    w.add({{F::FECHA, sale.date},
           {F::HORA, Value("09:00:00")},
           {F::COMPTE_INT, Value("FA")},
           {F::NUMERO_INT, Value(12345)},
           {F::COD_PROV, Value("7790000000011")},
           {F::TICOMPTE, Value("FA")},
           {F::NUCOMPTE, Value("0002-00012345")},
           {F::FEC_COMPTE, sale.date},
           {F::EVENTO, Value(1)},
           {F::NOM_EVENTO, Value("RECEPCION DEL PRODUCTO EN LA FARMACIA")},
           {F::GLN_FAR, Value("7790000099990")},
           {F::CUIT_FAR, Value("30123456789")},
           {F::GLN_PROV, Value("7790000000011")},
           {F::CUIT_PROV, Value("30987654321")},
           {F::COD_BAR, Value(ean13(product(u.code).barcode12))},
           {F::GTIN, Value(tools::str_0(ean13(product(u.code).barcode12), 14))},
           {F::SERIE, Value(u.serial)},
           {F::LOTE, Value(u.lot)},
           {F::VENC, Value(*rt::text::Date::from_ymd(u.expiry_year, u.expiry_month, u.expiry_day))},
           {F::ARCH_ASO, Value("RECEPCION")}});
}

void write_pharmacy(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Pharmacy;
  Writer<F> w(wa, dir);
  w.add({{F::GLN, Value("7790000099990")}, {F::CUIT, Value("30123456789")}});
}

void write_affiliations(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Affiliation;
  Writer<F> w(wa, dir);
  w.add({{F::COMPTE, Value("TK")}, {F::NUMERO, Value(demo::kTicket)}, {F::NROAFIL, Value("123456789012")},
         {F::DOCUMENTO, Value("20111222")}});
}

void write_settings(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Setting;
  Writer<F> w(wa, dir);
  w.add({{F::VARIABLE, Value("traza")}, {F::SUCURSAL, Value(0)}, {F::VALOR, Value("S")}});
  w.add({{F::VARIABLE, Value("compte_tz")}, {F::SUCURSAL, Value(0)}, {F::VALOR, Value("FD")}});
}

void write_numbering(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::Numbering;
  Writer<F> w(wa, dir);
  w.add({{F::TICO, Value("TK")}, {F::NUCOM, Value(demo::kDepartmentTicket)}});
  w.add({{F::TICO, Value("SU")}, {F::NUCOM, Value(demo::kBranch)}});
}

void write_extra_barcodes(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  using F = layout::ExtraBarcode;
  Writer<F> w(wa, dir);
  w.add({{F::CODBARRA, Value("7791234567898")}, {F::CODIGO, Value(103)}});
}

void write_business_date(rt::wa::WorkAreas& wa, const std::string& dir, const Sale& sale) {
  using F = layout::BusinessDate;
  Writer<F> w(wa, dir);
  w.add({{F::FECHA, sale.date}});
}

void write_check_template(rt::wa::WorkAreas& wa, const std::string& dir, const Sale&) {
  Writer<layout::CheckLine> w(wa, dir);
}

void write_tables(const std::string& dir, rt::text::Date today) {
  rt::wa::WorkAreas wa;
  const Sale sale{Value(today), Value("10:15:00")};
  write_labels(wa, dir, sale);
  write_sellers(wa, dir, sale);
  write_tasks(wa, dir, sale);
  write_products(wa, dir, sale);
  write_sale_headers(wa, dir, sale);
  write_sale_lines(wa, dir, sale);
  write_check_log(wa, dir, sale);
  write_trace_records(wa, dir, sale);
  write_pharmacy(wa, dir, sale);
  write_affiliations(wa, dir, sale);
  write_settings(wa, dir, sale);
  write_numbering(wa, dir, sale);
  write_extra_barcodes(wa, dir, sale);
  write_business_date(wa, dir, sale);
  write_check_template(wa, dir, sale);
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
