#include "app/gs1.h"

#include <cctype>
#include <string>

#include "runtime/text/convert.h"

namespace app::gs1 {
namespace {

using rt::text::pad_right;
using rt::text::trim;

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

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// Characters from 1-based position `from` to the end ("" past the end).
std::string_view rest(std::string_view s, std::size_t from) {
  return from - 1 >= s.size() ? std::string_view() : s.substr(from - 1);
}

// Characters 3 to p-1 (1-based) of r: the value of an AI ended by a separator at p.
std::string_view between(std::string_view r, std::size_t p) {
  if (p <= 3) return {};
  return r.substr(2, p - 3);
}

// 1-based position of the first "@", 0 when there is none.
std::size_t sep_pos(std::string_view r) {
  const auto at = r.find('@');
  return at == std::string_view::npos ? 0 : at + 1;
}

// The value of a variable-length element (serial, lot): characters 3 up to
// the next separator, or to the end of the code when none follows, trimmed
// and cut or padded to `width`.  Returns what follows the separator ("" when
// the value ran to the end).
std::string_view take_value(std::string_view r, std::string& field, std::size_t width) {
  const std::size_t q = sep_pos(r);
  field = pad_right(trim(q == 0 ? rest(r, 3) : between(r, q)), width);
  return q == 0 ? std::string_view() : rest(r, q + 1);
}

// Length (identifier and value) of an element whose length is fixed by its
// first two digits, so that no separator follows it: 00, 01-04, 11-19
// (dates), 20, 31-36 (measures) and 41; 0 for every other element, which
// runs to the next separator.
std::size_t fixed_length(std::string_view r) {
  if (r.size() < 2 || !std::isdigit(static_cast<unsigned char>(r[0])) ||
      !std::isdigit(static_cast<unsigned char>(r[1])))
    return 0;
  const int two = (r[0] - '0') * 10 + (r[1] - '0');
  if (two == 0) return 20;
  if (two >= 1 && two <= 3) return 16;
  if (two == 4) return 18;
  if (two >= 11 && two <= 19) return 8;
  if (two == 20) return 4;
  if (two >= 31 && two <= 36) return 10;
  if (two == 41) return 16;
  return 0;
}

}  // namespace

std::string normalize_separators(std::string_view text) {
  return replace_all(replace_all(text, "<GS>", "@"), "@@", "@");
}

bool looks_like_gs1(std::string_view text) {
  const std::string t = trim(text);
  if (t.size() <= 20) return false;
  if (text.find("01") == std::string_view::npos || text.find("21") == std::string_view::npos) return false;
  return !text.empty() && (text[0] == '0' || text[0] == '1' || text[0] == '2');
}

rt::text::Date date_in(std::string_view t) {
  if (t.size() < 8) return {};
  const std::string_view d = t.substr(2, 6);
  for (char c : d)
    if (!std::isdigit(static_cast<unsigned char>(c))) return {};
  const int yy = (d[0] - '0') * 10 + (d[1] - '0');
  const int mm = (d[2] - '0') * 10 + (d[3] - '0');
  const int dd = (d[4] - '0') * 10 + (d[5] - '0');
  auto date = rt::text::Date::from_ymd(2000 + yy, mm, dd);
  return date ? *date : rt::text::Date{};
}

std::string drop_symbology_prefix(std::string_view text) {
  if (!starts_with(text, "+C1")) return std::string(text);
  return std::string(text.substr(3)) + "   ";
}

std::string split(std::string_view scanned, TraceFields& f) {
  std::string text = normalize_separators(trim(drop_symbology_prefix(scanned)));
  // Separators at the end of the code end nothing: they become blanks.
  for (auto i = text.size(); i > 0 && (text[i - 1] == '@' || text[i - 1] == ' '); --i)
    if (text[i - 1] == '@') text[i - 1] = ' ';

  if (!looks_like_gs1(text)) {
    f.code = std::string(60, ' ');
    return text;
  }
  if (!starts_with(text, "01")) return text;

  const std::string_view t = text;
  f.gtin = pad_right(t.substr(2, 14), 14);
  if (t.find('@') == std::string_view::npos) {
    // A code without any separator yields no lot or expiry unless it
    // carries them itself.
    f.lot = std::string(10, ' ');
    f.expiry = {};
  }

  // The elements after the GTIN, in any order.  A fixed-length element
  // needs no separator after it; a serial, a lot or any other element runs
  // to the next separator (or to the end of the code).
  std::string_view r = rest(t, 17);
  while (!r.empty()) {
    if (r.front() == '@' || r.front() == ' ') {
      r.remove_prefix(1);
    } else if (starts_with(r, "21")) {
      r = take_value(r, f.serial, 20);
    } else if (starts_with(r, "10")) {
      r = take_value(r, f.lot, 10);
    } else if (starts_with(r, "17")) {
      f.expiry = date_in(r);
      r = rest(r, 9);
    } else if (const std::size_t n = fixed_length(r)) {
      r = rest(r, n + 1);  // production date and the like: skipped
    } else {
      const std::size_t q = sep_pos(r);
      r = q == 0 ? std::string_view() : rest(r, q + 1);
    }
  }
  return text;
}

std::string retype_keys(const TraceFields& f, bool century) {
  std::string keys = pad_right(f.serial, 20) + '\r';
  if (!trim(f.lot).empty()) {
    std::string date = rt::text::dtoc(f.expiry);
    if (century && !f.expiry.empty()) date = date.substr(0, 6) + std::to_string(f.expiry.year());
    keys += pad_right(f.lot, 10) + '\r' + date;
  }
  return keys;
}

}  // namespace app::gs1
