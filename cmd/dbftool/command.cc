#include "cmd/dbftool/command.h"

#include <algorithm>
#include <cstdio>

namespace dbftool {
namespace {

std::vector<Command>& registry() {
  static std::vector<Command> r;
  return r;
}

}  // namespace

CommandRegistrar::CommandRegistrar(Command c) { registry().push_back(std::move(c)); }

std::vector<const Command*> commands() {
  std::vector<const Command*> out;
  for (const auto& c : registry()) out.push_back(&c);
  std::sort(out.begin(), out.end(), [](const Command* a, const Command* b) { return a->name < b->name; });
  return out;
}

const Command* find_command(const std::string& name) {
  for (const auto& c : registry())
    if (c.name == name) return &c;
  return nullptr;
}

std::string ParsedArgs::value(const std::string& option, const std::string& fallback) const {
  auto it = values.find(option);
  return it == values.end() || it->second.empty() ? fallback : it->second.back();
}

ParsedArgs parse_args(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
  ParsedArgs out;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a.size() < 2 || a[0] != '-' || a == "-") {
      out.positional.push_back(a);
      continue;
    }
    if (a == "--") {
      options_done = true;
      continue;
    }
    std::string name = a;
    std::string value;
    bool inline_value = false;
    if (auto eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inline_value = true;
    }
    auto spec = std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& s) { return s.name == name; });
    if (spec == specs.end()) throw UsageError("unknown option " + name);
    if (!spec->repeatable && out.has(name)) throw UsageError("option " + name + " given twice");
    if (spec->takes_value) {
      if (!inline_value) {
        if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
        value = args[++i];
      }
    } else if (inline_value) {
      throw UsageError("option " + name + " takes no value");
    }
    out.values[name].push_back(value);
  }
  return out;
}

const std::string& single_file(const ParsedArgs& args, const std::string& command) {
  if (args.positional.empty()) throw UsageError(command + ": the table file is missing");
  if (args.positional.size() > 1) throw UsageError(command + ": unexpected argument " + args.positional[1]);
  return args.positional[0];
}

void report_error(const std::string& message) {
  std::fprintf(stderr, "dbftool: %s\n", message.c_str());
}

}  // namespace dbftool
