#include "app/check_browse.h"

#include <exception>
#include <optional>

#include "app/capture.h"
#include "app/check_lines.h"
#include "app/check_log.h"
#include "app/check_scan.h"
#include "app/failure.h"
#include "app/permission.h"
#include "app/product_rules.h"
#include "runtime/areabrowse/workarea_source.h"
#include "data/table_view.h"
#include "runtime/console/browse.h"
#include "runtime/console/color.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/config.h"
#include "tools/guards.h"
#include "tools/key_substitutions.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace app {

namespace {

using rt::Value;
using rt::text::trim;
using layout::CheckLine;
using layout::Product;
using check_lines::CheckView;
constexpr const char* kScanColour = "g+/n";
constexpr const char* kDescriptionColour = "gr+/n";
constexpr const char* kDifferencesColour = "r+/n";
constexpr int kStatusRow = 4, kStatusColumn = 30;
constexpr int kScanRow = 23, kDescriptionRow = 24;
constexpr int kFirstDataRow = 10, kLastDataRow = 20;

std::string ticket_key(const CheckEnv& env) { return rt::text::str(env.run.ticket, 6); }

void put(CheckEnv& env, int row, int col, std::string_view text, const char* colour) {
  env.con.put(row, col, text, rt::con::parse_color_pair(colour));
}

// Row 23: the scan buffer centred about column 40 (written as it changes,
// every key of a scan).
void show_scan(CheckEnv& env) {
  static const rt::con::Attr colour = rt::con::parse_color_pair(kScanColour);
  std::string line = tools::medio(env.check.scan, 40);
  line.resize(80, ' ');
  env.con.put(kScanRow, 0, line, colour);
}

// Row 24: the long description of the current line's product.
void show_description(CheckEnv& env) {
  std::string line;
  try {
    line = tools::gen_descx(env.areas);
  } catch (const std::exception&) {
    line.clear();  // no product table: the row stays blank
  }
  put(env, kDescriptionRow, 0, std::string(80, ' '), kDescriptionColour);
  put(env, kDescriptionRow, 0, tools::medio(line, 40), kDescriptionColour);
}

void show_ok(CheckEnv& env) { put(env, kStatusRow, kStatusColumn, check_text::kOk, kScanColour); }

void closing_tones(CheckEnv& env) {
  env.con.tone(tools::kHighTone, 1);
  env.con.tone(tools::kLowTone, 1);
}

// SE_TRAZA on the product the relation keeps with the current line.
bool product_traceable(CheckEnv& env) {
  const auto p = layout::view<Product>(env.areas);
  return is_traceable(p.flag(Product::TRAZA), p.flag(Product::TRAZA_F));
}

// --------------------------------------------------------------- lookup
// ----------------------------------------------------------------- modes

int idle(CheckEnv& env) {
  colorea15(env.con);
  calcu(env);
  if (env.check.sold != env.check.counted) {
    put(env, kStatusRow, kStatusColumn, check_text::kDifferences, kDifferencesColour);
    show_scan(env);
    show_description(env);
    return rt::con::kContinue;
  }
  show_ok(env);
  tools::cartel_1(env.con, check_text::kTicketOk);
  return rt::con::kAbort;
}

int buffer_key(CheckEnv& env, int key) {
  const char c = scan::buffer_char(key);
  if (c == '%') {
    env.check.scan.clear();
  } else {
    env.check.scan += c;
  }
  show_scan(env);
  return rt::con::kContinue;
}

// A scan that is dropped: the buffer is emptied and the scan line says so
// at once; the line that was current stays current.
int drop_scan(CheckEnv& env, rt::wa::RecNo rec) {
  env.check.scan.clear();
  show_scan(env);
  check_lines::table(env).go(rec);
  return rt::con::kRefresh;
}

// The traceability data of a unit of a traceable product; false when the
// scan is to be dropped.
bool capture_unit(CheckEnv& env, std::string& whole, rt::wa::RecNo rec) {
  env.check.unit_ok = false;
  get_traza(env, whole, true);
  check_lines::select(env);
  if (!env.check.unit_ok) {
    env.con.tone(tools::kLowTone, 1);
    drop_scan(env, rec);
    return false;
  }
  std::string lot = std::string(10, ' ');
  rt::text::Date expiry;
  if (!esta_en_traza(env, env.check.unit.gtin + env.check.unit.serial, lot, expiry)) {
    if (!tools::cartel_1g(env.con, check_text::kNotReceivedQuestion)) {
      drop_scan(env, rec);
      return false;
    }
    return true;
  }
  // The traceability table's lot and expiry win.
  if (env.check.unit.lot != lot) {
    env.check.unit.lot = lot;
    tools::cartel_1(env.con, check_text::kLotCorrected);
  }
  if (env.check.unit.expiry != expiry) {
    env.check.unit.expiry = expiry;
    tools::cartel_1(env.con, check_text::kExpiryCorrected);
  }
  return true;
}

int scan_entered(CheckEnv& env) {
  rt::wa::Area& t = check_lines::select(env);
  const rt::wa::RecNo rec = t.recno();
  const scan::Recognised r = scan::recognise(env.check.scan);
  if (r.reading.gs1 && r.reading.problem) {
    // A misread or a reader that joined two codes: nothing is looked up.
    tools::cartel_1(env.con, gs1::problem_message(r.reading.problem));
    return drop_scan(env, rec);
  }
  const scan::LookupKey key = scan::lookup_key(r.lookup);
  const bool found = check_lines::find_line(env, key);
  if (found) {
    check_lines::prefer_open_line(env);
    env.check.unit = gs1::TraceFields{};
    std::string whole = r.reading.text;
    if (env.run.traceability && product_traceable(env)) {
      if (!capture_unit(env, whole, rec)) return rt::con::kRefresh;
    }
    env.con.tone(tools::kHighTone, 2);
    const std::string& serial = env.check.unit.serial;
    const bool duplicate = check_lines::unit_already_counted(env, serial);
    if (!check_lines::complete(check_lines::view(env)) && !duplicate) {
      check_lines::count_unit(env);
    } else if (duplicate) {
      tools::cartel_3(env.con, check_text::kDuplicate1, check_text::kDuplicate2, check_text::kDuplicate3);
    } else {
      tools::cartel_1(env.con, check_text::kAlreadyOk);
    }
  } else {
    tools::cartel_1(env.con, check_text::kNotFound);
  }
  check_lines::select(env);
  env.check.scan.clear();
  show_scan(env);
  calcu(env);
  if (env.check.sold == env.check.counted) {
    show_ok(env);
    closing_tones(env);
    check_lines::select(env);
    write_check_log(env, false);
    check_lines::table(env).go(rec);
    return rt::con::kAbort;
  }
  check_lines::table(env).go(rec);
  return rt::con::kRefresh;
}

// Leaving with differences marks the sale header (REINTE_3 -15) under a
// lock.
void mark_sale_header(CheckEnv& env) {
  const tools::KeepArea keep(env.areas);
  as_step("No Se Pudo Marcar El Ticket En " + std::string(layout::SaleHeader::layout().name), [&] {
    const auto header = layout::select<layout::SaleHeader>(env.areas);
    rt::wa::Area& h = header.area();
    if (rt::wa::seek(h, Value("TK" + ticket_key(env)))) {
      tools::rbloqueo2(env.con, env.areas);
      const tools::HoldLocks locked(h);
      header.put(layout::SaleHeader::REINTE_3, Value(-15));
      h.commit();  // on the disk before another station sees the lock go
    }
  });
}

int leave(CheckEnv& env) {
  calcu(env);
  if (env.check.sold != env.check.counted) {
    if (!tools::cartel_1g(env.con, check_text::kLeaveQuestion)) return rt::con::kContinue;
    const std::string colour = env.con.color();
    const bool allowed = pueden(env, 121);
    env.con.set_color(colour);
    check_lines::select(env);
    if (!allowed) return rt::con::kContinue;
    if (env.run.traceability && faltan_trazar(env)) {
      if (!tools::cartel_1g(env.con, check_text::kUntracedQuestion)) return rt::con::kContinue;
    }
    mark_sale_header(env);
  }
  closing_tones(env);
  return rt::con::kAbort;
}

int refund(CheckEnv& env) {
  check_lines::select(env);
  write_check_log(env, true);
  calcu(env);
  return env.check.sold == env.check.counted ? rt::con::kAbort : rt::con::kContinue;
}

int key_event(CheckEnv& env, int key) {
  if (key == rt::con::key::kEsc) return leave(env);
  // The key reader's hotkeys act here too; no key that is not a character
  // reaches the scan buffer.
  if (key == rt::con::key::kAltC) {
    tools::key_reader_hooks(env.con).close_request(env.con);
    return rt::con::kContinue;
  }
  if (key == rt::con::key::kCtrlKeypadMinus || key == rt::con::key::kCtrlKeypadPlus) {
    tools::key_reader_hooks(env.con).font_step(env.con, key);
    return rt::con::kContinue;
  }
  if (!scan::is_character_key(key)) return rt::con::kContinue;
  const char c = scan::buffer_char(key);
  if ((c == 'R' || c == 'r') && trim(env.check.scan).empty() &&
      tools::cartel_1g(env.con, check_text::kRefundQuestion)) {
    return refund(env);
  }
  if (key == rt::con::key::kEnter) return scan_entered(env);
  if (key == rt::con::key::kF1) {
    const CheckView t = check_lines::view(env);
    if (t.text(CheckLine::TRAZA) == "S") {
      env.con.keyboard(trim(rt::text::str(t.number(CheckLine::CB), 14)) + "\r");
      return rt::con::kContinue;
    }
  }
  return buffer_key(env, key);
}

}  // namespace

int funcion(CheckEnv& env, int mode, int column) {
  tools::Trace trace(env.con, "FUNCION");
  (void)column;
  const int tecla = env.con.lastkey();
  std::optional<rt::wa::RecNo> current;
  if (layout::area_of<CheckLine>(env.areas) != 0) current = check_lines::table(env).recno();
  // A scan or an idle refresh reads its tables as one batch.
  const rt::wa::ReadBatch batch;
  try {
    if (mode == rt::con::kIdle && tecla != rt::con::key::kCtrlHome) return idle(env);
    if (mode == rt::con::kTop || mode == rt::con::kBottom) {
      env.con.tone(294, 1);
      env.check.scan.clear();
      return rt::con::kContinue;
    }
    return key_event(env, tecla);
  } catch (const std::exception& e) {
    // The browse's one report of a failure: a table that cannot be read or
    // written.  The operator is told, the scan is dropped and nothing is
    // counted; the browse goes on.
    env.check.scan.clear();
    tools::cartel_1(env.con, operator_message(e, "Error"));
    show_scan(env);
    if (layout::area_of<CheckLine>(env.areas) != 0) {
      check_lines::select(env);
      if (current) check_lines::table(env).go(*current);
    }
    return rt::con::kRefresh;
  }
}

void colorea15(rt::con::Console& con) {
  static const rt::con::Attr plain = rt::con::parse_color_pair("w/n");
  static const rt::con::Attr complete = rt::con::parse_color_pair("g+/n");
  static const rt::con::Attr partial = rt::con::parse_color_pair("gr+/n");
  con.colorwin(kFirstDataRow, 0, kLastDataRow, 79, plain);
  for (int r = kFirstDataRow; r <= kLastDataRow; ++r) {
    // The row's characters (SCREENSTR's every other byte).
    switch (scan::row_colour(con.screen().row_text(r))) {
      case LineColour::Complete: con.colorwin(r, 1, r, 77, complete); break;
      case LineColour::Partial: con.colorwin(r, 1, r, 77, partial); break;
      case LineColour::Plain: break;
    }
  }
}

void run_check_browse(CheckEnv& env) {
  rt::wa::Area& t = check_lines::select(env);
  t.goto_top();
  env.check.scan.clear();
  put(env, kScanRow, 0, std::string(80, ' '), kScanColour);
  put(env, kDescriptionRow, 0, std::string(80, ' '), kDescriptionColour);
  env.check.last_batch.clear();

  // Widths chosen so the right-aligned quantities end in the columns that
  // colorea15 reads: "Vend" at 35, "Cheq" at 42.
  rt::con::BrowseLayout spec;
  spec.top = 8;
  spec.left = 0;
  spec.bottom = 20;
  spec.right = 79;
  const auto column = [](CheckLine::Field f) { return std::string(CheckView::name(f)); };
  spec.columns = {{column(CheckLine::DESCRIP), "Producto", "", 30},
                  {column(CheckLine::CANTID), "Vend", "@Z 999", scan::kSoldLastColumn - 30},
                  {column(CheckLine::CANT_CHK), "Cheq", "@Z 999", scan::kCountedLastColumn - scan::kSoldLastColumn - 1},
                  {column(CheckLine::CB), "Barras", "", 0},
                  {column(CheckLine::TRAZA), "Traza <F1>", "", 0}};
  spec.heading_sep = "\xC4";
  spec.column_sep = " ";
  spec.user = [&env](int mode, int column) { return funcion(env, mode, column); };

  const std::string title = "<R> Si Es Por Reintegro!" + std::string(19, ' ') + "TICKET N\xA7 " + trim(ticket_key(env));
  put(env, 2, 0, tools::medio(title, 40), kDescriptionColour);

  {
    const tools::HotkeyFor arroba(env.con, tools::kArrobaKey, tools::put_arroba_action(env.con));
    // A message box of the check is closed by the first key of the next
    // scan, which then still arrives whole.
    tools::KeepScanKeys keep_scan_keys(env.con);
    rt::con::WorkAreaSource source(env.areas, CheckLine::layout().name);
    rt::con::dbedit(env.con, source, spec);
  }
  check_lines::select(env);
}

}  // namespace app
