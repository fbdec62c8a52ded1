// Number and time texts of the suite: STR, the numeric value of a text, the
// time of day, and text padding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rt::text {

// n right-aligned in width characters with dec decimals, rounded half away
// from zero; width asterisks when it does not fit.  STR(n) is STR(n, 10).
std::string str(double n, int width = 10, int dec = 0);

// The numeric value of a text: leading blanks, an optional sign, digits and at
// most one decimal point, read up to the first other character; 0 when there
// is no digit.
double val(std::string_view s);

// "hh:mm:ss" of a number of seconds since midnight.
std::string time_of_day(int seconds_since_midnight);

std::string trim(std::string_view s);   // both ends, blanks only
std::string rtrim(std::string_view s);  // trailing blanks
std::string ltrim(std::string_view s);  // leading blanks
// s cut or filled with blanks on the right to exactly width characters.
std::string pad_right(std::string_view s, std::size_t width, char fill = ' ');
// s cut (keeping the rightmost characters) or filled on the left.
std::string pad_left(std::string_view s, std::size_t width, char fill = ' ');
// ASCII upper case; code-page bytes above 0x7F stay as they are.
std::string upper(std::string_view s);
std::string lower(std::string_view s);
// Whether two texts are equal with the case of ASCII letters ignored (names
// of fields, tags, aliases and files); other bytes compare as they are.
bool same_nocase(std::string_view a, std::string_view b);

// The text comparisons of the suite: "=" compares as many characters as the
// right-hand text has (any text equals an empty right side); "==" compares
// whole texts, trailing blanks included; "$" tells
// whether needle occurs inside haystack.
bool text_equal_prefix(std::string_view left, std::string_view right);
bool text_equal_exact(std::string_view left, std::string_view right);
bool text_contains(std::string_view needle, std::string_view haystack);

}  // namespace rt::text
