#include "runtime/text/date.h"

#include <cctype>
#include <chrono>
#include <cstdio>

namespace rt::text {
namespace {

// Fliegel & Van Flandern conversion, valid for the whole Gregorian range we use.
std::int32_t to_jdn(int y, int m, int d) {
  const int a = (14 - m) / 12;
  const int yy = y + 4800 - a;
  const int mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void from_jdn(std::int32_t jdn, int& y, int& m, int& d) {
  const int a = jdn + 32044;
  const int b = (4 * a + 3) / 146097;
  const int c = a - 146097 * b / 4;
  const int dd = (4 * c + 3) / 1461;
  const int e = c - 1461 * dd / 4;
  const int mm = (5 * e + 2) / 153;
  d = e - (153 * mm + 2) / 5 + 1;
  m = mm + 3 - 12 * (mm / 10);
  y = 100 * b + dd - 4800 + mm / 10;
}

bool all_blank(std::string_view s) {
  for (char c : s)
    if (c != ' ') return false;
  return true;
}

std::optional<int> digits(std::string_view s) {
  if (s.empty()) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

bool is_leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
}

std::optional<Date> Date::from_ymd(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return std::nullopt;
  return from_julian(to_jdn(y, m, d));
}

int Date::year() const { int y, m, d; from_jdn(jdn_, y, m, d); return empty() ? 0 : y; }
int Date::month() const { int y, m, d; from_jdn(jdn_, y, m, d); return empty() ? 0 : m; }
int Date::day() const { int y, m, d; from_jdn(jdn_, y, m, d); return empty() ? 0 : d; }

int DateWindow::resolve(int yy) const {
  const int first = reference_year - 50;  // the oldest year the window holds
  int year = (first / 100) * 100 + yy;
  if (year < first) year += 100;
  return year;
}

DateWindow DateWindow::current() {
  const auto now = std::chrono::system_clock::now();
  const std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(now)};
  return DateWindow{static_cast<int>(ymd.year())};
}

std::string dtos(Date d) {
  if (d.empty()) return std::string(8, ' ');
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
  return buf;
}

std::optional<Date> stod(std::string_view s) {
  if (s.size() != 8) return std::nullopt;
  if (all_blank(s)) return Date{};
  auto y = digits(s.substr(0, 4)), m = digits(s.substr(4, 2)), d = digits(s.substr(6, 2));
  if (!y || !m || !d) return std::nullopt;
  return Date::from_ymd(*y, *m, *d);
}

std::string dtoc(Date d) {
  if (d.empty()) return "  /  /  ";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", d.day(), d.month(), d.year() % 100);
  return buf;
}

std::optional<Date> ctod(std::string_view text, const DateWindow& window) {
  std::string s;
  for (char c : text)
    if (c != ' ' && c != '/') s += c;
  if (s.empty()) return Date{};
  // Accept "dd/mm/yy" and "dd/mm/yyyy" by their slashes.
  int parts[3] = {0, 0, 0};
  int lens[3] = {0, 0, 0};
  int idx = 0;
  for (char c : text) {
    if (c == '/') { if (++idx > 2) return std::nullopt; continue; }
    if (c == ' ') continue;
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    if (lens[idx] == 4) return std::nullopt;  // no part of a date has more digits
    parts[idx] = parts[idx] * 10 + (c - '0');
    ++lens[idx];
  }
  if (idx != 2 || lens[0] == 0 || lens[1] == 0 || lens[2] == 0) return std::nullopt;
  int year = parts[2];
  if (lens[2] <= 2) year = window.resolve(year);
  return Date::from_ymd(year, parts[1], parts[0]);
}

std::optional<Date> ctod(std::string_view text) { return ctod(text, DateWindow::current()); }

std::string iso_date(Date d) {
  if (d.empty()) return "";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
  return buf;
}

}  // namespace rt::text
