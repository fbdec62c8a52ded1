#include "runtime/expr/key_encoding.h"

#include <cmath>
#include <cstring>

namespace rt::expr {

const char* key_type_name(KeyType t) {
  switch (t) {
    case KeyType::Character: return "C";
    case KeyType::Numeric: return "N";
    case KeyType::Date: return "D";
    case KeyType::DateTime: return "T";
    case KeyType::Integer: return "I";
  }
  return "?";
}

KeyFormat key_format(KeyType type, std::size_t char_length, bool nullable) {
  KeyFormat f;
  f.type = type;
  f.nullable = nullable;
  switch (type) {
    case KeyType::Character:
      if (char_length < 1 || char_length > kMaxKeyLength)
        throw KeyError("a character key is 1 to 240 bytes long, not " + std::to_string(char_length));
      f.length = char_length;
      break;
    case KeyType::Integer: f.length = 4; break;
    default: f.length = 8; break;
  }
  return f;
}

void encode_double(double d, unsigned char out[8]) {
  if (d == 0) d = 0;  // -0.0 sorts with 0
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  if (bits >> 63) bits = ~bits;
  else bits |= std::uint64_t{1} << 63;
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<unsigned char>(bits & 0xFF);
    bits >>= 8;
  }
}

double decode_double(const unsigned char in[8]) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | in[i];
  if (bits >> 63) bits &= ~(std::uint64_t{1} << 63);
  else bits = ~bits;
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

namespace {

[[noreturn]] void mismatch(const Value& v, const KeyFormat& f) {
  throw KeyError(std::string("a value of type ") + type_name(v.type()) + " does not fit a " +
                 key_type_name(f.type) + " key");
}

void check_format(const KeyFormat& f) {
  const bool ok = f.type == KeyType::Character ? (f.length >= 1 && f.length <= kMaxKeyLength)
                  : f.type == KeyType::Integer ? f.length == 4
                                               : f.length == 8;
  if (!ok)
    throw KeyError(std::string("a ") + key_type_name(f.type) + " key cannot be " +
                   std::to_string(f.length) + " bytes long");
}

// Writes the value part of the key at out[at...]; out already has its size.
void put_value(const Value& v, const KeyFormat& f, std::string& out, std::size_t at, bool pad) {
  unsigned char buf[8];
  auto put8 = [&](double d) {
    encode_double(d, buf);
    std::memcpy(out.data() + at, buf, 8);
  };
  switch (f.type) {
    case KeyType::Character: {
      if (!v.is_text()) mismatch(v, f);
      const std::string& s = v.text();
      const std::size_t n = s.size() < f.length ? s.size() : f.length;
      if (!pad) out.resize(at + n);
      std::memcpy(out.data() + at, s.data(), n);
      break;
    }
    case KeyType::Numeric:
      if (!v.is_number()) mismatch(v, f);
      put8(v.number());
      break;
    case KeyType::Date:
      if (!v.is_date()) mismatch(v, f);
      put8(static_cast<double>(v.date().julian()));
      break;
    case KeyType::DateTime:
      if (v.is_date()) put8(static_cast<double>(v.date().julian()));
      else if (v.is_number()) put8(v.number());
      else mismatch(v, f);
      break;
    case KeyType::Integer: {
      if (!v.is_number()) mismatch(v, f);
      const double d = std::trunc(v.number());
      if (!(d >= -2147483648.0 && d <= 2147483647.0))
        throw KeyError("the number does not fit an integer key");
      const auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(d)) ^ 0x80000000u;
      out[at] = static_cast<char>(u >> 24);
      out[at + 1] = static_cast<char>(u >> 16);
      out[at + 2] = static_cast<char>(u >> 8);
      out[at + 3] = static_cast<char>(u);
      break;
    }
  }
}

void encode(const Value& v, const KeyFormat& f, std::string& out, bool pad) {
  check_format(f);
  out.assign(f.stored_length(), f.pad_byte());
  std::size_t at = 0;
  if (f.nullable) {
    if (v.is_nil()) {
      out.assign(f.stored_length(), '\0');
      return;
    }
    out[0] = static_cast<char>(0x80);
    at = 1;
  } else if (v.is_nil()) {
    // No NULL marker in this format: the empty key (blanks, or the zero value).
    if (f.type == KeyType::Character) {
      if (!pad) out.clear();
      return;
    }
    put_value(f.type == KeyType::Date ? Value(text::Date{}) : Value(0.0), f, out, at, true);
    return;
  }
  put_value(v, f, out, at, pad);
}

}  // namespace

void encode_key(const Value& v, const KeyFormat& f, std::string& out) { encode(v, f, out, true); }

std::string encode_key(const Value& v, const KeyFormat& f) {
  std::string out;
  encode(v, f, out, true);
  return out;
}

void encode_seek_key(const Value& v, const KeyFormat& f, std::string& out) { encode(v, f, out, false); }

Value decode_key(std::string_view key, const KeyFormat& f) {
  check_format(f);
  if (key.size() != f.stored_length())
    throw KeyError("a " + std::string(key_type_name(f.type)) + " key of " +
                   std::to_string(f.stored_length()) + " bytes cannot be " +
                   std::to_string(key.size()) + " bytes long");
  if (f.nullable) {
    if (static_cast<unsigned char>(key[0]) == 0) return Value();
    key.remove_prefix(1);
  }
  const auto* p = reinterpret_cast<const unsigned char*>(key.data());
  switch (f.type) {
    case KeyType::Character: {
      std::size_t e = key.size();
      while (e > 0 && key[e - 1] == ' ') --e;
      return Value(key.substr(0, e));
    }
    case KeyType::Numeric:
    case KeyType::DateTime:
      return Value(decode_double(p));
    case KeyType::Date: {
      const double d = decode_double(p);
      // A whole day number in the calendar's range is a date; anything else
      // (a damaged key) is shown as the number it holds.
      if (d >= 0 && d <= 5373484.0 && d == std::floor(d))
        return Value(text::Date::from_julian(static_cast<std::int32_t>(d)));
      return Value(d);
    }
    case KeyType::Integer: {
      const std::uint32_t u = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                              (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
      return Value(static_cast<double>(static_cast<std::int32_t>(u ^ 0x80000000u)));
    }
  }
  return Value();
}

}  // namespace rt::expr
