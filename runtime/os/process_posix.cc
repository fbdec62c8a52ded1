#include <cctype>
#include <string_view>

#include "runtime/os/file.h"
#include "runtime/os/process.h"

namespace rt::os {

namespace {

// Quoted for /bin/sh only when it holds anything but plain name characters,
// so ordinary command lines read as the station's own.
std::string shell_quoted(const std::string& s) {
  bool plain = !s.empty();
  for (unsigned char c : s)
    plain = plain && (std::isalnum(c) || std::string_view("_./-:+,@%=").find(static_cast<char>(c)) != std::string_view::npos);
  if (plain) return s;
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

}  // namespace

std::string program_command(Env& env, const std::string& program, const std::string& argument) {
  std::string name = program;
  if (auto here = find_file_nocase(env, ".", program)) name = "./" + basename_of(*here);
  return shell_quoted(name) + " " + shell_quoted(argument);
}

}  // namespace rt::os
