// dbftool: the command line for the suite's tables (inspect, dump, create,
// load, verify).  Each subcommand is its own file; see command.h.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cmd/dbftool/command.h"
#include "cmd/dbftool/table_access.h"

namespace {

void print_help(std::FILE* out) {
  std::fprintf(out,
               "usage: dbftool COMMAND [ARGUMENTS]\n"
               "       dbftool help COMMAND\n\n"
               "Commands:\n");
  for (const auto* c : dbftool::commands()) std::fprintf(out, "  %-8s %s\n", c->name.c_str(), c->summary.c_str());
  std::fprintf(out,
               "\nTexts are shown and read as UTF-8 and stored in the table's code page.\n"
               "Errors go to standard error, naming the file and the problem.\n\n"
               "Exit codes:\n"
               "  0  done, nothing wrong\n"
               "  1  the table or the input has problems (all of them are reported)\n"
               "  2  wrong command line\n"
               "  3  the table cannot be opened or read (missing, damaged, unsupported)\n"
               "  4  the table cannot be created or written (exists, refused, I/O error)\n"
               "  5  another program has the table open exclusively (or, for repair, open at\n"
               "     all), or holds its lock longer than the wait (10 s): try again later\n");
}

void print_command_help(const dbftool::Command& c, std::FILE* out) {
  std::fprintf(out, "usage: dbftool %s\n\n%s\n", c.usage.c_str(), c.summary.c_str());
  if (!c.details.empty()) std::fprintf(out, "\n%s", c.details.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    print_help(stderr);
    return dbftool::kExitUsage;
  }
  const std::string name = args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    if (args.size() > 1) {
      const auto* c = dbftool::find_command(args[1]);
      if (!c) {
        dbftool::report_error("unknown command " + args[1] + " (see dbftool --help)");
        return dbftool::kExitUsage;
      }
      print_command_help(*c, stdout);
    } else {
      print_help(stdout);
    }
    return dbftool::kExitOk;
  }
  const auto* command = dbftool::find_command(name);
  if (!command) {
    dbftool::report_error("unknown command " + name + " (see dbftool --help)");
    return dbftool::kExitUsage;
  }
  args.erase(args.begin());
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      print_command_help(*command, stdout);
      return dbftool::kExitOk;
    }
  }
  try {
    return command->run(args);
  } catch (const dbftool::UsageError& e) {
    dbftool::report_error(e.what());
    std::fprintf(stderr, "usage: dbftool %s\n", command->usage.c_str());
    return dbftool::kExitUsage;
  } catch (const std::bad_alloc&) {
    dbftool::report_error("out of memory");
    return dbftool::kExitCannotRead;
  } catch (const std::exception& e) {
    dbftool::report_error(e.what());
    return dbftool::is_busy(e) ? dbftool::kExitBusy : dbftool::kExitCannotRead;
  }
}
