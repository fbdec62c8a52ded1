// Compiles any text as an expression, and evaluates what compiles against a
// few records (including NULL values), with keys when it can be a key.
// Nothing may crash, hang, leak or grow without bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/expr/expression.h"
#include "runtime/expr/key_encoding.h"

namespace {

using rt::Value;
using rt::expr::FieldInfo;
using rt::expr::FieldRef;

// Every name is a field; its type follows from its first letter, so that
// real key expressions (COMPTE, NUMERO, facility, ...) compile with some
// type and the type checks are exercised too.  Names starting with Q or X
// are unknown; alias "NOPE" is unknown.
class FuzzScope : public rt::expr::Scope {
 public:
  std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) const override {
    if (alias == "NOPE" || name.empty() || name[0] == 'Q' || name[0] == 'X') return std::nullopt;
    const char c = name[0];
    FieldInfo info;
    int slot;
    if (c <= 'F' || c == '_') { info = {'C', 10, 0, false}; slot = 0; }
    else if (c <= 'K') { info = {'N', 6, 2, false}; slot = 1; }
    else if (c <= 'M') { info = {'I', 4, 0, true}; slot = 2; }
    else if (c <= 'P') { info = {'D', 8, 0, false}; slot = 3; }
    else if (c <= 'S') { info = {'L', 1, 0, false}; slot = 4; }
    else if (c <= 'U') { info = {'M', 10, 0, false}; slot = 5; }
    else if (c <= 'W') { info = {'T', 8, 0, true}; slot = 6; }
    else { info = {'C', 240, 0, true}; slot = 7; }
    return FieldRef{slot, info};
  }

  void load(int slot, Value& out) const override {
    const bool null = record_ == 2 && (slot == 2 || slot == 6 || slot == 7);
    if (null) { out = Value(); return; }
    switch (slot) {
      case 0: out.mutable_text().assign(record_ == 0 ? "Audio     " : "          "); break;
      case 1: out = Value(record_ == 0 ? 1234.5 : record_ == 1 ? -0.0 : 1e300); break;
      case 2: out = Value(record_ == 0 ? 2147483647.0 : -2147483648.0); break;
      case 3: out = Value(record_ == 0 ? *rt::text::Date::from_ymd(2026, 12, 8) : rt::text::Date{}); break;
      case 4: out = Value(record_ == 1); break;
      case 5: out.mutable_text().assign(record_ == 0 ? "a memo\r\nwith @ lines" : ""); break;
      case 6: out = Value(rt::text::Date::from_julian(2449749)); break;
      default: out.mutable_text().assign(240, static_cast<char>('A' + record_)); break;
    }
  }
  long recno() const override { return record_ + 1; }
  bool deleted() const override { return record_ == 1; }
  rt::text::Date today() const override { return *rt::text::Date::from_ymd(2026, 12, 9); }
  rt::text::DateWindow date_window() const override { return rt::text::DateWindow{2026}; }
  std::optional<rt::text::CodePage> code_page() const override { return rt::text::CodePage::CP850; }

  int record_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FuzzScope scope;
  rt::expr::Expression e;
  try {
    e = rt::expr::Expression::compile(text, scope);
  } catch (const rt::expr::Error& err) {
    // The position always points into the text or just past its end.
    if (err.position() > size + 1) __builtin_trap();
    return 0;
  }
  std::optional<rt::expr::KeyFormat> format;
  try {
    format = e.key_format();
  } catch (const rt::expr::Error&) {
  }
  std::string key;
  for (int r = 0; r < 3; ++r) {
    scope.record_ = r;
    try {
      const Value& v = e.evaluate(scope);
      if (v.is_text() && v.text().size() > rt::expr::kMaxTextResult) __builtin_trap();
      if (v.type() != rt::ValueType::Nil && v.type() != e.type()) __builtin_trap();
      if (format) {
        e.key(scope, *format, key);
        if (key.size() != format->stored_length()) __builtin_trap();
        (void)rt::expr::decode_key(key, *format);
      }
      if (e.type() == rt::ValueType::Logical) (void)e.holds(scope);
    } catch (const rt::expr::Error&) {
    }
  }
  return 0;
}
