// Single-byte code pages of the suite's tables and screen.
//
// Texts stay as code-page bytes everywhere inside the program (tables, keys,
// screen grid).  These functions convert at the edges only: UTF-8 for the
// terminal and for dbftool's JSON output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt::text {

enum class CodePage : std::uint16_t {
  CP437 = 437,
  CP850 = 850,
  CP1251 = 1251,
  CP1252 = 1252,
};

// The code page marked by byte 29 of a DBF header; nullopt for a mark we do not
// know.  Mark 0 ("none") gives the site default, CP850.
std::optional<CodePage> code_page_from_mark(std::uint8_t mark);
std::uint8_t mark_of(CodePage cp);
std::optional<CodePage> code_page_from_number(int number);

// The Unicode code point of one byte (bytes below 0x80 are ASCII; undefined
// positions of 1252 map to U+FFFD).
char32_t to_unicode(unsigned char byte, CodePage cp = CodePage::CP850);
// The byte of a code point, or nullopt when the code page has none.
std::optional<unsigned char> from_unicode(char32_t cp_point, CodePage cp = CodePage::CP850);

std::string to_utf8(std::string_view bytes, CodePage cp = CodePage::CP850);
// Characters that have no byte in the code page become '?'.
std::string from_utf8(std::string_view utf8, CodePage cp = CodePage::CP850);

// The same text in another code page: bytes below 0x80 stay, every other
// byte becomes the byte of the same character in `to`, or '?' when `to` has
// no such character.
std::string transcode(std::string_view bytes, CodePage from, CodePage to);

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t point);
// Decodes one UTF-8 sequence at the front of s; returns the code point and the
// number of bytes used (1 with U+FFFD for a malformed byte).
std::pair<char32_t, std::size_t> decode_utf8(std::string_view s);

}  // namespace rt::text
