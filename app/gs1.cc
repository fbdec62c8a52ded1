#include "app/gs1.h"

#include <array>
#include <cctype>
#include <string>

#include "runtime/text/convert.h"

namespace app::gs1 {
namespace {

using rt::text::pad_right;
using rt::text::trim;

bool digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool all_digits(std::string_view s) {
  for (char c : s)
    if (!digit(c)) return false;
  return true;
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.substr(i, from.size()) == from) {
      out += to;
      i += from.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

// What the station does with an element's value.
enum class Role { Skip, Gtin, Serial, Lot, Expiry, Date };

// An application identifier (AI) of the GS1 General Specifications: the
// digits that start it and its length; `fixed` for the elements of
// predefined length (no separator follows them), otherwise the longest
// value allowed (the element ends at the next separator).
struct AiSpec {
  std::string_view start;  // the identifier, or its first digits for a family
  int ai_length;           // digits of the identifier itself
  int fixed;               // predefined value length, 0 for a variable element
  int longest;             // longest value of a variable element
  Role role;
};

// The table every code is read by.  AIs not in it are skipped up to the
// next separator.
constexpr std::array<AiSpec, 35> kAis{{
    {"00", 2, 18, 0, Role::Skip},  // SSCC
    {"01", 2, 14, 0, Role::Gtin},
    {"02", 2, 14, 0, Role::Skip},  // GTIN of contained items
    {"03", 2, 14, 0, Role::Skip},
    {"04", 2, 16, 0, Role::Skip},
    {"11", 2, 6, 0, Role::Date},    // production date
    {"12", 2, 6, 0, Role::Date},    // due date
    {"13", 2, 6, 0, Role::Date},    // packaging date
    {"14", 2, 6, 0, Role::Date},
    {"15", 2, 6, 0, Role::Date},    // best before
    {"16", 2, 6, 0, Role::Date},    // sell by
    {"17", 2, 6, 0, Role::Expiry},  // expiry
    {"18", 2, 6, 0, Role::Skip},
    {"19", 2, 6, 0, Role::Skip},
    {"20", 2, 2, 0, Role::Skip},    // variant
    {"31", 4, 6, 0, Role::Skip},    // measures 31xx-36xx
    {"32", 4, 6, 0, Role::Skip},
    {"33", 4, 6, 0, Role::Skip},
    {"34", 4, 6, 0, Role::Skip},
    {"35", 4, 6, 0, Role::Skip},
    {"36", 4, 6, 0, Role::Skip},
    {"41", 3, 13, 0, Role::Skip},   // GLNs 41x
    {"10", 2, 0, 20, Role::Lot},
    {"21", 2, 0, 20, Role::Serial},
    {"22", 2, 0, 20, Role::Skip},   // consumer product variant
    {"240", 3, 0, 30, Role::Skip},  // additional product identification
    {"241", 3, 0, 30, Role::Skip},
    {"30", 2, 0, 8, Role::Skip},    // variable count
    {"37", 2, 0, 8, Role::Skip},    // count of trade items
    {"710", 3, 0, 20, Role::Skip},  // national healthcare reimbursement numbers 710-715
    {"711", 3, 0, 20, Role::Skip},
    {"712", 3, 0, 20, Role::Skip},
    {"713", 3, 0, 20, Role::Skip},
    {"714", 3, 0, 20, Role::Skip},
    {"715", 3, 0, 20, Role::Skip},
}};

const AiSpec* ai_at(std::string_view r) {
  for (const AiSpec& a : kAis)
    if (r.starts_with(a.start)) return &a;
  return nullptr;
}

// AI 01 and 14 digits at the very start.
bool starts_with_gtin(std::string_view t) { return t.size() >= 16 && t.starts_with("01") && all_digits(t.substr(2, 14)); }

Problem fault(Fault f, std::string_view ai, char c = 0) { return Problem{f, std::string(ai), c}; }

// Reads the elements of a GS1 code into `out`; the first fault found.
Problem read_elements(std::string_view t, Reading& out) {
  TraceFields& f = out.fields;
  f = TraceFields{};
  std::size_t pos = 0;
  while (pos < t.size()) {
    if (t[pos] == '@') {
      ++pos;
      continue;
    }
    const std::string_view r = t.substr(pos);
    const AiSpec* spec = ai_at(r);
    if (!spec) {
      // An element this station does not know runs to the next separator.
      const std::size_t q = r.find('@');
      pos = q == std::string_view::npos ? t.size() : pos + q + 1;
      continue;
    }
    const std::size_t ai_len = static_cast<std::size_t>(spec->ai_length);
    const std::string_view ai = r.substr(0, std::min(ai_len, r.size()));
    if (r.size() < ai_len || !all_digits(ai)) return fault(Fault::Malformed, ai);
    std::string_view value;
    if (spec->fixed > 0) {
      const std::size_t n = static_cast<std::size_t>(spec->fixed);
      value = r.substr(ai_len, n);
      const bool date = spec->role == Role::Expiry || spec->role == Role::Date;
      if (value.size() < n || !all_digits(value)) return fault(date ? Fault::Date : Fault::Malformed, ai);
      pos += ai_len + n;
    } else {
      const std::size_t q = r.find('@', ai_len);
      value = r.substr(ai_len, q == std::string_view::npos ? std::string_view::npos : q - ai_len);
      pos = q == std::string_view::npos ? t.size() : pos + q + 1;
      if (value.empty()) return fault(Fault::Malformed, ai);
      if (value.size() > static_cast<std::size_t>(spec->longest))
        return fault(spec->role == Role::Serial ? Fault::SerialTooLong
                     : spec->role == Role::Lot  ? Fault::LotTooLong
                                                : Fault::Malformed,
                     ai);
    }
    switch (spec->role) {
      case Role::Gtin:
        if (!gtin_check_digit_ok(value)) return fault(Fault::CheckDigit, ai);
        f.gtin = std::string(value);
        break;
      case Role::Expiry:
      case Role::Date: {
        const auto d = gs1_date(value);
        if (!d) return fault(Fault::Date, ai);
        if (spec->role == Role::Expiry) {
          f.expiry = *d;
          out.has_expiry = true;
        }
        break;
      }
      case Role::Serial:
      case Role::Lot: {
        for (char c : value)
          if (!in_character_set(c)) return fault(Fault::Character, ai, c);
        if (spec->role == Role::Lot) {
          if (value.size() > kLotWidth) return fault(Fault::LotTooLong, ai);
          f.lot = pad_right(value, kLotWidth);
          out.has_lot = true;
        } else {
          f.serial = pad_right(value, kSerialWidth);
          out.has_serial = true;
        }
        break;
      }
      case Role::Skip: break;
    }
  }
  f.code = pad_right(t.substr(0, kCodeWidth), kCodeWidth);
  return {};
}

}  // namespace

std::string problem_message(const Problem& p) {
  const std::string ai = " (AI " + p.ai + ")!!!";
  switch (p.fault) {
    case Fault::None: return "";
    case Fault::CheckDigit: return "GTIN Con D\xA1gito Verificador Incorrecto!!!";
    case Fault::Date: return "Fecha Inv\xA0lida En El C\xA2" "digo" + ai;
    case Fault::SerialTooLong: return "N\xA3mero De Serie De M\xA0s De 20 Caracteres!!!";
    case Fault::LotTooLong: return "Lote De M\xA0s De 10 Caracteres!!!";
    case Fault::Character: {
      const unsigned char c = static_cast<unsigned char>(p.character);
      const std::string shown = c < 32 || c == 127 ? "#" + std::to_string(c) : "\"" + std::string(1, p.character) + "\"";
      return "Car\xA0" "cter " + shown + " No V\xA0lido: Revise El Teclado Del Lector!!!";
    }
    case Fault::Malformed: return "C\xA2" "digo GS1 Mal Formado" + ai;
  }
  return "";
}

std::string normalize_separators(std::string_view text) {
  return replace_all(replace_all(replace_all(text, "\x1d", "@"), "<GS>", "@"), "@@", "@");
}

std::string strip_reader_prefix(std::string_view text) {
  std::string t = trim(text);
  if (t.size() >= 3 && (t[0] == ']' || t[0] == '+') && letter(t[1]) && digit(t[2])) t.erase(0, 3);
  std::size_t lead = 0;
  while (lead < t.size()) {
    if (t[lead] == '@' || t[lead] == '\x1d' || t[lead] == ' ') {
      ++lead;
    } else if (std::string_view(t).substr(lead).starts_with("<GS>")) {
      lead += 4;
    } else {
      break;
    }
  }
  return trim(std::string_view(t).substr(lead));
}

bool is_gs1(std::string_view text) { return starts_with_gtin(strip_reader_prefix(text)); }

bool gtin_check_digit_ok(std::string_view g) {
  if (g.size() != 14 || !all_digits(g)) return false;
  int sum = 0;
  for (std::size_t i = 0; i < 13; ++i) sum += (g[i] - '0') * (i % 2 == 0 ? 3 : 1);
  return (10 - sum % 10) % 10 == g[13] - '0';
}

std::optional<rt::text::Date> gs1_date(std::string_view d) {
  if (d.size() != 6 || !all_digits(d)) return std::nullopt;
  const int year = 2000 + (d[0] - '0') * 10 + (d[1] - '0');
  const int month = (d[2] - '0') * 10 + (d[3] - '0');
  int day = (d[4] - '0') * 10 + (d[5] - '0');
  if (month < 1 || month > 12) return std::nullopt;
  if (day == 0) day = rt::text::days_in_month(year, month);
  return rt::text::Date::from_ymd(year, month, day);
}

bool in_character_set(char c) {
  if (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 128) return true;
  return std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos;
}

Reading read(std::string_view scanned) {
  Reading out;
  const std::string t = normalize_separators(strip_reader_prefix(scanned));
  out.text = t;
  out.gs1 = starts_with_gtin(t);  // the prefix is gone already
  if (!out.gs1) return out;
  out.problem = read_elements(t, out);
  if (out.problem) {
    out.fields = TraceFields{};
    out.has_serial = out.has_lot = out.has_expiry = false;
  }
  return out;
}

Reading split(std::string_view scanned, TraceFields& fields) {
  Reading r = read(scanned);
  if (!r.gs1) {
    fields.code = std::string(kCodeWidth, ' ');
  } else if (!r.problem) {
    fields = r.fields;
  }
  return r;
}

std::string retype_keys(const TraceFields& f, bool century) {
  std::string keys = pad_right(f.serial, kSerialWidth) + '\r';
  if (!trim(f.lot).empty()) {
    std::string date = rt::text::dtoc(f.expiry);
    if (century && !f.expiry.empty()) date = date.substr(0, 6) + std::to_string(f.expiry.year());
    keys += pad_right(f.lot, kLotWidth) + '\r' + date;
  }
  return keys;
}

}  // namespace app::gs1
