// dbftool's record format in JSON (runtime/text/json.h): table texts are
// code-page bytes, JSON texts UTF-8.  The conversion happens here and
// nowhere else in dbftool.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/text/codepage.h"
#include "runtime/text/json.h"

namespace dbftool::json {

using namespace rt::text::json;

// Code-page bytes as UTF-8.  nullopt when a byte has no character in the code
// page (such values are shown as binary instead of being altered).
std::optional<std::string> decode_text(std::string_view bytes, rt::text::CodePage cp);

// UTF-8 text as code-page bytes; nullopt (and the offending character in
// *bad) when a character has no byte in the code page.
std::optional<std::string> encode_text(std::string_view utf8, rt::text::CodePage cp, std::string* bad);

// The JSON number of a stored numeric text: blanks around it removed, "+"
// dropped, "0" put before a bare decimal point ("-.5" -> "-0.5").  nullopt
// when the text is not a plain decimal number.
std::optional<std::string> number_from_field(std::string_view stored);

}  // namespace dbftool::json
