// The key notation of the station's --headless mode: plain characters stand
// for themselves; named keys go in braces: {ENTER} {ESC} {TAB} {BS} {UP}
// {DOWN} {LEFT} {RIGHT} {HOME} {END} {PGUP} {PGDN} {DEL} {INS} {F1} .. {F10}
// {CTRL-]} (the group separator, 29) and {LBRACE} for "{".  Line ends are
// ignored, so a script may be split over lines.  Texts are UTF-8 and become
// the console's code page.
#pragma once

#include <stdexcept>
#include <string_view>
#include <vector>

namespace app {

class KeyScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The key codes of a script; KeyScriptError naming an unknown key or an
// unclosed brace.
std::vector<int> parse_key_script(std::string_view script);

}  // namespace app
