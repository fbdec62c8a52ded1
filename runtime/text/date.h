// Calendar dates as the suite stores and shows them.
//
// A Date is a Julian day number (2000-01-01 is 2451545); 0 is the empty date,
// which the tables store as 8 blanks and the screen shows as "  /  /  ".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt::text {

class Date {
 public:
  constexpr Date() = default;
  static constexpr Date from_julian(std::int32_t jdn) { Date d; d.jdn_ = jdn; return d; }
  // nullopt when the day does not exist (month 13, 30 February, ...).
  static std::optional<Date> from_ymd(int year, int month, int day);

  constexpr bool empty() const { return jdn_ == 0; }
  constexpr std::int32_t julian() const { return jdn_; }
  int year() const;
  int month() const;
  int day() const;

  Date plus_days(int days) const { return empty() ? *this : from_julian(jdn_ + days); }

  friend constexpr bool operator==(Date a, Date b) { return a.jdn_ == b.jdn_; }
  friend constexpr auto operator<=>(Date a, Date b) { return a.jdn_ <=> b.jdn_; }

 private:
  std::int32_t jdn_ = 0;
};

bool is_leap_year(int year);
int days_in_month(int year, int month);

// Which century a two-digit year belongs to: the window runs from 50 years
// before the reference year to 49 years after it, so with 2026 the year 27
// is 2027 and 76 is 1976.
struct DateWindow {
  int reference_year;
  int resolve(int two_digit_year) const;
  // The window around the machine's current year.
  static DateWindow current();
};

// "YYYYMMDD"; 8 blanks for the empty date.
std::string dtos(Date d);
// From "YYYYMMDD"; blanks give the empty date; nullopt when malformed.
std::optional<Date> stod(std::string_view yyyymmdd);
// "dd/mm/yy"; "  /  /  " for the empty date.
std::string dtoc(Date d);
// "dd/mm/yy" (or "dd/mm/yyyy") read with the window; an all-blank entry is the
// empty date; nullopt when the text is not a real day.
std::optional<Date> ctod(std::string_view text, const DateWindow& window);
std::optional<Date> ctod(std::string_view text);  // with DateWindow::current()

// "YYYY-MM-DD" for JSON; "" for the empty date.
std::string iso_date(Date d);

}  // namespace rt::text
