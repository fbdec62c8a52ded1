// The tables of the sales suite that the station opens: file names, order
// bags, tags with their key expressions, and the fields the station reads or
// writes.  Everything the station relies on about a table is declared here,
// once.
//
// Widths: where the station's code depends on an exact text width (a key
// slice, a field compared as a whole) the width is "fixed".  Elsewhere the
// width belongs to the suite; the value given here is the width our demo
// tables are created with, and an opened table only has to offer a field of
// the same type that is at least `min_length` wide.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace layout {

struct FieldLayout {
  const char* name;
  char type;        // 'C', 'N', 'D', 'L', 'M'
  int length;       // width of the demo tables (and of the check table)
  int decimals;
  int min_length;   // narrowest width the station can work with
  bool fixed;       // the station depends on exactly this width
};

struct TagLayout {
  const char* name;        // tag name in the bag
  const char* key;         // key expression
  const char* condition;   // FOR condition, "" when none
};

struct BagLayout {
  const char* file;            // base name of the .cdx ("" = the table's own bag)
  std::vector<TagLayout> tags;   // in creation order; the first one controls
};

struct TableLayout {
  const char* name;            // base file name (also the default alias)
  const char* what;            // for messages
  std::vector<BagLayout> bags;
  std::vector<FieldLayout> fields;
  bool optional = false;       // used only when its file exists ("cb")

  const FieldLayout* field(std::string_view name) const;
};

// The tables, one declaration each.
const TableLayout& rotulo();
const TableLayout& acceso2();
const TableLayout& acceso();
const TableLayout& compenca();
const TableLayout& compitem();
const TableLayout& producto();
const TableLayout& log_env();
const TableLayout& traza();
const TableLayout& datosfar();
const TableLayout& datoafi();
const TableLayout& ini();
const TableLayout& numeros();
const TableLayout& cb();
// The business-date table; its file name comes from ARCH_FECHA ("FEC_SYS").
const TableLayout& fec_sys();
// The template of the per-seller check table, with the check table's bag.
const TableLayout& tempo39();

// The fields of each table, in its layout's order, one list per table:
// F(kind, NAME, widths...) with the kinds of data/layouts.cc (C: text, Cx:
// text of exactly that width, N: number, D: date, M: memo).  The layouts are
// built from these lists and the typed views below name their fields from
// them, so both always agree.
#define LAYOUT_LABEL_FIELDS(F) \
  F(C, ROTULO, 40)
#define LAYOUT_SELLER_FIELDS(F) \
  F(N, NUM, 4, 4) F(C, NOMBRE, 30) F(C, CLAVE, 10, 5) F(C, PERFILES, 10) F(C, ITEMS, 200, 121) \
  F(C, SUC_HABI, 20) F(Cx, HABI_CAJ, 1) F(N, CRC_31, 10, 7)
#define LAYOUT_TASK_FIELDS(F) \
  F(N, TAREA, 4, 3) F(C, DESCRIP, 40, 5) F(Cx, PALABRA, 10) F(Cx, PERFIL_A, 1) F(Cx, PERFIL_B, 1) \
  F(Cx, PERFIL_C, 1) F(Cx, PERFIL_S, 1) F(N, CRC_31, 10, 7)
#define LAYOUT_SALE_HEADER_FIELDS(F) \
  F(Cx, COMPTE, 2) F(N, NUMERO, 6, 6) F(N, VENDEDOR, 4, 4) F(D, FECHA) F(C, HORAX, 8) F(N, PTO_VTA, 4, 4) \
  F(N, NU_FISCAL, 8, 8) F(N, REINTE_3, 4, 3)
#define LAYOUT_SALE_LINE_FIELDS(F) \
  F(Cx, COMPTE, 2) F(N, NUMERO, 6, 6) F(Cx, CODIGO, 7) F(N, CANTID, 4) F(C, DESCRIP, 30) F(C, BONO, 10) \
  F(N, DEPTO, 3) F(N, VALE, 4, 2) F(Cx, ANULA, 1)
#define LAYOUT_PRODUCT_FIELDS(F) \
  F(Cx, CODIGO, 7) F(N, CODVAR, 14, 14) F(C, CODPROD, 14) F(C, DESCRIP, 30) F(C, DESCRIPX, 68, 44) \
  F(Cx, CALIDAD_CB, 1) F(Cx, TRAZA, 1) F(Cx, TRAZA_F, 1)
#define LAYOUT_CHECK_LOG_FIELDS(F) \
  F(N, NUMERO, 6, 6) F(Cx, CODIGO, 7) F(N, CANTID, 4) F(N, CANT_CHK, 4) F(C, DESCRIP, 30) F(N, CB, 14, 14) \
  F(Cx, CP, 14) F(Cx, TRAZA, 1) F(N, VENDEDOR, 4, 4) F(D, FECHA_VTA) F(C, HORA_VTA, 8) F(D, FECHA_CHK) \
  F(Cx, HORA_CHK, 8) F(N, VEND_CHK, 4, 4)
#define LAYOUT_TRACE_RECORD_FIELDS(F) \
  F(D, FECHA) F(C, HORA, 8) F(Cx, COMPTE_INT, 2) F(N, NUMERO_INT, 6, 6) F(C, COD_PROV, 13) \
  F(Cx, TICOMPTE, 2) F(C, NUCOMPTE, 13) F(D, FEC_COMPTE) F(N, EVENTO, 3, 3) F(C, NOM_EVENTO, 40, 37) \
  F(C, GLN_FAR, 13) F(C, CUIT_FAR, 13) F(C, GLN_PROV, 13) F(C, CUIT_PROV, 13) F(N, ID_CONCEPT, 4, 2) \
  F(N, COD_BAR, 14, 14) F(Cx, GTIN, 14) F(N, ID_OS, 6) F(C, NUM_AFI, 20) F(Cx, SERIE, 20) F(Cx, LOTE, 10) \
  F(D, VENC) F(C, COD_TRAZA, 120, 60) F(C, ARCH_ASO, 20)
#define LAYOUT_PHARMACY_FIELDS(F) \
  F(C, GLN, 13) F(C, CUIT, 13)
#define LAYOUT_AFFILIATION_FIELDS(F) \
  F(Cx, COMPTE, 2) F(N, NUMERO, 6, 6) F(C, NROAFIL, 20) F(C, DOCUMENTO, 15)
#define LAYOUT_SETTING_FIELDS(F) \
  F(Cx, VARIABLE, 15) F(N, SUCURSAL, 2, 2) F(C, VALOR, 60)
#define LAYOUT_NUMBERING_FIELDS(F) \
  F(C, TICO, 4, 2) F(N, NUCOM, 8)
#define LAYOUT_EXTRA_BARCODE_FIELDS(F) \
  F(Cx, CODBARRA, 14) F(N, CODIGO, 7)
#define LAYOUT_BUSINESS_DATE_FIELDS(F) \
  F(D, FECHA)
#define LAYOUT_CHECK_LINE_FIELDS(F) \
  F(N, NUMERO, 6, 6) F(Cx, CODIGO, 7) F(N, CANTID, 3) F(N, CANT_CHK, 3) F(C, DESCRIP, 30) F(N, CB, 14, 14) \
  F(Cx, CP, 14) F(Cx, TRAZA, 1) F(M, SERIES) F(N, VENDEDOR, 4) F(D, FECHA_VTA) F(C, HORA_VTA, 8) \
  F(D, FECHA_CHK) F(Cx, HORA_CHK, 8) F(N, VEND_CHK, 4, 4)

#define LAYOUT_FIELD_NAME(kind, name, ...) name,

// One type per table for typed access (data/table_view.h): its fields as
// an enumeration in the layout's order and the table's layout.  The station
// reads `line.get(SaleLine::CANTID)`, never a field name.
struct Label {
  enum Field : int { LAYOUT_LABEL_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return rotulo(); }
};
struct Seller {
  enum Field : int { LAYOUT_SELLER_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return acceso2(); }
};
struct Task {
  enum Field : int { LAYOUT_TASK_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return acceso(); }
};
struct SaleHeader {
  enum Field : int { LAYOUT_SALE_HEADER_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return compenca(); }
};
struct SaleLine {
  enum Field : int { LAYOUT_SALE_LINE_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return compitem(); }
};
struct Product {
  enum Field : int { LAYOUT_PRODUCT_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return producto(); }
};
struct CheckLog {
  enum Field : int { LAYOUT_CHECK_LOG_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return log_env(); }
};
struct TraceRecord {
  enum Field : int { LAYOUT_TRACE_RECORD_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return traza(); }
};
struct Pharmacy {
  enum Field : int { LAYOUT_PHARMACY_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return datosfar(); }
};
struct Affiliation {
  enum Field : int { LAYOUT_AFFILIATION_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return datoafi(); }
};
struct Setting {
  enum Field : int { LAYOUT_SETTING_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return ini(); }
};
struct Numbering {
  enum Field : int { LAYOUT_NUMBERING_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return numeros(); }
};
struct ExtraBarcode {
  enum Field : int { LAYOUT_EXTRA_BARCODE_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return cb(); }
};
struct BusinessDate {
  enum Field : int { LAYOUT_BUSINESS_DATE_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return fec_sys(); }
};
struct CheckLine {
  enum Field : int { LAYOUT_CHECK_LINE_FIELDS(LAYOUT_FIELD_NAME) kFieldCount };
  static const TableLayout& layout() { return tempo39(); }
};

// Every table above, in a stable order.
const std::vector<const TableLayout*>& all_tables();
const TableLayout* find_table(std::string_view name);

// A field as a table on disk has it.
struct ActualField {
  std::string name;
  char type;
  int length;
  int decimals;
};

// One thing wrong with a table's fields for the station.
struct FieldProblem {
  std::string field;  // the field's name
  bool missing;       // absent (otherwise of an unusable type or width)
  std::string text;   // what is wrong, naming table and field
};
// Every missing field and every unusable type or width, in the layout's
// order; empty when the table is usable.
std::vector<FieldProblem> field_problems(const TableLayout& spec, const std::vector<ActualField>& actual);
// The same as messages.
std::vector<std::string> check_fields(const TableLayout& spec, const std::vector<ActualField>& actual);

// Field and table names compare as the suite's files store them: case aside.
bool same_field_name(std::string_view a, std::string_view b);

// The profile letters the task table carries "PERFIL_" fields for.
extern const char kProfileLetters[];
// The task table's field of a profile letter ("PERFIL_" and the letter); a
// table of the suite may carry letters beyond kProfileLetters.
std::string profile_field(char letter);

}  // namespace layout
