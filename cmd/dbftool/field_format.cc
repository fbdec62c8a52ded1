#include "cmd/dbftool/field_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/text/date.h"

namespace dbftool {
namespace {

std::string_view rtrim_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool all_of(std::string_view s, char c) {
  for (char x : s)
    if (x != c) return false;
  return true;
}

template <class T>
T load_le(std::string_view raw) {
  T v{};
  std::memcpy(&v, raw.data(), sizeof v);  // the tables are little-endian, as is every platform we build for
  return v;
}

// A decoded value, in a form both JSON and CSV can show.
struct Shown {
  enum Kind { Null, Text, Number, Decimal, Bool, Hex, Invalid } kind = Null;
  std::string text;  // UTF-8 text, number text, decimal text, hex digits or the invalid stored text
  bool b = false;
};

Shown text_or_hex(std::string_view bytes, rt::text::CodePage cp) {
  if (auto utf8 = json::decode_text(bytes, cp)) return {Shown::Text, *utf8};
  return {Shown::Hex, json::to_hex(bytes)};
}

Shown invalid(std::string_view raw) {
  std::string t;
  for (unsigned char c : raw) t.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return {Shown::Invalid, t};
}

std::optional<std::string> iso_date(std::string_view raw) {
  if (raw.size() != 8) return std::nullopt;
  for (char c : raw)
    if (c < '0' || c > '9') return std::nullopt;
  auto d = rt::text::stod(raw);
  if (!d || d->empty()) return std::nullopt;
  return rt::text::iso_date(*d);
}

std::string decimal_of_scaled(std::int64_t v, int scale_digits) {
  // v / 10^scale_digits, exactly, without trailing zeros after the point.
  bool neg = v < 0;
  std::uint64_t u = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  std::string digits = std::to_string(u);
  if (static_cast<int>(digits.size()) <= scale_digits)
    digits.insert(0, static_cast<std::size_t>(scale_digits + 1) - digits.size(), '0');
  std::string int_part = digits.substr(0, digits.size() - static_cast<std::size_t>(scale_digits));
  std::string frac = digits.substr(int_part.size());
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string out = neg && (u != 0) ? "-" : "";
  out += int_part;
  if (!frac.empty()) out += "." + frac;
  return out;
}

Shown decode(const FieldShape& f, std::string_view raw, rt::text::CodePage cp, bool keep_blanks) {
  switch (f.type) {
    case 'C':
    case 'V':
      return text_or_hex(keep_blanks || f.type == 'V' ? raw : rtrim_blanks(raw), cp);
    case 'N':
    case 'F': {
      if (all_of(raw, ' ')) return {};
      if (auto n = json::number_from_field(raw)) return {Shown::Number, *n};
      return invalid(raw);
    }
    case 'D': {
      if (all_of(raw, ' ') || all_of(raw, '0') || all_of(raw, '\0')) return {};
      if (auto d = iso_date(raw)) return {Shown::Text, *d};
      return invalid(raw);
    }
    case 'L': {
      if (raw.size() != 1) return invalid(raw);
      switch (raw[0]) {
        case 'T': case 't': case 'Y': case 'y': return {Shown::Bool, "", true};
        case 'F': case 'f': case 'N': case 'n': return {Shown::Bool, "", false};
        case ' ': case '?': case '\0': return {};
        default: return invalid(raw);
      }
    }
    case 'I':
      if (raw.size() != 4) return invalid(raw);
      return {Shown::Number, std::to_string(load_le<std::int32_t>(raw))};
    case 'Y':
      if (raw.size() != 8) return invalid(raw);
      return {Shown::Decimal, decimal_of_scaled(load_le<std::int64_t>(raw), 4)};
    case 'B': {
      if (raw.size() != 8) return invalid(raw);
      double d = load_le<double>(raw);
      if (!std::isfinite(d)) return {};
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, d);
      std::string s(buf, r.ptr);
      // JSON numbers need a digit before an exponent and no "inf"; to_chars
      // gives forms like 2.3, 1e+100, -0: all valid JSON.
      return {Shown::Number, s};
    }
    case 'T': {
      if (raw.size() != 8) return invalid(raw);
      std::int32_t jdn = load_le<std::int32_t>(raw.substr(0, 4));
      std::int32_t ms = load_le<std::int32_t>(raw.substr(4, 4));
      if (jdn == 0 && ms == 0) return {};
      if (jdn <= 0 || ms < 0 || ms >= 86400000) return invalid(json::to_hex(raw));
      rt::text::Date d = rt::text::Date::from_julian(jdn);
      int secs = ms / 1000;
      char buf[40];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year(), d.month(), d.day(), secs / 3600,
                    secs / 60 % 60, secs % 60);
      return {Shown::Text, buf};
    }
    default:
      return {Shown::Hex, json::to_hex(raw)};
  }
}

void write_shown(json::Writer& w, const Shown& s) {
  switch (s.kind) {
    case Shown::Null: w.null(); break;
    case Shown::Text:
    case Shown::Decimal: w.string(s.text); break;
    case Shown::Number: w.number(s.text); break;
    case Shown::Bool: w.boolean(s.b); break;
    case Shown::Hex:
      w.begin_object();
      w.key("hex");
      w.string(s.text);
      w.end_object();
      break;
    case Shown::Invalid:
      w.begin_object();
      w.key("invalid");
      w.string(s.text);
      w.end_object();
      break;
  }
}

std::string csv_of(const Shown& s) {
  switch (s.kind) {
    case Shown::Null: return "";
    case Shown::Bool: return s.b ? "T" : "F";
    default: return s.text;
  }
}

Shown memo_shown(char type, std::string_view bytes, rt::text::CodePage cp) {
  if (type == 'M') return text_or_hex(bytes, cp);
  return {Shown::Hex, json::to_hex(bytes)};
}

}  // namespace

bool is_memo_type(char type) { return type == 'M' || type == 'G' || type == 'P' || type == 'W'; }

void write_field_json(json::Writer& w, const FieldShape& f, std::string_view raw, rt::text::CodePage cp,
                      bool keep_blanks) {
  write_shown(w, decode(f, raw, cp, keep_blanks));
}

void write_memo_json(json::Writer& w, char type, std::string_view bytes, rt::text::CodePage cp) {
  write_shown(w, memo_shown(type, bytes, cp));
}

std::string field_csv(const FieldShape& f, std::string_view raw, rt::text::CodePage cp, bool keep_blanks) {
  return csv_of(decode(f, raw, cp, keep_blanks));
}

std::string memo_csv(char type, std::string_view bytes, rt::text::CodePage cp) {
  return csv_of(memo_shown(type, bytes, cp));
}

std::string csv_quote(std::string_view cell) {
  if (cell.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(cell);
  std::string out = "\"";
  for (char c : cell) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::optional<std::string> field_problem(const FieldShape& f, std::string_view raw) {
  Shown s = decode(f, raw, rt::text::CodePage::CP850, false);
  if (s.kind != Shown::Invalid) return std::nullopt;
  switch (f.type) {
    case 'N': case 'F': return "'" + s.text + "' is not a number";
    case 'D': return "'" + s.text + "' is not a date";
    case 'L': return "'" + s.text + "' is not a logical value";
    case 'T': return "bytes " + s.text + " are not a date and time";
    default: return "unreadable value '" + s.text + "'";
  }
}

}  // namespace dbftool
