#include "app/key_script.h"

#include <map>
#include <string>

#include "runtime/text/codepage.h"
#include "tools/screen_names.h"

namespace app {

std::vector<int> parse_key_script(std::string_view script) {
  namespace key = ::tools::key;
  static const std::map<std::string, int> named = {
      {"ENTER", key::kEnter}, {"ESC", key::kEsc},    {"TAB", 9},          {"BS", key::kBackspace},
      {"UP", key::kUp},       {"DOWN", key::kDown},  {"LEFT", key::kLeft}, {"RIGHT", key::kRight},
      {"HOME", key::kHome},   {"END", key::kEnd},    {"PGUP", key::kPgUp}, {"PGDN", key::kPgDn},
      {"DEL", key::kDel},     {"INS", key::kIns},    {"F1", key::kF1},     {"CTRL-]", key::kGroupSeparator},
      {"LBRACE", '{'},        {"ALT-C", key::kAltC}, {"CTRL-KPMINUS", 398}, {"CTRL-KPPLUS", 400}};
  std::vector<int> out;
  std::string plain;
  const auto flush = [&] {
    for (unsigned char c : rt::text::from_utf8(plain)) out.push_back(c);
    plain.clear();
  };
  for (std::size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (c == '\n' || c == '\r') continue;
    if (c != '{') {
      plain += c;
      continue;
    }
    const auto end = script.find('}', i + 1);
    if (end == std::string_view::npos) throw KeyScriptError("unclosed \"{\" in the key script");
    std::string name(script.substr(i + 1, end - i - 1));
    for (auto& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    flush();
    if (auto it = named.find(name); it != named.end()) {
      out.push_back(it->second);
    } else if (name.size() >= 2 && name[0] == 'F' && name.find_first_not_of("0123456789", 1) == std::string::npos &&
               name.size() <= 3 && std::stoi(name.substr(1)) >= 2 && std::stoi(name.substr(1)) <= 10) {
      out.push_back(key::f(std::stoi(name.substr(1))));
    } else {
      throw KeyScriptError("unknown key {" + name + "} in the key script");
    }
    i = end;
  }
  flush();
  return out;
}

}  // namespace app
