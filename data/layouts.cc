#include "data/layouts.h"

#include "runtime/text/convert.h"

namespace layout {
namespace {

// Shorthands for the declarations below.
FieldLayout C(const char* n, int len, int min = 1) { return {n, 'C', len, 0, min, false}; }
FieldLayout Cx(const char* n, int len) { return {n, 'C', len, 0, len, true}; }
FieldLayout N(const char* n, int len, int min = 1, int dec = 0) { return {n, 'N', len, dec, min, false}; }
FieldLayout D(const char* n) { return {n, 'D', 8, 0, 8, true}; }
FieldLayout M(const char* n) { return {n, 'M', 10, 0, 4, false}; }

// One field of a list of layouts.h.
#define LAYOUT_FIELD(kind, name, ...) kind(#name __VA_OPT__(, ) __VA_ARGS__),

}  // namespace

bool same_field_name(std::string_view a, std::string_view b) { return rt::text::same_nocase(a, b); }

const char kProfileLetters[] = "ABCS";

std::string profile_field(char letter) { return std::string("PERFIL_") + letter; }

const FieldLayout* TableLayout::field(std::string_view n) const {
  for (const auto& f : fields)
    if (rt::text::same_nocase(f.name, n)) return &f;
  return nullptr;
}

const TableLayout& rotulo() {
  static const TableLayout t{"rotulo", "voucher label lines", {}, {LAYOUT_LABEL_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& acceso2() {
  // CRC_31 holds ten thirds of the sum of the record's character codes: for a
  // record of a few hundred bytes that stays below 7 digits; 10 leaves room.
  static const TableLayout t{"acceso2", "sellers",
                           {{"acceso21", {{"num", "STR(NUM,4)", ""}}},
                            {"acceso22", {{"nombre", "UPPER(NOMBRE)", ""}}}},
                           {LAYOUT_SELLER_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& acceso() {
  static const TableLayout t{"acceso", "tasks", {},
                           {LAYOUT_TASK_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& compenca() {
  static const TableLayout t{"compenca", "sale headers",
                           {{"compenca", {{"compte", "COMPTE+STR(NUMERO,6)", ""}}}},
                           {LAYOUT_SALE_HEADER_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& compitem() {
  static const TableLayout t{"compitem", "sale lines",
                           {{"compitem", {{"compte", "COMPTE+STR(NUMERO,6)", ""}}}},
                           {LAYOUT_SALE_LINE_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& producto() {
  static const TableLayout t{"producto", "products",
                           {{"producto", {{"codigo", "CODIGO", ""}}}},
                           {LAYOUT_PRODUCT_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& log_env() {
  static const TableLayout t{"log_env", "check log",
                           {{"log_env", {{"numero", "STR(NUMERO,6)", ""}}}},
                           {LAYOUT_CHECK_LOG_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& traza() {
  // COD_TRAZA keeps the scanned code with every separator written as "<GS>",
  // so it is wider than the 60 characters of a scan.
  static const TableLayout t{"traza", "traceability records",
                           {{"traza", {{"compte", "COMPTE_INT+STR(NUMERO_INT,6)", ""},
                                       {"gtin_s", "GTIN+SERIE", ""}}}},
                           {LAYOUT_TRACE_RECORD_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& datosfar() {
  static const TableLayout t{"datosfar", "pharmacy data", {}, {LAYOUT_PHARMACY_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& datoafi() {
  static const TableLayout t{"datoafi", "patient affiliation per ticket",
                           {{"datoafi", {{"compte", "COMPTE+STR(NUMERO,6)", ""}}}},
                           {LAYOUT_AFFILIATION_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& ini() {
  static const TableLayout t{"ini", "configuration",
                           {{"ini", {{"variable", "UPPER(VARIABLE)+STR(SUCURSAL,2)", ""}}}},
                           {LAYOUT_SETTING_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& numeros() {
  static const TableLayout t{"numeros", "numbering", {}, {LAYOUT_NUMBERING_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& cb() {
  static const TableLayout t{"cb", "extra barcodes", {{"cb", {{"cb", "CODBARRA", ""}}}},
                           {LAYOUT_EXTRA_BARCODE_FIELDS(LAYOUT_FIELD)}, true};
  return t;
}

const TableLayout& fec_sys() {
  static const TableLayout t{"FEC_SYS", "business date", {}, {LAYOUT_BUSINESS_DATE_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const TableLayout& tempo39() {
  // The check table's quantities are shown with "@Z 999".
  static const TableLayout t{"tempo39", "check table template",
                           {{"", {{"cb", "cb", ""}, {"codigo", "codigo", ""}, {"cp", "cp", ""}}}},
                           {LAYOUT_CHECK_LINE_FIELDS(LAYOUT_FIELD)}};
  return t;
}

const std::vector<const TableLayout*>& all_tables() {
  static const std::vector<const TableLayout*> all = {
      &rotulo(), &acceso2(), &acceso(), &compenca(), &compitem(), &producto(), &log_env(), &traza(),
      &datosfar(), &datoafi(), &ini(), &numeros(), &cb(), &fec_sys(), &tempo39()};
  return all;
}

const TableLayout* find_table(std::string_view name) {
  for (const auto* t : all_tables())
    if (rt::text::same_nocase(t->name, name)) return t;
  return nullptr;
}

std::vector<FieldProblem> field_problems(const TableLayout& spec, const std::vector<ActualField>& actual) {
  std::vector<FieldProblem> problems;
  for (const auto& want : spec.fields) {
    const ActualField* have = nullptr;
    for (const auto& a : actual)
      if (rt::text::same_nocase(a.name, want.name)) have = &a;
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

std::vector<std::string> check_fields(const TableLayout& spec, const std::vector<ActualField>& actual) {
  std::vector<std::string> texts;
  for (const auto& p : field_problems(spec, actual)) texts.push_back(p.text);
  return texts;
}

}  // namespace layout
