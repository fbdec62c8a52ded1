// UPPER() and LOWER() over code-page bytes.  Besides a-z, the letters with
// accents of the table's code page change case too, as the FoxPro family's
// programs do in their keys (a real cp1252 bag holds "TAQUERÍA" for
// UPPER("Taquería")): the mapping goes through Unicode, and a letter whose
// other case the code page lacks stays as it is.
#pragma once

#include <array>

#include "runtime/text/codepage.h"

namespace rt::expr {

using CaseTable = std::array<unsigned char, 256>;

// ASCII letters only.
const CaseTable& ascii_upper();
const CaseTable& ascii_lower();
// ASCII and the accented letters of the code page.
const CaseTable& upper_table(text::CodePage cp);
const CaseTable& lower_table(text::CodePage cp);

}  // namespace rt::expr
