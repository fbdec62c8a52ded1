#include "app/voucher.h"

#include "runtime/text/convert.h"
#include "tools/text_tools.h"

namespace app::voucher {

using rt::text::trim;

namespace {

std::string line(std::string_view text) { return std::string(text) + std::string(kLineEnd); }

bool unsafe_in_name(unsigned char c) {
  if (c < 32 || c == 127) return true;
  switch (c) {
    case '/': case '-': case '_': case '\\': case ':': case '*': case '?': case '"': case '\'':
    case '<': case '>': case '|':
      return true;
    default:
      return false;
  }
}

}  // namespace

Mode parse_mode(std::string_view value) {
  const std::string v = rt::text::upper(trim(value));
  Mode m;
  if (v.empty()) return m;
  if (v.front() == 'F') m.form = Form::Fiscal;
  else if (v.front() == 'I') m.form = Form::Print;
  m.comptes = m.form != Form::None && v.back() == 'D';
  return m;
}

std::string clean_id(std::string_view raw) {
  std::string out;
  for (char c : trim(raw))
    if (!unsafe_in_name(static_cast<unsigned char>(c))) out += c;
  return out.empty() ? "0" : out;
}

std::string comptes_path(rt::text::Date today, std::string_view document, std::string_view affiliate) {
  return "s:\\qumar\\comptes_tz\\" + rt::text::dtos(today) + "_" + clean_id(document) + "_" + clean_id(affiliate) +
         ".txt";
}

std::string base_name(std::string_view machine, double ticket) {
  return tools::str_0(machine, 2) + tools::str_0(ticket, 6);
}

Builder::Builder(Mode mode, const std::array<std::string, 5>& labels, double ticket_number, rt::text::Date today,
                 std::string_view time_hhmmss, std::string_view ticompte, std::string_view nucompte)
    : mode_(mode) {
  const std::string dashes(40, '-');
  if (mode.form == Form::Print) {
    for (const auto& l : labels)
      if (!trim(l).empty()) envio_ += line(l);
    envio_ += line(dashes);
  }
  envio_ += line("Comprobante De Traza " + tools::str_0(ticket_number, 8));
  envio_ += line("Fecha " + rt::text::dtoc(today) + "  " + "Hora " + std::string(time_hhmmss));
  envio_ += line(std::string(ticompte) + " " + std::string(nucompte));
  envio_ += line(dashes);
}

void Builder::add_unit(std::string_view descrip, std::string_view gtin, std::string_view serial, std::string_view lot,
                       std::string_view expiry_text) {
  envio_ += line(descrip);
  envio_ += line("GTIN " + std::string(gtin));
  envio_ += line("SERIE " + std::string(serial));
  envio_ += line("LOTE " + std::string(lot));
  envio_ += line("VENC " + std::string(expiry_text));
  envio_ += line(std::string(40, '-'));
  comptes_ += std::string(gtin) + std::string(serial) + std::string(lot) + std::string(expiry_text) + "\r\n";
}

std::string Builder::voucher() const {
  if (mode_.form != Form::Print) return envio_;
  std::string text = envio_;
  for (int i = 0; i < 4; ++i) text += line(" ");
  // The print form carries no marker at all, also none that a description or
  // label happened to contain.
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, 7, "tex_nor") == 0) {
      i += 7;
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace app::voucher
