#include <string_view>

#include "runtime/os/process.h"

namespace rt::os {

std::string program_command(Env& env, const std::string& program, const std::string& argument) {
  (void)env;
  // cmd.exe looks in the working folder before the PATH by itself.  Double
  // quotes cannot stand inside a quoted argument; a file name has none.
  bool plain = !argument.empty();
  for (char c : argument) plain = plain && std::string_view(" \t&|<>^(),;=\"").find(c) == std::string_view::npos;
  return program + " " + (plain ? argument : "\"" + argument + "\"");
}

}  // namespace rt::os
