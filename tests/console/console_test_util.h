// A console on the headless back end for the tests.
#pragma once

#include <memory>

#include "runtime/console/console.h"
#include "runtime/console/headless.h"

namespace contest {

struct Rig {
  rt::con::HeadlessBackend* backend;
  std::unique_ptr<rt::con::Console> console;

  Rig() {
    auto b = std::make_unique<rt::con::HeadlessBackend>();
    backend = b.get();
    console = std::make_unique<rt::con::Console>(std::move(b));
    console->set_date_window(rt::text::DateWindow{2026});
  }
  rt::con::Console& con() { return *console; }
  rt::con::HeadlessBackend& script() { return *backend; }
  // The characters of a row from column c, n wide.
  std::string text(int r, int c, int n) const { return console->screen().row_text(r).substr(c, n); }
  rt::con::Attr attr(int r, int c) const { return console->screen().at(r, c).attr; }
};

}  // namespace contest
