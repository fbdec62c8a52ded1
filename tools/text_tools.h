// Small text routines shared by every screen: centring, zero-filled numbers.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// MEDIO: the trimmed text preceded by as many blanks as the integer part of
// (largo - length / 2), none when that is negative, so that printed at column
// c it is centred about column c + largo.  A long text is not cut.
std::string medio(std::string_view text, double largo);

// STR_0 of a number: written right-aligned in `width` characters (rounded to
// a whole number, asterisks when it does not fit), trimmed, then zero-filled
// on the left to `width` characters.  7 -> "0007", -5 -> "00-5".
std::string str_0(double number, int width);
// STR_0 of a text: trimmed unless blank, then the rightmost `width`
// characters of `width` zeros followed by the text.  "123",2 -> "23".
std::string str_0(std::string_view text, int width);

}  // namespace tools
