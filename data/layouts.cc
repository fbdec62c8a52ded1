#include "data/layouts.h"

#include <cctype>

namespace layout {
namespace {

// Shorthands for the declarations below.
FieldSpec C(const char* n, int len, int min = 1) { return {n, 'C', len, 0, min, false}; }
FieldSpec Cx(const char* n, int len) { return {n, 'C', len, 0, len, true}; }
FieldSpec N(const char* n, int len, int min = 1, int dec = 0) { return {n, 'N', len, dec, min, false}; }
FieldSpec D(const char* n) { return {n, 'D', 8, 0, 8, true}; }
FieldSpec M(const char* n) { return {n, 'M', 10, 0, 4, false}; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

const char kProfileLetters[] = "ABCS";

const FieldSpec* TableSpec::field(std::string_view n) const {
  for (const auto& f : fields)
    if (same_name(f.name, n)) return &f;
  return nullptr;
}

const TableSpec& rotulo() {
  static const TableSpec t{"rotulo", "voucher label lines", {}, {C("ROTULO", 40)}};
  return t;
}

const TableSpec& acceso2() {
  // CRC_31 holds ten thirds of the sum of the record's character codes: for a
  // record of a few hundred bytes that stays below 7 digits; 10 leaves room.
  static const TableSpec t{"acceso2", "sellers",
                           {{"acceso21", {{"num", "STR(NUM,4)", ""}}},
                            {"acceso22", {{"nombre", "UPPER(NOMBRE)", ""}}}},
                           {N("NUM", 4, 4), C("NOMBRE", 30), C("CLAVE", 10, 5), C("PERFILES", 10),
                            C("ITEMS", 200, 121), C("SUC_HABI", 20), Cx("HABI_CAJ", 1), N("CRC_31", 10, 7)}};
  return t;
}

const TableSpec& acceso() {
  static const TableSpec t{"acceso", "tasks", {},
                           {N("TAREA", 4, 3), C("DESCRIP", 40, 5), Cx("PALABRA", 10), Cx("PERFIL_A", 1),
                            Cx("PERFIL_B", 1), Cx("PERFIL_C", 1), Cx("PERFIL_S", 1), N("CRC_31", 10, 7)}};
  return t;
}

const TableSpec& compenca() {
  static const TableSpec t{"compenca", "sale headers",
                           {{"compenca", {{"compte", "COMPTE+STR(NUMERO,6)", ""}}}},
                           {Cx("COMPTE", 2), N("NUMERO", 6, 6), N("VENDEDOR", 4, 4), D("FECHA"), C("HORAX", 8),
                            N("PTO_VTA", 4, 4), N("NU_FISCAL", 8, 8), N("REINTE_3", 4, 3)}};
  return t;
}

const TableSpec& compitem() {
  static const TableSpec t{"compitem", "sale lines",
                           {{"compitem", {{"compte", "COMPTE+STR(NUMERO,6)", ""}}}},
                           {Cx("COMPTE", 2), N("NUMERO", 6, 6), Cx("CODIGO", 7), N("CANTID", 4), C("DESCRIP", 30),
                            C("BONO", 10), N("DEPTO", 3), N("VALE", 4, 2), Cx("ANULA", 1)}};
  return t;
}

const TableSpec& producto() {
  static const TableSpec t{"producto", "products",
                           {{"producto", {{"codigo", "CODIGO", ""}}}},
                           {Cx("CODIGO", 7), N("CODVAR", 14, 14), C("CODPROD", 14), C("DESCRIP", 30),
                            C("DESCRIPX", 68, 44), Cx("CALIDAD_CB", 1), Cx("TRAZA", 1), Cx("TRAZA_F", 1)}};
  return t;
}

const TableSpec& log_env() {
  static const TableSpec t{"log_env", "check log",
                           {{"log_env", {{"numero", "STR(NUMERO,6)", ""}}}},
                           {N("NUMERO", 6, 6), Cx("CODIGO", 7), N("CANTID", 4), N("CANT_CHK", 4), C("DESCRIP", 30),
                            N("CB", 14, 14), Cx("CP", 14), Cx("TRAZA", 1), N("VENDEDOR", 4, 4), D("FECHA_VTA"),
                            C("HORA_VTA", 8), D("FECHA_CHK"), Cx("HORA_CHK", 8), N("VEND_CHK", 4, 4)}};
  return t;
}

const TableSpec& traza() {
  // COD_TRAZA keeps the scanned code with every separator written as "<GS>",
  // so it is wider than the 60 characters of a scan.
  static const TableSpec t{"traza", "traceability records",
                           {{"traza", {{"compte", "COMPTE_INT+STR(NUMERO_INT,6)", ""},
                                       {"gtin_s", "GTIN+SERIE", ""}}}},
                           {D("FECHA"), C("HORA", 8), Cx("COMPTE_INT", 2), N("NUMERO_INT", 6, 6), C("COD_PROV", 13),
                            Cx("TICOMPTE", 2), C("NUCOMPTE", 13), D("FEC_COMPTE"), N("EVENTO", 3, 3),
                            C("NOM_EVENTO", 40, 37), C("GLN_FAR", 13), C("CUIT_FAR", 13), C("GLN_PROV", 13),
                            C("CUIT_PROV", 13), N("ID_CONCEPT", 4, 2), N("COD_BAR", 14, 14), Cx("GTIN", 14),
                            N("ID_OS", 6), C("NUM_AFI", 20), Cx("SERIE", 20), Cx("LOTE", 10), D("VENC"),
                            C("COD_TRAZA", 120, 60), C("ARCH_ASO", 20)}};
  return t;
}

const TableSpec& datosfar() {
  static const TableSpec t{"datosfar", "pharmacy data", {}, {C("GLN", 13), C("CUIT", 13)}};
  return t;
}

const TableSpec& datoafi() {
  static const TableSpec t{"datoafi", "patient affiliation per ticket",
                           {{"datoafi", {{"compte", "COMPTE+STR(NUMERO,6)", ""}}}},
                           {Cx("COMPTE", 2), N("NUMERO", 6, 6), C("NROAFIL", 20), C("DOCUMENTO", 15)}};
  return t;
}

const TableSpec& ini() {
  static const TableSpec t{"ini", "configuration",
                           {{"ini", {{"variable", "UPPER(VARIABLE)+STR(SUCURSAL,2)", ""}}}},
                           {Cx("VARIABLE", 15), N("SUCURSAL", 2, 2), C("VALOR", 60)}};
  return t;
}

const TableSpec& numeros() {
  static const TableSpec t{"numeros", "numbering", {}, {C("TICO", 4, 2), N("NUCOM", 8)}};
  return t;
}

const TableSpec& cb() {
  static const TableSpec t{"cb", "extra barcodes", {{"cb", {{"cb", "CODBARRA", ""}}}},
                           {Cx("CODBARRA", 14), N("CODIGO", 7)}, true};
  return t;
}

const TableSpec& fec_sys() {
  static const TableSpec t{"FEC_SYS", "business date", {}, {D("FECHA")}};
  return t;
}

const TableSpec& tempo39() {
  // The check table's quantities are shown with "@Z 999".
  static const TableSpec t{"tempo39", "check table template",
                           {{"", {{"cb", "cb", ""}, {"codigo", "codigo", ""}, {"cp", "cp", ""}}}},
                           {N("NUMERO", 6, 6), Cx("CODIGO", 7), N("CANTID", 3), N("CANT_CHK", 3), C("DESCRIP", 30),
                            N("CB", 14, 14), Cx("CP", 14), Cx("TRAZA", 1), M("SERIES"), N("VENDEDOR", 4),
                            D("FECHA_VTA"), C("HORA_VTA", 8), D("FECHA_CHK"), Cx("HORA_CHK", 8), N("VEND_CHK", 4, 4)}};
  return t;
}

const std::vector<const TableSpec*>& all_tables() {
  static const std::vector<const TableSpec*> all = {
      &rotulo(), &acceso2(), &acceso(), &compenca(), &compitem(), &producto(), &log_env(), &traza(),
      &datosfar(), &datoafi(), &ini(), &numeros(), &cb(), &fec_sys(), &tempo39()};
  return all;
}

const TableSpec* find_table(std::string_view name) {
  for (const auto* t : all_tables())
    if (same_name(t->name, name)) return t;
  return nullptr;
}

std::vector<FieldProblem> field_problems(const TableSpec& spec, const std::vector<ActualField>& actual) {
  std::vector<FieldProblem> problems;
  for (const auto& want : spec.fields) {
    const ActualField* have = nullptr;
    for (const auto& a : actual)
      if (same_name(a.name, want.name)) have = &a;
    const std::string where = std::string("table ") + spec.name + ", field " + want.name;
    const auto add = [&](bool missing, const std::string& text) {
      problems.push_back({std::string(want.name), missing, where + ": " + text});
    };
    if (!have) {
      add(true, "missing");
      continue;
    }
    const bool number_like = want.type == 'N' && (have->type == 'N' || have->type == 'F');
    if (!number_like && have->type != want.type) {
      add(false, "type " + std::string(1, have->type) + " where " + std::string(1, want.type) + " is needed");
      continue;
    }
    if (want.type == 'C' || want.type == 'N') {
      if (want.fixed && have->length != want.length)
        add(false, "width " + std::to_string(have->length) + " where exactly " + std::to_string(want.length) +
                       " is needed");
      else if (have->length < want.min_length)
        add(false, "width " + std::to_string(have->length) + " where at least " +
                       std::to_string(want.min_length) + " is needed");
    }
  }
  return problems;
}

std::vector<std::string> check_fields(const TableSpec& spec, const std::vector<ActualField>& actual) {
  std::vector<std::string> texts;
  for (const auto& p : field_problems(spec, actual)) texts.push_back(p.text);
  return texts;
}

}  // namespace layout
