// Random keys into the field editor and the browse, and random coordinates
// and texts into the screen operations, on the headless console: nothing may
// crash, hang or write outside the grid.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/console/browse.h"
#include "runtime/console/console.h"
#include "runtime/console/get.h"
#include "runtime/console/headless.h"

using namespace rt::con;

namespace {

const int kSpecial[] = {key::kEnter, key::kEsc, key::kUp, key::kDown, key::kLeft, key::kRight, key::kHome,
                        key::kEnd, key::kPgUp, key::kPgDn, key::kCtrlPgUp, key::kCtrlPgDn, key::kBackspace,
                        key::kDel, key::kIns, key::kCtrlY, key::kCtrlW, key::kCtrlHome, key::kCtrlEnd,
                        key::kCtrlLeft, key::kCtrlRight, key::kTab, key::kShiftTab, key::kF1, -1, -9, 302,
                        key::kWheelForward, key::kRightDown, key::kMouseMove, '.', '-'};

void script_keys(HeadlessBackend& b, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t v = data[i];
    if (v < 32) {
      b.key(kSpecial[v]);
    } else if (v == 0xFF) {
      b.pause(0.5);
    } else {
      b.key(v);
    }
  }
}

int sgn(std::uint8_t v) { return static_cast<int>(v) - 100; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend& script = *backend;
  Console con(std::move(backend));
  con.set_confirm(data[0] & 1);
  con.set_key(29, [&](int) { con.push_front({'@'}); });
  const std::uint8_t mode = data[0] >> 1 & 3;
  try {
    if (mode == 0) {
      std::string text(12, ' '), code(60, ' ');
      double n = 0, price = 1.5;
      rt::text::Date d;
      Form form;
      form.add(con, Get::text(3, 70, text, "@!"));
      form.add(con, Get::number(5, 24, n, "@Z 999999"));
      form.add(con, Get::number(6, 75, price, "9,999.99"));
      form.add(con, Get::date(7, 76, d));
      form.add(con, Get::text(12, 60, code, "@S30").valid([&] { return code[0] != 'Q'; }));
      script_keys(script, data + 1, size - 1);
      form.read(con);
    } else if (mode == 1) {
      MemorySource src({{"a", 30}, {"n", 5}, {"d", 8}});
      const std::size_t rows = size > 1 ? data[1] % 40 : 0;
      for (std::size_t i = 0; i < rows; ++i) src.append({rt::Value("ROW " + std::to_string(i)), rt::Value(double(i)), rt::Value()});
      BrowseLayout spec;
      spec.top = size > 2 ? sgn(data[2]) / 8 : 8;
      spec.bottom = spec.top + (size > 3 ? data[3] % 30 : 12);
      spec.left = size > 4 ? sgn(data[4]) : 0;
      spec.right = spec.left + (size > 5 ? data[5] : 79);
      spec.columns = {{"a", "Producto", ""}, {"n", "Cant", "@Z 99999"}, {"d", "", ""}};
      spec.heading_sep = "\xC4";
      spec.user = [&](int, int) { return con.lastkey() == key::kEsc ? 0 : con.lastkey() == 'x' ? 2 : 1; };
      if (size > 6) script_keys(script, data + 6, size - 6);
      dbedit(con, src, spec);
    } else {
      std::size_t i = 1;
      while (i + 5 <= size) {
        const int op = data[i] % 8, r = sgn(data[i + 1]), c = sgn(data[i + 2]), b = sgn(data[i + 3]), w = sgn(data[i + 4]);
        const std::string text(reinterpret_cast<const char*>(data + i), std::min<std::size_t>(size - i, 90));
        switch (op) {
          case 0: con.devpos(r, c); con.devout(text, text); break;
          case 1: con.dispbox(r, c, b, w, text.substr(0, 9), "w+/b"); break;
          case 2: con.scroll(r, c, b, w, sgn(data[i]) / 10, w / 10); break;
          case 3: con.restscreen(r, c, b, w, con.savescreen(c, r, w, b)); break;
          case 4: con.colorwin(r, c, b, w, text); break;
          case 5: Console::charodd(con.screenstr(r, c, w * 30)); break;
          case 6: con.set_color(text); break;
          default: con.restscreen(r, c, b, w, text); break;
        }
        i += 5;
      }
    }
  } catch (const ScriptExhausted&) {
  }
  return 0;
}
