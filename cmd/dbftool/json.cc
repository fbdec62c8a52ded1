#include "cmd/dbftool/json.h"

namespace dbftool::json {

std::optional<std::string> decode_text(std::string_view bytes, rt::text::CodePage cp) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char32_t u = rt::text::to_unicode(c, cp);
    if (u == 0xFFFD) return std::nullopt;
    rt::text::append_utf8(out, u);
  }
  return out;
}

std::optional<std::string> encode_text(std::string_view utf8, rt::text::CodePage cp, std::string* bad) {
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto [u, used] = rt::text::decode_utf8(utf8.substr(i));
    auto b = u < 0x80 ? std::optional<unsigned char>(static_cast<unsigned char>(u)) : rt::text::from_unicode(u, cp);
    if (!b || (u == 0xFFFD)) {
      if (bad) *bad = std::string(utf8.substr(i, used));
      return std::nullopt;
    }
    out.push_back(static_cast<char>(*b));
    i += used;
  }
  return out;
}

std::optional<std::string> number_from_field(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  if (s.empty()) return std::nullopt;
  std::string out;
  if (s.front() == '-' || s.front() == '+') {
    if (s.front() == '-') out.push_back('-');
    s.remove_prefix(1);
  }
  std::string_view int_part = s.substr(0, s.find('.'));
  std::string_view frac_part;
  if (int_part.size() < s.size()) frac_part = s.substr(int_part.size() + 1);
  if (int_part.empty() && frac_part.empty()) return std::nullopt;
  for (char c : int_part)
    if (c < '0' || c > '9') return std::nullopt;
  for (char c : frac_part)
    if (c < '0' || c > '9') return std::nullopt;
  // JSON allows no leading zeros: "007" -> "7".
  while (int_part.size() > 1 && int_part.front() == '0') int_part.remove_prefix(1);
  out += int_part.empty() ? std::string_view("0") : int_part;
  if (!frac_part.empty()) {
    out.push_back('.');
    out += frac_part;
  }
  if (out == "-0" ) return std::string("0");
  return out;
}

}  // namespace dbftool::json
