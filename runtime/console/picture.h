// Pictures of fields and browse columns: "@Z 999999", "@S30", "@!",
// "99/99/99", "999.99", ...  A picture is an optional function part ("@"
// and letters, up to the first blank) and an optional template.
#pragma once

#include <string>
#include <string_view>

#include "runtime/text/value.h"

namespace rt::con {

struct Picture {
  bool blank_zero = false;  // @Z: a zero number shows as blanks
  bool upper = false;       // @!: letters in upper case
  bool clear_first = false; // @K: the first typed key clears the field
  int scroll_width = 0;     // @S<n>: shown n wide, scrolled sideways
  std::string mask;         // the template; "" when none

  static Picture parse(std::string_view picture);
  // Template characters that take a typed character (the rest are shown as
  // they stand).
  static bool is_slot(char m) {
    return m == '9' || m == '#' || m == 'X' || m == 'A' || m == 'N' || m == '!' || m == 'L' || m == 'Y';
  }
};

// TRANSFORM: the value as text under the picture.  width is the natural
// width of the value where the picture has no template (a field's length;
// numbers default to 10).  century gives dates as dd/mm/yyyy.
std::string transform(const Value& v, std::string_view picture, int width = 0, bool century = false);
std::string transform(const Value& v, const Picture& pic, int width = 0, bool century = false);

// A text laid into a template: characters go to the template's slots, in
// turn (TRANSFORM) or by position (a field's variable, which holds the
// template's own characters too).
std::string text_into_mask(const std::string& s, const std::string& mask, bool upper, bool positional);

// Formats a date as dd/mm/yy or dd/mm/yyyy ("  /  /  " when empty).
std::string date_text(text::Date d, bool century);

}  // namespace rt::con
