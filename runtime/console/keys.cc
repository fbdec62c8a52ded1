#include "runtime/console/keys.h"

#include <cctype>

namespace rt::con::key {

int alt_letter(char letter) {
  // Scan codes of the letters on a PC keyboard, A to Z.
  static const int scan[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                               49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
  const int c = std::tolower(static_cast<unsigned char>(letter));
  if (c < 'a' || c > 'z') return 0;
  return 256 + scan[c - 'a'];
}

}  // namespace rt::con::key
