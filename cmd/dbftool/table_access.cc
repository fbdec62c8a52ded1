#include "cmd/dbftool/table_access.h"

#include "runtime/cdx/page.h"

namespace dbftool {

using rt::table::FieldType;
using rt::table::Record;
using rt::table::Table;
using rt::table::TableError;

std::optional<rt::text::CodePage> codepage_option(const std::string& value) {
  if (value.empty()) return std::nullopt;
  int n = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || n > 100000) throw UsageError("--codepage " + value + ": not a code page number");
    n = n * 10 + (c - '0');
  }
  auto cp = rt::text::code_page_from_number(n);
  if (!cp) throw UsageError("--codepage " + value + ": unknown code page (437, 850, 1251 and 1252 are known)");
  return cp;
}

std::unique_ptr<Table> open_for_reading(const std::string& path, std::optional<rt::text::CodePage> cp) {
  rt::table::OpenOptions o;
  o.share = rt::table::Share::Shared;
  o.read_only = true;
  o.code_page = cp;
  return Table::open(path, o);
}

bool null_flagged(const Record& rec, int i) {
  const auto& f = rec.field(i);
  if (f.null_bit < 0) return false;
  auto flags = rec.null_flags();
  const auto byte = static_cast<std::size_t>(f.null_bit / 8);
  return byte < flags.size() && ((static_cast<unsigned char>(flags[byte]) >> (f.null_bit % 8)) & 1) != 0;
}

FieldShape shape_of(const rt::table::Field& f) { return {f.letter(), f.length, f.decimals}; }

namespace {

// What to show for field i: the bytes to format and the type to format them
// as; for memo fields the memo's content (or a problem).
struct FieldBytes {
  enum { Null, Plain, Memo, Invalid } kind = Null;
  FieldShape shape;
  std::string bytes;
};

FieldBytes field_bytes(Table& t, const Record& rec, int i, std::string* problem) {
  const auto& f = rec.field(i);
  FieldBytes out;
  out.shape = shape_of(f);
  if (null_flagged(rec, i)) return out;
  if (f.is_memo()) {
    const std::int64_t block = rec.memo_block(i);
    if (block == 0) return out;
    if (block < 0) {
      out.kind = FieldBytes::Invalid;
      out.bytes = "memo reference '" + std::string(rec.raw(i)) + "'";
      if (problem) *problem = "field " + f.name + ": memo reference is not a block number";
      return out;
    }
    try {
      out.bytes = t.memo(rec, i);
      out.kind = FieldBytes::Memo;
    } catch (const TableError& e) {
      out.kind = FieldBytes::Invalid;
      out.bytes = "memo block " + std::to_string(block);
      if (problem) *problem = "field " + f.name + ": " + e.problem();
    }
    return out;
  }
  out.kind = FieldBytes::Plain;
  if (f.type == FieldType::Varchar || f.type == FieldType::Varbinary) {
    out.bytes = rec.decode(i).bytes;  // the used part only
  } else {
    out.bytes = std::string(rec.raw(i));
  }
  return out;
}

}  // namespace

void write_record_field(json::Writer& w, Table& t, const Record& rec, int i, bool keep_blanks, std::string* problem) {
  FieldBytes fb = field_bytes(t, rec, i, problem);
  switch (fb.kind) {
    case FieldBytes::Null: w.null(); break;
    case FieldBytes::Plain: write_field_json(w, fb.shape, fb.bytes, t.code_page(), keep_blanks); break;
    case FieldBytes::Memo: write_memo_json(w, fb.shape.type, fb.bytes, t.code_page()); break;
    case FieldBytes::Invalid:
      w.begin_object();
      w.key("invalid");
      w.string(fb.bytes);
      w.end_object();
      break;
  }
}

std::string record_field_csv(Table& t, const Record& rec, int i, bool keep_blanks, std::string* problem) {
  FieldBytes fb = field_bytes(t, rec, i, problem);
  switch (fb.kind) {
    case FieldBytes::Null: return "";
    case FieldBytes::Plain: return field_csv(fb.shape, fb.bytes, t.code_page(), keep_blanks);
    case FieldBytes::Memo: return memo_csv(fb.shape.type, fb.bytes, t.code_page());
    case FieldBytes::Invalid: return "?";
  }
  return "";
}

int exit_code_for(const TableError& e, bool writing) {
  using K = rt::table::ErrorKind;
  switch (e.kind()) {
    case K::ValueRefused:
    case K::Usage: return kExitProblems;
    case K::Busy: return kExitBusy;
    default: return writing ? kExitCannotWrite : kExitCannotRead;
  }
}

}  // namespace dbftool

namespace dbftool {

bool is_busy(const std::exception& e) {
  if (const auto* t = dynamic_cast<const TableError*>(&e)) return t->kind() == rt::table::ErrorKind::Busy;
  if (const auto* c = dynamic_cast<const rt::cdx::CdxError*>(&e)) return c->busy();
  if (const auto* o = dynamic_cast<const rt::os::IoError*>(&e)) return o->kind() == rt::os::IoKind::Busy;
  return false;
}

int exit_code_for_any(const std::exception& e, bool writing) {
  if (const auto* t = dynamic_cast<const TableError*>(&e)) return exit_code_for(*t, writing);
  if (is_busy(e)) return kExitBusy;
  return writing ? kExitCannotWrite : kExitCannotRead;
}

}  // namespace dbftool
