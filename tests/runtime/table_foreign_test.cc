// Every table of the foreign sample sets read by the engine and compared with
// the independent readers' figures in EXPECTED.json.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/os/file.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "tests/support/json.h"
#include "tests/support/testing.h"

using namespace rt::table;
using testing_support::Json;

namespace {

rt::text::CodePage code_page_of(const std::string& encoding) {
  if (encoding == "cp1251") return rt::text::CodePage::CP1251;
  if (encoding == "cp437" || encoding == "ascii") return rt::text::CodePage::CP437;
  return rt::text::CodePage::CP1252;
}

// The first n code points of a UTF-8 text.
std::string utf8_prefix(const std::string& s, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t k = 0; k < n && i < s.size(); ++k) i += rt::text::decode_utf8(std::string_view(s).substr(i)).second;
  return s.substr(0, i);
}

std::size_t utf8_length(const std::string& s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++n) i += rt::text::decode_utf8(std::string_view(s).substr(i)).second;
  return n;
}

std::string strip_blanks_and_nuls(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

bool in_list(const Json& list, const std::string& name) {
  for (const Json& j : list.items)
    if (j.text == name) return true;
  return false;
}

void check_value(Table& t, const Record& rec, int i, const Json& want, const Json& rec_json, rt::text::CodePage cp,
                 const std::string& where) {
  const Field& f = rec.field(i);
  const FieldValue v = rec.decode(i);
  using K = FieldValue::Kind;
  SCOPED_TRACE(where + " field " + f.name);
  if (rec_json.has("null_fields_derived") && in_list(rec_json["null_fields_derived"], f.name)) {
    EXPECT_EQ(v.kind, K::Null);
    return;
  }
  if (rec_json.has("varlen_derived") && rec_json["varlen_derived"].has(f.name)) {
    const Json& d = rec_json["varlen_derived"][f.name];
    if (d.type == Json::Type::String) EXPECT_EQ(rt::text::to_utf8(v.bytes, cp), d.text);
    else EXPECT_EQ(v.bytes, "");  // {"hex": ""}
    return;
  }
  if (want.type == Json::Type::Object) return;  // binary, shown by the readers as hex
  switch (f.type) {
    case FieldType::Character:
      ASSERT_EQ(v.kind, K::Text);
      EXPECT_EQ(rt::text::to_utf8(strip_blanks_and_nuls(v.bytes), cp), want.text);
      break;
    case FieldType::Numeric:
    case FieldType::Float:
    case FieldType::Double:
      if (want.is_null()) EXPECT_EQ(v.kind, K::Null);
      else {
        ASSERT_EQ(v.kind, K::Number);
        EXPECT_NEAR(v.number, want.number, 1e-9 * std::max(1.0, std::fabs(want.number)));
      }
      break;
    case FieldType::Integer:
      ASSERT_EQ(v.kind, K::Integer);
      EXPECT_EQ(static_cast<double>(v.integer), want.number);
      break;
    case FieldType::Currency:
      ASSERT_EQ(v.kind, K::Currency);
      EXPECT_EQ(v.currency_text(), want.text);
      break;
    case FieldType::Date:
      if (want.is_null()) EXPECT_EQ(v.kind, K::Null);
      else { ASSERT_EQ(v.kind, K::Date); EXPECT_EQ(rt::text::iso_date(v.date), want.text); }
      break;
    case FieldType::DateTime:
      if (want.is_null()) EXPECT_EQ(v.kind, K::Null);
      else { ASSERT_EQ(v.kind, K::DateTime); EXPECT_EQ(v.datetime_text(), want.text.substr(0, 19)); }
      break;
    case FieldType::Logical:
      if (want.is_null()) EXPECT_EQ(v.kind, K::Null);
      else { ASSERT_EQ(v.kind, K::Logical); EXPECT_EQ(v.logical, want.boolean); }
      break;
    case FieldType::Memo: {
      if (want.is_null()) { EXPECT_EQ(v.memo_block, 0u); break; }
      const std::string text = rt::text::to_utf8(t.memo(rec, i), cp);
      if (rec_json.has("memo_full_length") && rec_json["memo_full_length"].has(f.name)) {
        EXPECT_EQ(utf8_length(text), static_cast<std::size_t>(rec_json["memo_full_length"][f.name].number));
        EXPECT_EQ(utf8_prefix(text, utf8_length(want.text)), want.text);
      } else {
        EXPECT_EQ(text, want.text);
      }
      break;
    }
    default:
      break;
  }
}

class ForeignSets : public ::testing::TestWithParam<std::string> {};

TEST_P(ForeignSets, EveryTableMatchesTheIndependentReaders) {
  const std::string dir = testing_support::foreign_fixture(GetParam());
  const Json expected = Json::parse(testing_support::read_file(dir + "/EXPECTED.json"));
  ASSERT_GT(expected["tables"].size(), 0u);
  for (const auto& [name, tj] : expected["tables"].fields) {
    SCOPED_TRACE(GetParam() + "/" + name);
    OpenOptions o;
    o.read_only = true;
    o.code_page = code_page_of(tj["encoding_used"].text);
    auto t = Table::open(dir + "/" + name, o);
    const Schema& s = t->schema();
    EXPECT_EQ(s.version, std::stoul(tj["version_byte"].text, nullptr, 16));
    EXPECT_EQ(s.code_page_mark, std::stoul(tj["code_page_byte"].text, nullptr, 16));
    EXPECT_EQ(s.table_flags, std::stoul(tj["table_flags_byte"].text, nullptr, 16));
    EXPECT_EQ(s.header_length, tj["header_length"].number);
    EXPECT_EQ(s.record_length, tj["record_length"].number);
    EXPECT_EQ(t->record_count(), tj["record_count"].number);
    // Field list without the hidden _NullFlags.
    std::vector<const Json*> fields;
    for (const Json& f : tj["fields"].items)
      if (f["type"].text != "0") fields.push_back(&f);
    ASSERT_EQ(s.fields.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(s.fields[i].name, (*fields[i])["name"].text);
      EXPECT_EQ(std::string(1, s.fields[i].letter()), (*fields[i])["type"].text);
      EXPECT_EQ(s.fields[i].length, (*fields[i])["length"].number);
      EXPECT_EQ(s.fields[i].decimals, (*fields[i])["decimals"].number);
      EXPECT_EQ(s.fields[i].flags, std::stoul((*fields[i])["flags"].text, nullptr, 16));
    }
    EXPECT_EQ(t->memo_path().empty(), tj["memo_file"].is_null());
    if (!tj.has("records_first_20")) continue;
    for (const Json& rj : tj["records_first_20"].items) {
      const auto recno = static_cast<std::uint32_t>(rj["recno"].number);
      const Record rec = t->read(recno);
      EXPECT_EQ(rec.deleted(), rj["deleted"].boolean) << "record " << recno;
      for (int i = 0; i < rec.field_count(); ++i)
        if (rj["values"].has(rec.field(i).name))
          check_value(*t, rec, i, rj["values"][rec.field(i).name], rj, t->code_page(),
                    "record " + std::to_string(recno));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ForeignSets,
                         ::testing::Values("vfp-northwind", "vfp-freetables", "ruby-foxprodb", "ruby-legacy",
                                           "perl-xbase", "go-foxpro"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

TEST(ForeignTables, VisualFoxProTablesAreReadOnly) {
  testing_support::TempDir tmp;
  testing_support::copy_foreign_set("go-foxpro", tmp.path());
  auto t = Table::open(tmp.file("TEST.DBF"));
  Record r = t->read(1);
  ASSERT_TRUE(t->lock_record(1));
  try {
    t->write(r);
    FAIL() << "write to a Visual FoxPro table was accepted";
  } catch (const TableError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
    EXPECT_NE(std::string(e.what()).find("0x30"), std::string::npos) << e.what();
  }
  EXPECT_THROW(t->append_blank(), TableError);
  t->close();
  EXPECT_EQ(testing_support::read_file(tmp.file("TEST.DBF")),
            testing_support::read_file(testing_support::foreign_fixture("go-foxpro/TEST.DBF")));
}

TEST(ForeignTables, FileNamesResolveWithoutRegardToCase) {
  const std::string dir = testing_support::foreign_fixture("vfp-freetables");
  OpenOptions o;
  o.read_only = true;
  auto t = Table::open(dir + "/alltypes.dbf", o);
  // The folder's listing gives the file's own name, on every system.
  EXPECT_EQ(rt::os::basename_of(t->path()), "AllTypes.DBF");
  EXPECT_EQ(rt::os::basename_of(t->memo_path()), "AllTypes.FPT");
  const Record r = t->read(1);
  EXPECT_EQ(t->value(r, r.field_index("mfield")).text(), "mfield1");
  EXPECT_EQ(r.get("IFIELD").number(), 100);
  EXPECT_EQ(r.decode(r.field_index("YFIELD")).currency_text(), "1.2345");
}

}  // namespace
