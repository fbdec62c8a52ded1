#include "app/gs1.h"

#include <cctype>
#include <optional>

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

// An AI value that may end the code: field := characters 3 to the first
// separator (or to the end when there is none).  Returns what follows the
// separator, nullopt when the value ran to the end.
std::optional<std::string_view> take_value(std::string_view r, std::string& field, std::size_t width) {
  const std::size_t q = sep_pos(r);
  if (q == 0) {
    field = pad_right(rest(r, 3), width);
    return std::nullopt;
  }
  field = pad_right(between(r, q), width);
  return rest(r, q + 1);
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
  std::string text = trim(drop_symbology_prefix(scanned));
  if (!text.empty() && text.back() == '@') text.back() = ' ';
  text = normalize_separators(text);

  if (!looks_like_gs1(text)) {
    f.code = std::string(60, ' ');
    return text;
  }
  if (!starts_with(text, "01")) return text;

  const std::string_view t = text;
  f.gtin = pad_right(t.substr(2, 14), 14);
  if (t.find('@') == std::string_view::npos) {
    // No separator at all: the serial is taken to follow "21" at positions 17-18.
    f.serial = pad_right(rest(t, 19), 20);
    f.lot = std::string(10, ' ');
    f.expiry = {};
    return text;
  }

  std::string_view r = rest(t, 17);
  if (starts_with(r, "21")) {  // serial first
    const std::size_t p = sep_pos(r);
    f.serial = pad_right(between(r, p), 20);
    if (p == 0) return text;
    r = rest(r, p + 1);
    if (starts_with(r, "17")) {
      f.expiry = date_in(r);
      f.lot = pad_right(trim(rest(r, 11)), 10);
    }
    if (starts_with(r, "10"))
      if (auto after = take_value(r, f.lot, 10)) f.expiry = date_in(*after);
  } else if (starts_with(r, "10")) {  // lot first
    const std::size_t p = sep_pos(r);
    f.lot = pad_right(between(r, p), 10);
    if (p == 0) return text;
    r = rest(r, p + 1);
    if (starts_with(r, "17")) {
      f.expiry = date_in(r);
      f.serial = pad_right(trim(rest(r, 11)), 20);
    }
  } else if (starts_with(r, "17")) {  // expiry first
    f.expiry = date_in(r);
    r = rest(r, 9);
    if (starts_with(r, "11")) r = rest(r, 9);  // production date, skipped
    if (starts_with(r, "21")) {
      if (auto after = take_value(r, f.serial, 20)) f.lot = pad_right(trim(rest(*after, 3)), 10);
    } else if (starts_with(r, "10")) {
      if (auto after = take_value(r, f.lot, 10)) f.serial = pad_right(trim(rest(*after, 3)), 20);
    }
  }
  return text;
}

std::string retype_keys(const TraceFields& f) {
  std::string keys = pad_right(f.serial, 20) + '\r';
  if (!trim(f.lot).empty()) keys += pad_right(f.lot, 10) + '\r' + rt::text::dtoc(f.expiry);
  return keys;
}

}  // namespace app::gs1
