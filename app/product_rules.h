// Rules over one product or one check line that need no table access.
#pragma once

#include <string_view>

namespace app {

// SE_TRAZA: a forced flag "S" or "N" decides; with no forced flag (blank) the
// product's own "S" decides; any other character gives false.
bool is_traceable(char traza, char traza_f);

// How a check line is coloured from its "Vend" and "Cheq" quantities.
enum class LineColour { Plain, Complete, Partial };
LineColour line_colour(double sold, double counted);

// A counted line is one with a real barcode (above 9999999); only counted
// lines decide whether the ticket is complete.
inline bool is_counted_line(double cb) { return cb > 9999999; }

}  // namespace app
