#include "app/capture.h"

#include "app/gs1.h"
#include "runtime/console/get.h"
#include "runtime/text/convert.h"
#include "tools/key_substitutions.h"
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

// Labels in code page 850 (ó 162, ú 163).
constexpr const char* kCodeLabel = "C\xA2" "digo de Trazabilidad";
constexpr const char* kSerialLabel = "N\xA3" "mero de Serie   (21)";
constexpr const char* kLotLabel = "N\xA3" "mero de Lote    (10)";
constexpr const char* kExpiryLabel = "Fecha Vencimiento (17)";

bool blank(std::string_view s) { return trim(s).empty(); }

std::string product_text(rt::wa::WorkAreas& areas, const char* field) {
  if (areas.select("producto") == 0) return {};
  return areas.area("producto").get(field).text();
}

// The expiry of a box may be empty or on or after the business date; a
// date before it keeps the cursor in the field.
bool expiry_ok(CheckEnv& env, rt::text::Date expiry) {
  if (expiry.empty()) return true;
  const rt::text::Date business = tools::date1(env.con, env.areas, env.run.date_table);
  if (business.empty() || expiry >= business) return true;
  env.con.tone(1000, 1);
  return false;
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
  con.devout("GTIN (01) " + env.check.unit.gtin + " - " + product_text(env.areas, "DESCRIP"), "bg+/r");
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

// The capture box: code, serial, lot and expiry.  Returns false when it was
// left with Esc.
bool capture_box(CheckEnv& env, bool hint_box) {
  rt::con::Console& con = env.con;
  gs1::TraceFields& u = env.check.unit;
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
    form.add(con, Get::text(12, kFieldCol, u.code, "@S30"))
        .when([&con, hint_box] { return cartel4(con, '1', hint_box); })
        .valid([&env] {
          const std::string scanned = env.check.unit.code;
          return desdo_tz(env, scanned, true);
        });
    form.add(con, Get::text(13, kFieldCol, u.serial))
        .when([&con, hint_box] { return cartel4(con, '2', hint_box); })
        .valid([&env] { return !blank(env.check.unit.serial); });
    form.add(con, Get::text(14, kFieldCol, u.lot)).when([&con, hint_box] { return cartel4(con, '3', hint_box); });
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
  u.code = std::string(60, ' ');
  u.gtin = tools::str_0(get_best_bar(env.areas), 14);
  u.serial = std::string(20, ' ');
  u.lot = std::string(10, ' ');
  u.expiry = {};
  const bool ok = capture_box(env, hint_box);
  // The code keeps its separators as "@" whatever way they were typed.
  u.code = pad_right(gs1::normalize_separators(u.code), 60);
  return ok;
}

}  // namespace

double get_best_bar(rt::wa::WorkAreas& areas) {
  if (areas.select("producto") == 0) return 0;
  rt::wa::Area& p = areas.area("producto");
  const double codprod = rt::text::val(p.get("CODPROD").text());
  return codprod > 9999999 ? codprod : p.get("CODVAR").number();
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
  const std::string processed = gs1::split(last_cod, u);
  if (tec && !blank(processed) && !blank(u.code))
    env.con.keyboard(gs1::retype_keys(u, env.con.settings().century));
  return true;
}

void get_traza(CheckEnv& env, std::string& last_cod, bool hint_box) {
  tools::Trace trace("GET_TRAZA");
  gs1::TraceFields& u = env.check.unit;
  last_cod = gs1::normalize_separators(gs1::drop_symbology_prefix(last_cod));

  bool ok = true;
  if (gs1::looks_like_gs1(last_cod)) {
    desdo_tz(env, last_cod, false);
    u.code = pad_right(last_cod, 60);
    if (blank(u.gtin) || blank(u.serial)) {
      // A code that yields no GTIN or no serial cannot identify the unit:
      // the capture box asks for it as at a station without a reader.
      ok = manual_capture(env, hint_box);
    } else if (blank(u.lot) || u.expiry.empty()) {
      // Only what the code lacks comes from the last unit confirmed.
      if (blank(u.lot)) u.lot = pad_right(env.check.last_lot, 10);
      if (u.expiry.empty()) u.expiry = env.check.last_expiry;
      ok = completion_box(env);
      env.check.last_lot = u.lot;
      env.check.last_expiry = u.expiry;
    }
  } else {
    ok = manual_capture(env, hint_box);
  }

  if (u.code.compare(0, 3, "+C1") == 0) u.code = gs1::drop_symbology_prefix(u.code);
  u.code = pad_right(u.code, 60);
  u.gtin = pad_right(u.gtin, 14);
  u.serial = pad_right(u.serial, 20);
  u.lot = pad_right(u.lot, 10);
  if (ok) env.check.unit_ok = true;
}

}  // namespace app
