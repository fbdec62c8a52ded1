// dbftool's JSON reader (the input of `dbftool load`) and its field
// formatting (the output of `dump`) on any bytes: parse refuses with a
// ParseError or gives a value whose texts are valid UTF-8 and that writes
// back to the same value; formatting any stored bytes as any field type gives
// valid JSON.
//
// dbftool's sources are not in a library (each cmd/ folder is one program),
// so the two units are compiled into this target directly.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cmd/dbftool/field_format.cc"
#include "cmd/dbftool/json.cc"

using namespace dbftool;

namespace {

void write_value(json::Writer& w, const json::Value& v) {
  switch (v.kind) {
    case json::Value::Kind::Null: w.null(); break;
    case json::Value::Kind::Bool: w.boolean(v.boolean); break;
    case json::Value::Kind::Number: w.number(v.text); break;
    case json::Value::Kind::String: w.string(v.text); break;
    case json::Value::Kind::Array:
      w.begin_array();
      for (const auto& i : v.items) write_value(w, i);
      w.end_array();
      break;
    case json::Value::Kind::Object:
      w.begin_object();
      for (const auto& [k, m] : v.members) {
        w.key(k);
        write_value(w, m);
      }
      w.end_object();
      break;
  }
}

bool same(const json::Value& a, const json::Value& b) {
  if (a.kind != b.kind || a.boolean != b.boolean || a.text != b.text || a.items.size() != b.items.size() ||
      a.members.size() != b.members.size())
    return false;
  for (std::size_t i = 0; i < a.items.size(); ++i)
    if (!same(a.items[i], b.items[i])) return false;
  for (std::size_t i = 0; i < a.members.size(); ++i)
    if (a.members[i].name != b.members[i].name || !same(a.members[i].value, b.members[i].value)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const json::Value v = json::parse(bytes);
    std::string out;
    json::Writer w(out);
    write_value(w, v);
    if (!same(json::parse(out), v)) std::abort();
  } catch (const json::ParseError&) {
  }

  if (size >= 1) {
    static const char kTypes[] = "CNFDLIBYTVQMGW";
    FieldShape f{kTypes[data[0] % (sizeof kTypes - 1)], static_cast<int>(size - 1), 2};
    std::string field_out, memo_out;
    json::Writer fw(field_out), mw(memo_out);
    write_field_json(fw, f, bytes.substr(1), rt::text::CodePage::CP1252, data[0] & 0x80);
    write_memo_json(mw, f.type, bytes.substr(1), rt::text::CodePage::CP850);
    try {
      (void)json::parse(field_out);
      (void)json::parse(memo_out);
    } catch (const json::ParseError&) {
      std::abort();  // dump must always write valid JSON
    }
    (void)field_problem(f, bytes.substr(1));
    (void)field_csv(f, bytes.substr(1), rt::text::CodePage::CP437, false);
  }
  return 0;
}
