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

struct FieldSpec {
  const char* name;
  char type;        // 'C', 'N', 'D', 'L', 'M'
  int length;       // width of the demo tables (and of the check table)
  int decimals;
  int min_length;   // narrowest width the station can work with
  bool fixed;       // the station depends on exactly this width
};

struct TagSpec {
  const char* name;        // tag name in the bag
  const char* key;         // key expression
  const char* condition;   // FOR condition, "" when none
};

struct BagSpec {
  const char* file;            // base name of the .cdx ("" = the table's own bag)
  std::vector<TagSpec> tags;   // in creation order; the first one controls
};

struct TableSpec {
  const char* name;            // base file name (also the default alias)
  const char* what;            // for messages
  std::vector<BagSpec> bags;
  std::vector<FieldSpec> fields;
  bool optional = false;       // used only when its file exists ("cb")

  const FieldSpec* field(std::string_view name) const;
};

// The tables, one declaration each.
const TableSpec& rotulo();
const TableSpec& acceso2();
const TableSpec& acceso();
const TableSpec& compenca();
const TableSpec& compitem();
const TableSpec& producto();
const TableSpec& log_env();
const TableSpec& traza();
const TableSpec& datosfar();
const TableSpec& datoafi();
const TableSpec& ini();
const TableSpec& numeros();
const TableSpec& cb();
// The business-date table; its file name comes from ARCH_FECHA ("FEC_SYS").
const TableSpec& fec_sys();
// The template of the per-seller check table, with the check table's bag.
const TableSpec& tempo39();

// Every table above, in a stable order.
const std::vector<const TableSpec*>& all_tables();
const TableSpec* find_table(std::string_view name);

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
std::vector<FieldProblem> field_problems(const TableSpec& spec, const std::vector<ActualField>& actual);
// The same as messages.
std::vector<std::string> check_fields(const TableSpec& spec, const std::vector<ActualField>& actual);

// The profile letters the task table carries "PERFIL_" fields for.
extern const char kProfileLetters[];

}  // namespace layout
