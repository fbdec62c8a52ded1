// Colour attributes of the screen cells and the colour strings that name
// them ("W+/B", "gr+/r", "w+/r*", ...).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rt::con {

// One cell's colour: foreground in the low four bits, background in the high
// four.  Colours 0-7 are black, blue, green, cyan, red, magenta, brown and
// white; 8 is added for the bright form.
using Attr = std::uint8_t;

constexpr Attr make_attr(int fg, int bg) { return static_cast<Attr>((fg & 15) | ((bg & 15) << 4)); }
constexpr int attr_fg(Attr a) { return a & 15; }
constexpr int attr_bg(Attr a) { return (a >> 4) & 15; }

// Reads one colour pair "fg/bg": the letters n b g bg r rb gr w (any case,
// any order inside a colour, so "gb" is "bg"), "+" makes the foreground
// bright and "*" the background.  Quotes and blanks are ignored, unknown
// letters too; a missing part is black.
Attr parse_color_pair(std::string_view pair);

// The colour slots of a colour string, separated by commas: standard,
// enhanced (fields being edited, the browse's current cell), border,
// background, unselected (fields not being edited).
struct ColorSet {
  static constexpr int kStandard = 0, kEnhanced = 1, kBorder = 2, kBackground = 3, kUnselected = 4;
  std::array<Attr, 5> slots{};
  std::array<bool, 5> given{};  // which slots the string named

  // The console's default colours "W/N,N/W,N,N,N/W".
  static ColorSet defaults();
  // Applies a colour string over this set: every slot the string names is
  // replaced, empty slots keep their colour.
  void apply(std::string_view colors);
  Attr standard() const { return slots[kStandard]; }
  Attr enhanced() const { return slots[kEnhanced]; }
  Attr unselected() const { return given[kUnselected] ? slots[kUnselected] : slots[kEnhanced]; }
};

// The colour string of an attribute ("W+/B"), used to report colours.
std::string color_name(Attr a);

}  // namespace rt::con
