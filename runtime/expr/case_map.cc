#include "runtime/expr/case_map.h"

namespace rt::expr {
namespace {

// Upper case of the code points the suite's code pages hold (Latin-1,
// Latin Extended-A, Greek, Cyrillic); 0 when there is none.
char32_t unicode_upper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return 0;  // no plain upper case
    const bool odd_lower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (odd_lower) return (c & 1) ? c - 1 : 0;
    return (c & 1) ? 0 : c - 1;  // 0x139..0x148 and 0x179..0x17E: lower case is even
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c == 0x491) return 0x490;
  return 0;
}

CaseTable identity() {
  CaseTable t{};
  for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
  return t;
}

// upper: true for the upper-case table, false for the lower-case one.
CaseTable build(text::CodePage cp, bool upper) {
  CaseTable t = identity();
  for (int b = 0; b < 256; ++b) {
    const char32_t u = text::to_unicode(static_cast<unsigned char>(b), cp);
    const char32_t up = unicode_upper(u);
    if (!up) continue;
    const auto ub = text::from_unicode(up, cp);
    if (!ub) continue;
    if (upper) t[static_cast<std::size_t>(b)] = *ub;
    else if (t[*ub] == *ub) t[*ub] = static_cast<unsigned char>(b);  // first lower-case byte wins
  }
  return t;
}

CaseTable ascii(bool upper) {
  CaseTable t = identity();
  for (int c = 'a'; c <= 'z'; ++c) {
    if (upper) t[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c - 0x20);
    else t[static_cast<std::size_t>(c - 0x20)] = static_cast<unsigned char>(c);
  }
  return t;
}

}  // namespace

const CaseTable& ascii_upper() {
  static const CaseTable t = ascii(true);
  return t;
}

const CaseTable& ascii_lower() {
  static const CaseTable t = ascii(false);
  return t;
}

const CaseTable& upper_table(text::CodePage cp) {
  static const CaseTable t437 = build(text::CodePage::CP437, true);
  static const CaseTable t850 = build(text::CodePage::CP850, true);
  static const CaseTable t1251 = build(text::CodePage::CP1251, true);
  static const CaseTable t1252 = build(text::CodePage::CP1252, true);
  switch (cp) {
    case text::CodePage::CP437: return t437;
    case text::CodePage::CP850: return t850;
    case text::CodePage::CP1251: return t1251;
    case text::CodePage::CP1252: return t1252;
  }
  return ascii_upper();
}

const CaseTable& lower_table(text::CodePage cp) {
  static const CaseTable t437 = build(text::CodePage::CP437, false);
  static const CaseTable t850 = build(text::CodePage::CP850, false);
  static const CaseTable t1251 = build(text::CodePage::CP1251, false);
  static const CaseTable t1252 = build(text::CodePage::CP1252, false);
  switch (cp) {
    case text::CodePage::CP437: return t437;
    case text::CodePage::CP850: return t850;
    case text::CodePage::CP1251: return t1251;
    case text::CodePage::CP1252: return t1252;
  }
  return ascii_lower();
}

}  // namespace rt::expr
