#include "runtime/console/picture.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "runtime/text/convert.h"

namespace rt::con {

Picture Picture::parse(std::string_view picture) {
  Picture pic;
  std::string_view rest = picture;
  if (!rest.empty() && rest.front() == '@') {
    const auto blank = rest.find(' ');
    const std::string_view functions = rest.substr(1, blank == std::string_view::npos ? rest.size() : blank - 1);
    rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank + 1);
    for (std::size_t i = 0; i < functions.size(); ++i) {
      const char f = static_cast<char>(std::toupper(static_cast<unsigned char>(functions[i])));
      if (f == 'Z') pic.blank_zero = true;
      if (f == '!') pic.upper = true;
      if (f == 'K') pic.clear_first = true;
      if (f == 'S') {
        int n = 0;
        while (i + 1 < functions.size() && std::isdigit(static_cast<unsigned char>(functions[i + 1])) && n < 10000) {
          n = n * 10 + (functions[++i] - '0');
        }
        pic.scroll_width = n;
      }
    }
  }
  pic.mask = std::string(rest);
  return pic;
}

std::string date_text(text::Date d, bool century) {
  if (d.empty()) return century ? "  /  /    " : "  /  /  ";
  if (!century) return text::dtoc(d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day(), d.month(), d.year() % 10000);
  return buf;
}

namespace {

// A number laid into a numeric template: digits fill the 9 and # places
// from the right, the decimal point stands where the template has it, and
// separators before the first digit turn into blanks.
std::string number_into_mask(double n, const std::string& mask) {
  int slots = 0, decimals = 0;
  bool after_point = false;
  for (char m : mask) {
    if (m == '.') after_point = true;
    if (m == '9' || m == '#') {
      ++slots;
      if (after_point) ++decimals;
    }
  }
  const bool has_point = mask.find('.') != std::string::npos;
  const int width = slots + (has_point ? 1 : 0);
  const std::string digits = text::str(n, width, has_point ? decimals : 0);
  if (digits.find('*') != std::string::npos) {
    std::string stars = mask;
    for (char& c : stars) {
      if (c == '9' || c == '#' || c == '.') c = '*';
    }
    return stars;
  }
  std::string out(mask.size(), ' ');
  int d = static_cast<int>(digits.size()) - 1;
  for (int i = static_cast<int>(mask.size()) - 1; i >= 0; --i) {
    const char m = mask[static_cast<std::size_t>(i)];
    if (m == '9' || m == '#' || m == '.') {
      out[static_cast<std::size_t>(i)] = d >= 0 ? digits[static_cast<std::size_t>(d--)] : ' ';
    } else {
      // A separator shows only when a digit stands on its left.
      bool more = false;
      for (int k = d; k >= 0; --k) {
        if (std::isdigit(static_cast<unsigned char>(digits[static_cast<std::size_t>(k)]))) more = true;
      }
      out[static_cast<std::size_t>(i)] = more ? m : ' ';
    }
  }
  return out;
}

}  // namespace

std::string text_into_mask(const std::string& s, const std::string& mask, bool upper, bool positional) {
  std::string out(mask.size(), ' ');
  std::size_t next = 0;  // the next character of s (TRANSFORM takes them in turn)
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char m = mask[i];
    if (Picture::is_slot(m)) {
      const std::size_t at = positional ? i : next++;
      char c = at < s.size() ? s[at] : ' ';
      if (m == '!' || upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out[i] = c;
    } else {
      out[i] = m;
    }
  }
  return out;
}

std::string transform(const Value& v, std::string_view picture, int width, bool century) {
  return transform(v, Picture::parse(picture), width, century);
}

std::string transform(const Value& v, const Picture& pic, int width, bool century) {
  switch (v.type()) {
    case ValueType::Number: {
      const double n = v.number();
      std::string out;
      if (!pic.mask.empty()) {
        out = number_into_mask(n, pic.mask);
      } else {
        const int w = width > 0 ? width : 10;
        const bool whole = std::floor(n) == n;
        out = text::str(n, w, whole ? 0 : 2);
      }
      if (pic.blank_zero && n == 0) out.assign(out.size(), ' ');
      return out;
    }
    case ValueType::Date: {
      const std::string out = date_text(v.date(), century);
      if (pic.blank_zero && v.date().empty()) return std::string(out.size(), ' ');
      return out;
    }
    case ValueType::Logical:
      return v.logical() ? "T" : "F";
    case ValueType::Text: {
      const std::string& s = v.text();
      if (!pic.mask.empty()) return text_into_mask(s, pic.mask, pic.upper, false);
      std::string out = s;
      if (pic.upper) out = text::upper(out);
      if (width > 0) out = text::pad_right(out, static_cast<std::size_t>(width));
      return out;
    }
    case ValueType::Nil:
      break;
  }
  return std::string(width > 0 ? static_cast<std::size_t>(width) : 0, ' ');
}

}  // namespace rt::con
