#include "runtime/console/color.h"

#include <cctype>

namespace rt::con {

namespace {

// One colour of a pair (the text between the slash and the ends): the sum
// of its letters' bits; w is all three, n none.
int parse_color(std::string_view s, bool* bright_plus, bool* bright_star) {
  int value = 0;
  for (char raw : s) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw)));
    switch (c) {
      case 'b': value |= 1; break;
      case 'g': value |= 2; break;
      case 'r': value |= 4; break;
      case 'w': value |= 7; break;
      case '+': *bright_plus = true; break;
      case '*': *bright_star = true; break;
      default: break;  // n, quotes, blanks and unknown letters add nothing
    }
  }
  return value;
}

}  // namespace

Attr parse_color_pair(std::string_view pair) {
  const auto slash = pair.find('/');
  const std::string_view fg_text = pair.substr(0, slash);
  const std::string_view bg_text = slash == std::string_view::npos ? std::string_view{} : pair.substr(slash + 1);
  bool plus = false, star = false;
  int fg = parse_color(fg_text, &plus, &star);
  int bg = parse_color(bg_text, &plus, &star);
  if (plus) fg |= 8;
  if (star) bg |= 8;
  return make_attr(fg, bg);
}

ColorSet ColorSet::defaults() {
  ColorSet set;
  set.apply("W/N,N/W,N,N,N/W");
  set.given = {};
  return set;
}

void ColorSet::apply(std::string_view colors) {
  int slot = 0;
  std::size_t start = 0;
  while (slot < 5) {
    const auto comma = colors.find(',', start);
    const std::string_view part =
        colors.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    bool has_color = false;
    for (char c : part) {
      if (c != ' ' && c != '"' && c != '\'') has_color = true;
    }
    if (has_color) {
      slots[slot] = parse_color_pair(part);
      given[slot] = true;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
    ++slot;
  }
}

std::string color_name(Attr a) {
  static const char* const names[8] = {"N", "B", "G", "BG", "R", "RB", "GR", "W"};
  std::string out = names[attr_fg(a) & 7];
  if (attr_fg(a) & 8) out += '+';
  out += '/';
  out += names[attr_bg(a) & 7];
  if (attr_bg(a) & 8) out += '*';
  return out;
}

}  // namespace rt::con
