#include "app/product_rules.h"

namespace app {

bool is_traceable(char traza, char traza_f) {
  if (traza_f == 'S') return traza == 'S' || traza == 'N' || traza == ' ';
  if (traza_f == 'N') return false;
  if (traza_f == ' ') return traza == 'S';
  return false;
}

LineColour line_colour(double sold, double counted) {
  if (sold == counted && sold > 0) return LineColour::Complete;
  if (sold != counted && sold > 0 && counted > 0) return LineColour::Partial;
  return LineColour::Plain;
}

}  // namespace app
