// The traceability voucher and the comptes file of a completed ticket: their
// names, their modes and their exact content.  Pure text building; writing
// the files and running the print commands is the completion's job.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "runtime/text/date.h"

namespace app::voucher {

enum class Form { None, Fiscal, Print };

// "compte_tz", upper-cased: its first character chooses the voucher form
// ("F" fiscal, "I" print, anything else none), its last character "D" adds
// the comptes file (only with a voucher form).
struct Mode {
  Form form = Form::None;
  bool comptes = false;
};
Mode parse_mode(std::string_view compte_tz);

// Every voucher line ends with this marker and CR LF; the print form removes
// the marker again before the file is written.
inline constexpr std::string_view kLineEnd = "tex_nor\r\n";

// A document or affiliate number as it may stand in a file name: trimmed,
// then without "/", "-" and "_" and without any character that is not safe
// in a file name (path separators, drive colons, wildcards, quotes, "<",
// ">", "|", control characters), so it cannot point outside the comptes
// folder; dots and inner blanks stay.  "0" when nothing is left.
std::string clean_id(std::string_view raw);

// "s:\qumar\comptes_tz\" + YYYYMMDD + "_" + document + "_" + affiliate + ".txt"
std::string comptes_path(rt::text::Date today, std::string_view document, std::string_view affiliate);

// The voucher's base name: the machine number as 2 digits and the ticket as
// 6 (machine 5, ticket 1234 -> "05001234").
std::string base_name(std::string_view machine, double ticket);

// Builds the voucher text and the comptes text unit by unit.
class Builder {
 public:
  // labels: rot1..rot5 (blank ones are skipped, and only the print form
  // shows them); ticompte and nucompte at their stored widths.
  Builder(Mode mode, const std::array<std::string, 5>& labels, double ticket_number, rt::text::Date today,
          std::string_view time_hhmmss, std::string_view ticompte, std::string_view nucompte);

  // A filled unit: the check line's description, the record's GTIN and the
  // slot's serial (20), lot (10) and expiry text (8).  A record filled
  // without a slot passes empty texts: its voucher lines then carry the
  // captions alone and its comptes line the GTIN alone.
  void add_unit(std::string_view descrip, std::string_view gtin, std::string_view serial, std::string_view lot,
                std::string_view expiry_text);

  // The voucher file's bytes in the mode's form.
  std::string voucher() const;
  // The comptes file's bytes: 54 bytes per unit.
  const std::string& comptes() const { return comptes_; }

 private:
  Mode mode_;
  std::string envio_;
  std::string comptes_;
};

}  // namespace app::voucher
