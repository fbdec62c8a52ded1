// condemo: a small program on the terminal console, used by the terminal
// test and for trying the console by hand.  It draws a header, boxes and
// colours, asks for a ticket and a seller in a form, then browses a few
// lines in memory: typed or scanned characters collect on row 23 and Enter
// shows the whole scan on row 22 with its length; every key's code shows on
// row 24.  F2 runs a command (the first argument, or a short echo), Esc
// leaves.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "runtime/console/browse.h"
#include "runtime/console/console.h"
#include "runtime/console/get.h"
#include "runtime/console/display.h"
#include "runtime/text/convert.h"

using namespace rt::con;
using rt::Value;

namespace {

std::string line80(const std::string& s) { return rt::text::pad_right(s, 80); }

// The window settings the terminal kept without showing, printed once the
// terminal is back to normal.
std::vector<std::string> g_kept;

int demo(Console& con, const std::string& command) {
  set_up_window(con, "Velmor 32");
  con.set_confirm(true);

  con.devpos(0, 0);
  con.devout("                    Control de Empaque y Traza de Productos                     ", "w+/bg");
  con.dispbox(1, 56, 3, 79, 2, "gr+/r");
  con.devpos(2, 58);
  con.devout("TICKET N\xA7 0042", "gr+/r");  // N and the ordinal sign, byte 167
  con.dispbox(1, 0, 3, 20, 1, "w+/b");
  con.devpos(2, 2);
  con.devout("Caja \xA6 \x82\xA0\xA1\xA2\xA3 \xA4", "w+/b");  // ª éáíóú ñ
  con.devpos(2, 24);
  con.devout("ROJO", "r+/n");
  con.devout(" ");
  con.devout("VERDE", "g+/n");
  con.devout(" ");
  con.devout("AZUL", "w+/b");

  // The entry form.
  double ticket = 0, seller = 0;
  con.devpos(5, 5);
  con.devout("Ingrese N\xA7 Interno", "gr+/n");
  con.devpos(6, 5);
  con.devout("Vendedor:", "gr+/n");
  Form form;
  form.add(con, Get::number(5, 24, ticket, "@Z 999999"));
  form.add(con, Get::number(6, 15, seller, "@Z 9999").valid([&] { return seller > 0; }));
  if (!form.read(con)) {
    g_kept = con.kept_settings();
    con.quit(0);
  }
  con.devpos(6, 30);
  con.devout("Ticket " + rt::text::trim(rt::text::str(ticket, 6)) + " vendedor " +
                 rt::text::trim(rt::text::str(seller, 4)),
             "w+/n");

  // The browse over lines in memory; Ctrl+] becomes "@" while it waits.
  MemorySource lines({{"descrip", 32}, {"cantid", 3}, {"cant_chk", 3}, {"cb", 13}});
  const char* names[] = {"IBUPROFENO 400 MG X 20", "AMOXICILINA 500 MG X 16", "PARACETAMOL 1 G X 10",
                         "OMEPRAZOL 20 MG X 28", "LORATADINA 10 MG X 10"};
  for (int i = 0; i < 14; ++i) {
    lines.append({Value(std::string(names[i % 5]) + " #" + std::to_string(i + 1)), Value(1 + i % 3), Value(0),
                  Value(7790000000000.0 + i)});
  }
  con.set_key(key::kGroupSeparator, [&](int) { con.push_front({'@'}); });
  std::string scan;
  int run_status = -1;
  BrowseLayout spec;
  spec.top = 8;
  spec.bottom = 20;
  spec.columns = {{"descrip", "Producto", ""}, {"cantid", "Vend", "@Z 999"}, {"cant_chk", "Cheq", "@Z 999"},
                  {"cb", "Barras", ""}};
  spec.heading_sep = "\xC4";
  spec.user = [&](int mode, int) {
    const int k = con.lastkey();
    con.devpos(24, 0);
    con.devout(line80("Tecla: " + std::to_string(k) + "  modo " + std::to_string(mode)), "gr+/n");
    if (mode == kIdle || mode == kTop || mode == kBottom) return int(kContinue);
    if (k == key::kEsc) return int(kAbort);
    if (k == key::function_key(2)) {
      run_status = con.run(command);
      con.devpos(4, 0);
      con.devout(line80("Comando terminado: " + std::to_string(run_status)), "g+/n");
      return int(kContinue);
    }
    if (k == key::kEnter) {
      con.devpos(22, 0);
      con.devout(line80("Lectura " + std::to_string(scan.size()) + ": " + scan), "w+/n");
      // Count the unit on the current line.
      auto& row = lines.row(lines.recno() - 1);
      row[2] = Value(row[2].number() + 1);
      scan.clear();
    } else if (k > 0 && k < 256) {
      scan += static_cast<char>(k);
    }
    con.devpos(23, 0);
    con.devout(line80(scan), "g+/n");
    return int(kContinue);
  };
  dbedit(con, lines, spec);
  con.set_key(key::kGroupSeparator, {});
  g_kept = con.kept_settings();
  con.quit(0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "printf 'RUN-OK\\n'; sleep 0.2";
  try {
    Console con(make_display());
    return demo(con, command);
  } catch (const QuitRequest& q) {
    for (const std::string& k : g_kept) std::printf("condemo: kept setting: %s\n", k.c_str());
    return q.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "condemo: %s\n", e.what());
    return 2;
  }
}
