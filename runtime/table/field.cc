#include "runtime/table/field.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/table/error.h"
#include "runtime/text/convert.h"

namespace rt::table {

namespace {

std::uint32_t le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) | (static_cast<std::uint32_t>(u[1]) << 8) |
         (static_cast<std::uint32_t>(u[2]) << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}

std::uint64_t le64(const char* p) {
  return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

bool bit_set(std::string_view flags, int bit) {
  if (bit < 0) return false;
  const auto byte = static_cast<std::size_t>(bit / 8);
  if (byte >= flags.size()) return false;
  return (static_cast<unsigned char>(flags[byte]) >> (bit % 8)) & 1;
}

bool all_of(std::string_view s, char c) {
  for (char x : s)
    if (x != c) return false;
  return true;
}

bool blank(std::string_view s) {
  for (char x : s)
    if (x != ' ' && x != '\0') return false;
  return true;
}

// Number of an N/F field's text; nullopt when blank.  The common shape
// (blanks, sign, at most 15 digits with a point) is read directly: an exact
// integer mantissa divided by an exact power of ten is the correctly rounded
// value, the same as the general reader gives.
std::optional<double> parse_number(std::string_view s) {
  static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10,
                                      1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20};
  const char* p = s.data();
  const char* const end = p + s.size();
  while (p < end && (*p == ' ' || *p == '\0')) ++p;
  if (p == end) return std::nullopt;
  bool neg = false;
  if (*p == '-' || *p == '+') neg = *p++ == '-';
  std::uint64_t mant = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; p < end; ++p) {
    const auto d = static_cast<unsigned>(static_cast<unsigned char>(*p) - '0');
    if (d < 10) {
      mant = mant * 10 + d;
      ++digits;
      decimals += point ? 1 : 0;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0 || digits > 15 || !blank(std::string_view(p, static_cast<std::size_t>(end - p)))) return text::val(s);
  const double v = static_cast<double>(mant) / kPow10[decimals];
  return neg ? -v : v;
}

std::optional<text::Date> parse_date(std::string_view s) {
  if (blank(s) || all_of(s, '0')) return std::nullopt;
  auto d = text::stod(s);
  if (!d || d->empty()) return std::nullopt;
  return d;
}

// V/Q: the used part of the field.
std::string_view varlen_part(const Field& f, std::string_view bytes, std::string_view null_flags) {
  if (bit_set(null_flags, f.varlen_bit) && !bytes.empty()) {
    const auto used = static_cast<unsigned char>(bytes.back());
    return bytes.substr(0, std::min<std::size_t>(used, bytes.size() - 1));
  }
  return bytes;
}

std::string number_text(const Value& v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v.number());
  return buf;
}

[[noreturn]] void refuse(const std::string& file, const Field& f, const std::string& why) {
  throw TableError(ErrorKind::ValueRefused, file, "field " + f.name + " " + f.describe() + ": " + why);
}

[[noreturn]] void wrong_type(const std::string& file, const Field& f, const Value& v) {
  throw TableError(ErrorKind::Usage, file,
                   "field " + f.name + " " + f.describe() + " cannot take a value of type " + type_name(v.type()));
}

}  // namespace

bool known_field_type(char c) {
  switch (c) {
    case 'C': case 'N': case 'F': case 'D': case 'L': case 'M': case 'G': case 'P':
    case 'I': case 'B': case 'Y': case 'T': case 'V': case 'Q': case 'W': case '0':
      return true;
    default:
      return false;
  }
}

std::string Field::describe() const {
  std::string s(1, letter());
  s += "(" + std::to_string(length);
  if (decimals) s += "," + std::to_string(decimals);
  return s + ")";
}

std::string FieldValue::currency_text() const {
  const bool neg = integer < 0;
  // Magnitude without overflow for the most negative value.
  const std::uint64_t mag = neg ? static_cast<std::uint64_t>(-(integer + 1)) + 1 : static_cast<std::uint64_t>(integer);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", neg ? "-" : "", static_cast<unsigned long long>(mag / 10000),
                static_cast<unsigned long long>(mag % 10000));
  std::string s(buf);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string FieldValue::datetime_text() const {
  if (kind != Kind::DateTime) return "";
  const int secs = static_cast<int>(millis / 1000);
  return text::iso_date(date) + "T" + text::time_of_day(secs);
}

std::int64_t decode_memo_ref(const Field& f, std::string_view b) {
  if (b.size() == 4) return le32(b.data());
  if (blank(b)) return 0;
  std::int64_t n = 0;
  std::size_t i = 0;
  while (i < b.size() && b[i] == ' ') ++i;
  if (i == b.size()) return 0;
  for (; i < b.size(); ++i) {
    if (b[i] < '0' || b[i] > '9') return (b[i] == ' ' || b[i] == '\0') && all_of(b.substr(i), b[i]) ? n : -1;
    n = n * 10 + (b[i] - '0');
    if (n > 0xFFFFFFFFLL) return -1;
  }
  (void)f;
  return n;
}

void encode_memo_ref(const Field& f, std::uint32_t block, char* out) {
  if (f.length == 4) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((block >> (8 * i)) & 0xFF);
    return;
  }
  std::memset(out, ' ', f.length);
  if (block == 0) return;
  const std::string digits = std::to_string(block);
  if (digits.size() <= f.length) std::memcpy(out + f.length - digits.size(), digits.data(), digits.size());
}

FieldValue decode_field(const Field& f, std::string_view b, std::string_view null_flags) {
  FieldValue v;
  if (bit_set(null_flags, f.null_bit)) return v;  // NULL
  using K = FieldValue::Kind;
  switch (f.type) {
    case FieldType::Character:
      v.kind = K::Text;
      v.bytes.assign(b);
      break;
    case FieldType::Varchar:
      v.kind = f.binary() ? K::Binary : K::Text;
      v.bytes.assign(varlen_part(f, b, null_flags));
      break;
    case FieldType::Varbinary:
      v.kind = K::Binary;
      v.bytes.assign(varlen_part(f, b, null_flags));
      break;
    case FieldType::Numeric:
    case FieldType::Float:
      if (auto n = parse_number(b)) { v.kind = K::Number; v.number = *n; }
      break;
    case FieldType::Double:
      if (b.size() == 8) {
        const std::uint64_t bits = le64(b.data());
        double d;
        std::memcpy(&d, &bits, sizeof d);
        v.kind = K::Number;
        v.number = d;
      }
      break;
    case FieldType::Integer:
      if (b.size() == 4) { v.kind = K::Integer; v.integer = static_cast<std::int32_t>(le32(b.data())); }
      break;
    case FieldType::Currency:
      if (b.size() == 8) { v.kind = K::Currency; v.integer = static_cast<std::int64_t>(le64(b.data())); }
      break;
    case FieldType::Date:
      if (auto d = parse_date(b)) { v.kind = K::Date; v.date = *d; }
      break;
    case FieldType::DateTime:
      if (b.size() == 8) {
        const auto jdn = static_cast<std::int32_t>(le32(b.data()));
        const auto ms = static_cast<std::int32_t>(le32(b.data() + 4));
        if (jdn > 0 && ms >= 0 && ms < 86400000) {
          v.kind = K::DateTime;
          v.date = text::Date::from_julian(jdn);
          v.millis = ms;
        }
      }
      break;
    case FieldType::Logical:
      if (!b.empty()) {
        const char c = b[0];
        if (c == 'T' || c == 't' || c == 'Y' || c == 'y') { v.kind = K::Logical; v.logical = true; }
        else if (c == 'F' || c == 'f' || c == 'N' || c == 'n') { v.kind = K::Logical; v.logical = false; }
      }
      break;
    case FieldType::Memo:
    case FieldType::General:
    case FieldType::Picture:
    case FieldType::Blob: {
      const std::int64_t ref = decode_memo_ref(f, b);
      v.kind = K::Memo;
      v.memo_block = ref > 0 ? static_cast<std::uint32_t>(ref) : 0;
      break;
    }
    case FieldType::NullFlags:
      v.kind = K::Binary;
      v.bytes.assign(b);
      break;
  }
  return v;
}

double field_number(const Field& f, std::string_view b, std::string_view null_flags) {
  if (f.null_bit < 0 && (f.type == FieldType::Numeric || f.type == FieldType::Float)) {
    const auto n = parse_number(b);
    return n ? *n : 0.0;
  }
  return field_value(f, b, null_flags).number();
}

Value field_value(const Field& f, std::string_view b, std::string_view null_flags) {
  // Fast paths for the FoxPro 2.x types, which make up nearly every read.
  if (f.null_bit < 0) {
    switch (f.type) {
      case FieldType::Character: return Value(b);
      case FieldType::Numeric:
      case FieldType::Float: {
        const auto n = parse_number(b);
        return Value(n ? *n : 0.0);
      }
      case FieldType::Date: {
        const auto d = parse_date(b);
        return Value(d ? *d : text::Date{});
      }
      default: break;
    }
  }
  if (f.is_memo())
    throw TableError(ErrorKind::Usage, "", "field " + f.name + " is a memo: its text is read through the table");
  const FieldValue d = decode_field(f, b, null_flags);
  using K = FieldValue::Kind;
  if (d.kind == K::Null) {
    if (bit_set(null_flags, f.null_bit)) return Value();
    switch (f.type) {
      case FieldType::Date:
      case FieldType::DateTime: return Value(text::Date{});
      case FieldType::Logical: return Value(false);
      default: return Value(0.0);
    }
  }
  switch (d.kind) {
    case K::Text:
    case K::Binary: return Value(d.bytes);
    case K::Number: return Value(d.number);
    case K::Integer: return Value(static_cast<double>(d.integer));
    case K::Currency: return Value(static_cast<double>(d.integer) / 10000.0);
    case K::Date:
    case K::DateTime: return Value(d.date);
    case K::Logical: return Value(d.logical);
    default: return Value();
  }
}

void encode_field(const Field& f, const Value& v, char* out, const std::string& file) {
  switch (f.type) {
    case FieldType::Character: {
      if (!v.is_text() && !v.is_nil()) wrong_type(file, f, v);
      const std::string& t = v.text();
      const std::size_t n = std::min<std::size_t>(t.size(), f.length);
      std::memcpy(out, t.data(), n);
      std::memset(out + n, ' ', f.length - n);
      return;
    }
    case FieldType::Numeric:
    case FieldType::Float: {
      if (v.is_nil()) { std::memset(out, ' ', f.length); return; }
      if (!v.is_number()) wrong_type(file, f, v);
      const double n = v.number();
      if (!std::isfinite(n)) refuse(file, f, "value " + number_text(v) + " is not a number");
      const std::string s = text::str(n, f.length, f.decimals);
      if (s.size() != f.length || s.find('*') != std::string::npos)
        refuse(file, f, "value " + number_text(v) + " does not fit");
      std::memcpy(out, s.data(), f.length);
      return;
    }
    case FieldType::Date: {
      if (v.is_nil()) { std::memset(out, ' ', f.length); return; }
      if (!v.is_date()) wrong_type(file, f, v);
      const text::Date d = v.date();
      if (!d.empty() && (d.year() < 1 || d.year() > 9999))
        refuse(file, f, "date out of range (year " + std::to_string(d.year()) + ")");
      const std::string s = text::dtos(d);
      std::memcpy(out, s.data(), std::min<std::size_t>(s.size(), f.length));
      return;
    }
    case FieldType::Logical:
      if (v.is_nil()) { out[0] = ' '; return; }
      if (!v.is_logical()) wrong_type(file, f, v);
      out[0] = v.logical() ? 'T' : 'F';
      return;
    case FieldType::Memo:
    case FieldType::General:
    case FieldType::Picture:
    case FieldType::Blob:
      throw TableError(ErrorKind::Usage, file, "field " + f.name + " is a memo: its text is stored through the table");
    default:
      throw TableError(ErrorKind::Unsupported, file,
                       "field " + f.name + " of type " + std::string(1, f.letter()) + " can only be read");
  }
}

}  // namespace rt::table
