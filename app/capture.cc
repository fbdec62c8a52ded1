#include "app/capture.h"

#include <algorithm>
#include <utility>

#include "app/gs1.h"
#include "data/table_view.h"
#include "runtime/console/get.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/key_substitutions.h"
#include "tools/screens.h"
#include "tools/screen_names.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace app {
namespace {

using rt::con::Form;
using rt::con::Get;
using rt::text::pad_right;
using rt::text::trim;

constexpr const char* kBoxColour = "w+/r";
// The boxes take rows 8 to 17 and the hint box rows 18 to 21, columns 10 to
// 70; the code shown in the completion box may run on to the last column,
// so the saved region reaches it too.
constexpr int kTop = 8, kLeft = 10, kBottom = 17, kRight = 70, kSaveBottom = 21, kSaveRight = 79;
constexpr int kLabelCol = 12, kFieldCol = 35;
// The capture box's code field takes a whole scan, however long.
constexpr std::size_t kCodeFieldWidth = 200;

// Labels in code page 850 (ó 162, ú 163).
constexpr const char* kCodeLabel = "C\xA2" "digo de Trazabilidad";
constexpr const char* kSerialLabel = "N\xA3" "mero de Serie   (21)";
constexpr const char* kLotLabel = "N\xA3" "mero de Lote    (10)";
constexpr const char* kExpiryLabel = "Fecha Vencimiento (17)";

bool blank(std::string_view s) { return trim(s).empty(); }

using layout::Product;

std::string product_text(rt::wa::WorkAreas& areas, Product::Field field) {
  if (layout::area_of<Product>(areas) == 0) return {};
  return layout::view<Product>(areas).text(field);
}

// A unit may have no expiry, or one on or after the business date.  An
// expired one is refused with a message; in a box the date field keeps the
// cursor.
bool expiry_ok(CheckEnv& env, rt::text::Date expiry) {
  if (expiry.empty()) return true;
  const rt::text::Date business = tools::date1(env.con, env.areas, env.run.date_table);
  if (business.empty() || expiry >= business) return true;
  env.con.tone(1000, 1);
  tools::cartel_1(env.con, "Producto Vencido El " + rt::text::dtoc(expiry) + "!!!");
  return false;
}

// Whether `gtin` is a barcode of the product being captured: its own
// barcodes, or one the extra-barcode table gives it.
bool gtin_of_product(CheckEnv& env, const std::string& gtin) {
  if (layout::area_of<Product>(env.areas) == 0) return true;  // nothing to compare with
  const auto p = layout::view<Product>(env.areas);
  const double number = rt::text::val(gtin);
  if (number == p.number(Product::CODVAR) || number == rt::text::val(p.text(Product::CODPROD))) return true;
  const std::string code = rt::text::trim(p.text(Product::CODIGO));
  for (const std::string& text : {gtin, rt::text::trim(rt::text::str(number, 14))}) {
    const double other = extra_barcode_code(env, pad_right(text, 14));
    if (other != 0 && (rt::text::trim(rt::text::str(other, 7)) == code || tools::str_0(other, 7) == code)) return true;
  }
  return false;
}

void refuse(CheckEnv& env, const std::string& message) { tools::cartel_1(env.con, message); }

// A serial or lot typed by hand: GS1's characters only.
bool typed_text_ok(CheckEnv& env, const std::string& text) {
  for (char c : rt::text::trim(text)) {
    if (!gs1::in_character_set(c)) {
      refuse(env, gs1::problem_message({gs1::Fault::Character, "", c}));
      return false;
    }
  }
  return true;
}

// A GS1 code read whole: refused with a message when it is faulty, of
// another product or expired.
bool code_acceptable(CheckEnv& env, const gs1::Reading& r) {
  if (r.problem) {
    refuse(env, gs1::problem_message(r.problem));
    return false;
  }
  if (!gtin_of_product(env, r.fields.gtin)) {
    refuse(env, "El C\xA2" "digo Es De Otro Producto (GTIN " + r.fields.gtin + ")!!!");
    return false;
  }
  return expiry_ok(env, r.fields.expiry);
}

// Frame, title and GTIN line shared by both boxes.  Returns what was under
// them.
std::string open_box(CheckEnv& env) {
  rt::con::Console& con = env.con;
  con.set_color(kBoxColour);
  std::string saved = con.savescreen(kTop, kLeft, kSaveBottom, kSaveRight);
  con.scroll(kTop, kLeft, kBottom, kRight);
  con.dispbox(kTop, kLeft, kBottom, kRight, 1);
  con.setpos(kTop, 29);
  con.devout(" MUCHA ATENCION!!! ", "gr+/r");
  con.setpos(10, kLabelCol);
  con.devout("GTIN (01) " + env.check.unit.gtin + " - " + product_text(env.areas, Product::DESCRIP), "bg+/r");
  return saved;
}

void close_box(CheckEnv& env, const std::string& saved) {
  env.con.restscreen(kTop, kLeft, kSaveBottom, kSaveRight, saved);
  env.con.set_color(tools::colour::kNormal);
}

// A field that is typed full waits for Enter while a box is open, so the
// keys the splitter retypes confirm each field in turn.
struct ConfirmOn {
  rt::con::Console& con;
  bool was;
  explicit ConfirmOn(rt::con::Console& c) : con(c), was(c.settings().confirm) { con.set_confirm(true); }
  ~ConfirmOn() { con.set_confirm(was); }
};

// The completion box: lot and expiry of a code that lacked one of them.
// Returns false when it was left with Esc.
bool completion_box(CheckEnv& env) {
  rt::con::Console& con = env.con;
  gs1::TraceFields& u = env.check.unit;
  const std::string saved = open_box(env);
  con.setpos(12, kLabelCol);
  con.devout(std::string(kCodeLabel) + " " + trim(u.code), "r+/n");
  con.setpos(13, kLabelCol);
  con.devout(std::string(kSerialLabel) + " " + trim(u.serial), "gr+/n");
  con.setpos(14, kLabelCol);
  con.devout(kLotLabel);
  con.setpos(15, kLabelCol);
  con.devout(kExpiryLabel);

  bool ok;
  {
    ConfirmOn confirm(con);
    Form form;
    form.add(con, Get::text(14, kFieldCol, u.lot));
    form.add(con, Get::date(15, kFieldCol, u.expiry)).valid([&env] { return expiry_ok(env, env.check.unit.expiry); });
    ok = form.read(con);
  }
  close_box(env, saved);
  return ok;
}

// The capture box: code, serial, lot and expiry.  With a `scanned` code
// (read already, without a serial) the box opens in the serial field.
// Returns false when it was left with Esc.
bool capture_box(CheckEnv& env, bool hint_box, const std::string& scanned = "") {
  rt::con::Console& con = env.con;
  gs1::TraceFields& u = env.check.unit;
  // The code field holds a whole scan, however long; the unit keeps its
  // first 60 characters.
  std::string code = pad_right(scanned, std::max(kCodeFieldWidth, scanned.size()));
  bool skip_code = !scanned.empty();
  const std::string saved = open_box(env);
  con.setpos(12, kLabelCol);
  con.devout(kCodeLabel);
  con.setpos(13, kLabelCol);
  con.devout(kSerialLabel, "gr+/n");
  con.setpos(14, kLabelCol);
  con.devout(kLotLabel);
  con.setpos(15, kLabelCol);
  con.devout(kExpiryLabel);

  con.set_key(tools::kArrobaKey, tools::put_arroba_action(con));
  bool ok;
  {
    ConfirmOn confirm(con);
    Form form;
    form.add(con, Get::text(12, kFieldCol, code, "@S30"))
        .when([&con, hint_box, &skip_code] {
          if (std::exchange(skip_code, false)) return false;
          return cartel4(con, '1', hint_box);
        })
        .valid([&env, &code] {
          const bool ok = desdo_tz(env, code, true);
          if (!ok || blank(env.check.unit.code)) code = std::string(code.size(), ' ');
          return ok;
        });
    form.add(con, Get::text(13, kFieldCol, u.serial))
        .when([&con, hint_box] { return cartel4(con, '2', hint_box); })
        .valid([&env] { return !blank(env.check.unit.serial) && typed_text_ok(env, env.check.unit.serial); });
    form.add(con, Get::text(14, kFieldCol, u.lot))
        .when([&con, hint_box] { return cartel4(con, '3', hint_box); })
        .valid([&env] { return typed_text_ok(env, env.check.unit.lot); });
    form.add(con, Get::date(15, kFieldCol, u.expiry))
        .when([&con, hint_box] { return cartel4(con, '4', hint_box); })
        .valid([&env] { return expiry_ok(env, env.check.unit.expiry); });
    ok = form.read(con);
  }
  // Cleared, not restored: the browse turns key 29 into "@" itself.
  con.set_key(tools::kArrobaKey, {});
  close_box(env, saved);
  return ok;
}

// The manual path: the capture box with the product's barcode as GTIN.
bool manual_capture(CheckEnv& env, bool hint_box) {
  gs1::TraceFields& u = env.check.unit;
  u = gs1::TraceFields{};
  u.gtin = tools::str_0(get_best_bar(env.areas), 14);
  return capture_box(env, hint_box);
}

// The completion box for what a serialised code lacks; only the last unit
// of the same GTIN offers its lot and expiry.
bool complete_unit(CheckEnv& env) {
  gs1::TraceFields& u = env.check.unit;
  CheckContext::Batch& last = env.check.last_batch[u.gtin];
  if (blank(u.lot)) u.lot = pad_right(last.lot, gs1::kLotWidth);
  if (u.expiry.empty()) u.expiry = last.expiry;
  const bool ok = completion_box(env);
  last = {u.lot, u.expiry};
  return ok;
}

}  // namespace

double extra_barcode_code(CheckEnv& env, const std::string& barcode14) {
  using layout::ExtraBarcode;
  if (!env.areas.file_exists(std::string(ExtraBarcode::layout().name) + ".dbf")) return 0;
  double code = 0;
  tools::one_lookup<ExtraBarcode>(env.con, env.areas, [&](const auto& cb) {
    if (rt::wa::seek(cb.area(), rt::Value(barcode14))) code = cb.number(ExtraBarcode::CODIGO);
  });
  return code;
}

double get_best_bar(rt::wa::WorkAreas& areas) {
  if (layout::area_of<Product>(areas) == 0) return 0;
  const auto p = layout::view<Product>(areas);
  const double codprod = rt::text::val(p.text(Product::CODPROD));
  return codprod > 9999999 ? codprod : p.number(Product::CODVAR);
}

bool cartel4(rt::con::Console& con, char cual, bool enabled) {
  if (!enabled) return true;
  switch (cual) {
    case '1': con.set_color("g+/n"); break;
    case '2': con.set_color("r+/b"); break;
    case '3': con.set_color("gr+/r"); break;
    case '4': con.set_color("r+/w"); break;
    default: break;
  }
  con.scroll(18, kLeft, 21, kRight);
  con.dispbox(18, kLeft, 21, kRight, 1);
  con.setpos(19, 14);
  con.devout("SI NO POSEE LECTORA, EL UNICO DATO QUE NECESITA CARGAR");
  con.setpos(20, 14);
  con.devout("               ES EL N\xA3" "MERO DE SERIE");
  con.set_color(kBoxColour);
  return true;
}

bool desdo_tz(CheckEnv& env, std::string_view last_cod, bool tec) {
  gs1::TraceFields& u = env.check.unit;
  const gs1::TraceFields before = u;
  const gs1::Reading r = gs1::split(last_cod, u);
  if (r.gs1 && !code_acceptable(env, r)) {
    u = before;
    return false;
  }
  if (tec && r.gs1 && !blank(r.text)) env.con.keyboard(gs1::retype_keys(u, env.con.settings().century));
  return true;
}

void get_traza(CheckEnv& env, std::string& last_cod, bool hint_box) {
  tools::Trace trace(env.con, "GET_TRAZA");
  gs1::TraceFields& u = env.check.unit;
  const gs1::Reading r = gs1::read(last_cod);
  last_cod = r.text;

  bool ok = false;
  if (!r.gs1) {
    ok = manual_capture(env, hint_box);
  } else if (code_acceptable(env, r)) {
    u = r.fields;
    if (!r.has_serial) {
      // A package without a serial in its code: the operator gives it.
      ok = capture_box(env, hint_box, r.text);
    } else if (!r.has_lot || !r.has_expiry) {
      ok = complete_unit(env);
    } else {
      ok = true;
    }
  }

  u.code = pad_right(u.code.substr(0, gs1::kCodeWidth), gs1::kCodeWidth);
  u.gtin = pad_right(u.gtin, gs1::kGtinWidth);
  u.serial = pad_right(u.serial, gs1::kSerialWidth);
  u.lot = pad_right(u.lot, gs1::kLotWidth);
  if (ok) env.check.unit_ok = true;
}

}  // namespace app
