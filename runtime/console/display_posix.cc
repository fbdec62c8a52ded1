#include "runtime/console/display.h"
#include "runtime/console/terminal.h"

namespace rt::con {

std::unique_ptr<Backend> make_display(DisplayOptions options) {
  TerminalOptions t;
  t.restore_on_signals = options.restore_on_signals;
  t.env = options.env;
  return std::make_unique<TerminalBackend>(t);
}

}  // namespace rt::con
