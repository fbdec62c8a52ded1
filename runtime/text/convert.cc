#include "runtime/text/convert.h"

#include <cmath>
#include <cstdio>

namespace rt::text {

std::string str(double n, int width, int dec) {
  if (width <= 0) return "";
  if (dec < 0) dec = 0;
  const double scale = std::pow(10.0, dec);
  double scaled = n * scale;
  // Half away from zero; the tiny nudge absorbs binary representation error
  // (1.005 is stored as 1.00499999...).
  scaled = scaled >= 0 ? std::floor(scaled + 0.5 + 1e-9) : -std::floor(-scaled + 0.5 + 1e-9);
  if (std::fabs(scaled) < 1e15 && dec <= 15) {
    // The rounded value is a whole number of 10^-dec below 2^50: its digits
    // are those of `scaled`, written without printf's general machinery
    // (the browse formats every number of every row it shows).
    const bool negative = scaled < 0;
    auto digits = static_cast<unsigned long long>(negative ? -scaled : scaled);
    char buf[40];
    int at = sizeof buf;
    int written = 0;
    do {
      if (written == dec && dec > 0) buf[--at] = '.';
      buf[--at] = static_cast<char>('0' + digits % 10);
      digits /= 10;
      ++written;
    } while (digits != 0 || written <= dec);
    if (negative) buf[--at] = '-';
    const int len = static_cast<int>(sizeof buf) - at;
    if (len > width) return std::string(static_cast<std::size_t>(width), '*');
    std::string out(static_cast<std::size_t>(width - len), ' ');
    out.append(buf + at, static_cast<std::size_t>(len));
    return out;
  }
  double rounded = scaled / scale;
  if (rounded == 0) rounded = 0;  // no "-0"
  char buf[400];
  std::snprintf(buf, sizeof buf, "%*.*f", width, dec, rounded);
  std::string s(buf);
  if (static_cast<int>(s.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return s;
}

double val(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  std::string num;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) num += s[i++];
  bool any_digit = false, point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') { num += c; any_digit = true; }
    else if (c == '.' && !point) { num += c; point = true; }
    else break;
  }
  if (!any_digit) return 0;
  return std::strtod(num.c_str(), nullptr);
}

std::string time_of_day(int secs) {
  secs %= 86400;
  if (secs < 0) secs += 86400;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", secs / 3600, (secs / 60) % 60, secs % 60);
  return buf;
}

std::string rtrim(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return std::string(s.substr(0, e));
}

std::string ltrim(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return std::string(s.substr(b));
}

std::string trim(std::string_view s) { return ltrim(rtrim(s)); }

std::string pad_right(std::string_view s, std::size_t width, char fill) {
  std::string out(s.substr(0, width));
  out.resize(width, fill);
  return out;
}

std::string pad_left(std::string_view s, std::size_t width, char fill) {
  if (s.size() >= width) return std::string(s.substr(s.size() - width));
  return std::string(width - s.size(), fill) + std::string(s);
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool same_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool text_equal_prefix(std::string_view left, std::string_view right) {
  // Only as many characters as the right side has are compared; a left side
  // shorter than that cannot match.
  return left.size() >= right.size() && left.substr(0, right.size()) == right;
}

bool text_equal_exact(std::string_view left, std::string_view right) { return left == right; }

bool text_contains(std::string_view needle, std::string_view haystack) {
  return haystack.find(needle) != std::string_view::npos;
}

}  // namespace rt::text
