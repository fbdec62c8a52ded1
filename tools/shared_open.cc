#include "tools/shared_open.h"

#include <utility>

#include "runtime/cdx/page.h"
#include "runtime/table/error.h"

#include "data/layouts.h"
#include "runtime/console/keys.h"
#include "runtime/os/file.h"
#include "runtime/workarea/orders.h"
#include "runtime/text/convert.h"
#include "tools/guards.h"
#include "tools/screen_names.h"
#include "tools/screens.h"

namespace tools {

namespace {

// Puts the whole screen and the cursor back when a traffic box was shown,
// also when the routine leaves by an exception of the table runtime.
struct TrafficBox {
  rt::con::Console& con;
  std::string saved;
  bool shown = false;
  const char* colour = nullptr;  // colour to set before restoring, if any

  explicit TrafficBox(rt::con::Console& c) : con(c) {}
  ~TrafficBox() { close(); }
  void save() {
    saved = con.xsavescreen();
    shown = true;
  }
  void close() {
    if (!shown) return;
    shown = false;
    if (colour) con.set_color(colour);
    con.xrestscreen(saved);
    con.setcursor(1);
  }
};

// The traffic box: `file` named on its second line, `por_que` on its third.
void draw_netuse_box(rt::con::Console& con, const std::string& file, const std::string& por_que) {
  con.scroll(16, 1, 24, 42);
  con.scroll(17, 3, 23, 40);
  con.dispbox(17, 3, 23, 40, 1);
  con.devpos(17, 8);
  con.devout(" Tr\xA0nsito Pesado En La Red ");
  con.devpos(19, 5);
  con.devout("Archivo: " + file);
  con.devpos(20, 5);
  con.devout(por_que);
  con.devpos(21, 5);
  con.devout("Reintentando ...                  ");
  con.devpos(22, 7);
  con.devout("(\xAE" "Esc\xAF Interrumpe)    (Linea: 116)");
}

// The run's refusal log, kept with its console.
struct Refusals {
  RefusalLog* log = nullptr;  // the innermost RefusalLog alive
  bool paused = false;        // DATE1's own fallback is not a refusal
};

Refusals& refusals_of(rt::con::Console& con) { return con.run_state<Refusals>(); }

void note_refusal(rt::con::Console& con, const std::string& detail) {
  const Refusals& r = refusals_of(con);
  if (r.log && !r.paused) r.log->note(detail);
}

}  // namespace

RefusalLog::RefusalLog(rt::con::Console& con)
    : installed_(refusals_of(con).log), previous_(std::exchange(installed_, this)) {}
RefusalLog::~RefusalLog() { installed_ = previous_; }

namespace {

// The kinds of the errors below the tables: the file system, order bags and
// work areas.  Each names the file when it is known; anything else reads as
// a damaged table or index.
std::string file_problem(const rt::os::IoError& e) {
  const std::string file = " " + rt::os::basename_of(e.path());
  switch (e.kind()) {
    case rt::os::IoKind::NotFound: return "Archivo" + file + " No Encontrado";
    case rt::os::IoKind::Exists: return "Archivo" + file + " Ya Existe";
    case rt::os::IoKind::Denied: return "Sin Permiso Sobre El Archivo" + file;
    case rt::os::IoKind::Busy: return "Archivo" + file + " En Uso Por Otro Usuario";
    case rt::os::IoKind::NoSpace: return "Disco Lleno Al Escribir" + file;
    case rt::os::IoKind::Failed: break;
  }
  return "Error De Lectura O Escritura En" + file;
}

std::string bag_problem(const rt::cdx::CdxError& e) {
  const std::string file = " " + rt::os::basename_of(e.bag());
  switch (e.kind()) {
    case rt::cdx::CdxError::Kind::Busy: return "\xD6ndice" + file + " En Uso Por Otro Usuario";
    case rt::cdx::CdxError::Kind::Refused: return "Error Interno En" + file;
    case rt::cdx::CdxError::Kind::Damaged: break;
  }
  return "\xD6ndice" + file + " Da\xA4" "ado";
}

std::string area_problem(const rt::wa::WorkAreaError& e) {
  using Kind = rt::wa::WorkAreaError::Kind;
  switch (e.kind()) {
    case Kind::NotWritable: return "Tabla Solo De Lectura O Registro Sin Bloquear";
    case Kind::BagBusy: return "\xD6ndice En Uso Por Otro Usuario";
    case Kind::Bag: return "\xD6ndice Da\xA4" "ado O Ausente";
    default: return "Error Interno En Las Tablas";  // the program's own misuse
  }
}

}  // namespace

std::string problem_text(const std::exception& e) {
  if (const auto* io = dynamic_cast<const rt::os::IoError*>(&e)) return file_problem(*io);
  if (const auto* bag = dynamic_cast<const rt::cdx::CdxError*>(&e)) return bag_problem(*bag);
  if (const auto* area = dynamic_cast<const rt::wa::WorkAreaError*>(&e)) return area_problem(*area);
  const auto* t = dynamic_cast<const rt::table::TableError*>(&e);
  if (!t) return "Tabla O \xD6ndice Da\xA4" "ado";
  const std::string file = t->file().empty() ? "" : " " + rt::os::basename_of(t->file());
  switch (t->kind()) {
    case rt::table::ErrorKind::Io: return "Error De Lectura O Escritura En" + (file.empty() ? " Disco" : file);
    case rt::table::ErrorKind::Corrupt: return "Archivo" + file + " Da\xA4" "ado";
    case rt::table::ErrorKind::Unsupported: return "Archivo" + file + " De Formato Desconocido";
    case rt::table::ErrorKind::ValueRefused: return "Dato Que No Cabe En Su Campo";
    case rt::table::ErrorKind::ReadOnly: return "Archivo" + file + " Solo De Lectura";
    case rt::table::ErrorKind::NotLocked: return "Registro Sin Bloquear En" + file;
    case rt::table::ErrorKind::Busy: return "Archivo" + file + " En Uso Por Otro Usuario";
    case rt::table::ErrorKind::Usage: break;
  }
  return "Error Interno En" + (file.empty() ? " Las Tablas" : file);
}

bool one_lookup(rt::con::Console& con, rt::wa::WorkAreas& wa, const layout::TableLayout& layout,
                const std::function<void(rt::wa::Area&)>& read) {
  const std::string table = layout.name;
  OneLookup lookup(wa, true);
  try {
    if (!netuse(con, wa, table)) return false;
    rt::wa::set_index(wa.current(), table);
    read(wa.current());
    return true;
  } catch (const std::exception& e) {
    cartel_1(con, "No Se Puede Leer La Tabla " + table + ": " + problem_text(e));
  }
  return false;
}

// The retry loop of NETUSE.  The suite tried again at once, keeping a
// processor busy for as long as the other user held the table; here each
// failed attempt is followed by a short sleep on the console's clock.
bool retry_netuse(rt::con::Console& con, const std::string& archivo, const std::string& por_que,
                  const std::function<bool()>& attempt) {
  TrafficBox box(con);
  int failures = 0;
  while (true) {
    if (attempt()) {
      box.close();
      return true;
    }
    ++failures;
    if (failures == 5) {
      box.save();
      draw_netuse_box(con, archivo + ".DBF", por_que);
      con.setcursor(0);
    }
    if (con.inkey() == rt::con::key::kEsc) {
      box.close();
      return false;
    }
    con.clock().sleep(kNetuseYieldSeconds);
  }
}

// NETUSE of the suite.
bool netuse(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::string& archivo, const std::string& apodo,
            const std::string& el_driver) {
  (void)el_driver;
  rt::wa::OpenOptions options;
  options.alias = apodo;
  const bool opened = retry_netuse(con, archivo, "En Uso Exclusivo Por Otro Usuario ",
                                   [&] { return wa.use(archivo, options) || !wa.neterr(); });
  // Appends and memos wait briefly; a longer wait is the caller's retry.
  if (opened && !wa.alias().empty()) wa.current().table().set_lock_wait(kNetuseLockWaitSeconds);
  return opened;
}

bool append_netuse(rt::con::Console& con, rt::wa::Area& area,
                   const std::vector<std::pair<std::string, rt::Value>>& fields) {
  return retry_netuse(con, area.alias(), kAppendBusy, [&] { return area.append(fields); });
}

rt::cdx::LockWait bag_lock_wait(rt::con::Console& con) {
  auto box = std::make_shared<TrafficBox>(con);
  return [&con, box](const std::string& bag, int attempt) {
    if (attempt == 0) {
      box->close();
      return true;
    }
    if (attempt == 5) {
      box->save();
      draw_netuse_box(con, rt::text::upper(rt::os::basename_of(bag)), "Indice Bloqueado Por Otro Usuario ");
      con.setcursor(0);
    }
    if (con.inkey() == rt::con::key::kEsc) {
      box->close();
      return false;
    }
    con.clock().sleep(kNetuseYieldSeconds);
    return true;
  };
}

bool open_checked(rt::con::Console& con, rt::wa::WorkAreas& areas, const layout::TableLayout& spec,
                  const std::string& file, std::string* problem) {
  const std::string name = file.empty() ? std::string(spec.name) : file;
  const std::string table = "table " + name + " (" + spec.what + ")";
  const std::string shown_table = "Tabla " + name;
  // Shows `shown` to the operator and hands `detail` to the caller; the
  // area is left empty.
  const auto refuse = [&](const std::string& shown, const std::string& detail) {
    areas.close_area();
    if (problem) *problem = detail;
    note_refusal(con, detail);
    if (!shown.empty()) tools::cartel_1(con, shown);
    return false;
  };

  const std::string dbf = rt::os::has_extension(name) ? name : name + ".dbf";
  // Opened without looking for the file first: on a network drive the look
  // is one more round trip, and the open's own "not found" says the same.
  try {
    if (!netuse(con, areas, name)) return refuse("", table + " is in exclusive use by another user; given up");
  } catch (const rt::table::TableError& e) {
    if (e.missing())
      return refuse(shown_table + " No Disponible!!! (No Existe)",
                    table + " is missing: no file " + dbf + " in the data folder");
    // A crash between a record and its count: the administrator's tool
    // mends it, so the operator is told which one to call.
    if (e.repairable())
      return refuse("Tabla " + dbf + " Da\xA4" "ada: Ejecutar dbftool repair " + dbf + "!!!",
                    table + " cannot be opened: " + e.what() + " (dbftool repair " + dbf + " mends it)");
    return refuse(shown_table + " No Disponible!!! (" + problem_text(e) + ")",
                  table + " cannot be opened: " + e.what());
  } catch (const std::exception& e) {
    return refuse(shown_table + " No Disponible!!! (" + problem_text(e) + ")",
                  table + " cannot be opened: " + e.what());
  }

  std::vector<layout::ActualField> actual;
  for (const auto& f : areas.current().table().schema().fields)
    actual.push_back({f.name, f.letter(), f.length, f.decimals});
  const auto problems = layout::field_problems(spec, actual);
  if (!problems.empty()) {
    std::string all = problems.front().text;
    for (std::size_t i = 1; i < problems.size(); ++i) all += "; " + problems[i].text;
    const auto& first = problems.front();
    return refuse(shown_table + (first.missing ? ": Falta El Campo " + first.field + "!!!"
                                               : ": Campo " + first.field + " De Tipo O Largo Incorrecto!!!"),
                  all);
  }

  for (const auto& bag : spec.bags) {
    if (!*bag.file) continue;  // the check table's own bag is built with the table
    try {
      rt::wa::set_index(areas.current(), bag.file);
    } catch (const std::exception& e) {
      return refuse(shown_table + ": \xD6ndice " + bag.file + ".cdx No Disponible!!!",
                    table + ": order bag " + bag.file + ".cdx cannot be opened: " + e.what());
    }
  }
  return true;
}

// RBLOQUEO2 of the suite.
bool rbloqueo2(rt::con::Console& con, rt::wa::WorkAreas& wa) {
  rt::wa::Area& area = wa.current();
  TrafficBox box(con);
  box.colour = colour::kNormal;
  int attempts = 0;
  while (true) {
    ++attempts;
    if (attempts == 5) {
      box.save();
      con.set_color(colour::kNormal);
      con.scroll(17, 1, 24, 40);
      con.set_color(colour::kReverso);
      con.scroll(18, 3, 23, 38);
      con.dispbox(18, 3, 23, 38, 1);
      con.devpos(18, 8);
      con.devout(" Tr\xA0nsito Pesado En La Red ");
      con.devpos(20, 5);
      con.devout("Archivo: " + area.alias() + ".DBF");
      con.devpos(21, 5);
      con.devout("Registro: " + std::to_string(area.recno()) + " En Uso");
      con.devpos(22, 5);
      con.devout("Reintententando... (linea: 1318)");
      con.setcursor(0);
    }
    if (attempts >= 5) {
      con.devpos(22, 36);
      con.devout("\xED");
      con.tone(3000, 0.1);
      con.devpos(22, 36);
      con.devout("\xEC");
      con.inkey(0.4);
    }
    if (area.lock_record()) break;
  }
  box.close();
  return true;
}

// DATE1 of the suite.
rt::text::Date date1(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::string& arch_fecha) {
  // A date table that is missing, damaged or without FECHA is named in a
  // message box and the machine's date stands in, as when the operator gives
  // up waiting for it: the caller goes on instead of failing.
  OneLookup lookup(wa);
  bool& paused_flag = refusals_of(con).paused;
  const bool paused = std::exchange(paused_flag, true);
  const bool opened = open_checked(con, wa, layout::fec_sys(), arch_fecha);
  paused_flag = paused;
  if (!opened) return con.clock().now().date;
  return layout::View<layout::BusinessDate>(wa.current()).get(layout::BusinessDate::FECHA).date();
}

}  // namespace tools
