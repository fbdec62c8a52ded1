// dbftool's subcommands and what they share: the registry, the exit codes,
// argument parsing and error reporting.
//
// Each subcommand lives in its own file and registers itself with a
// CommandRegistrar at start-up, so a new subcommand is one new file.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace dbftool {

// Exit codes (listed by `dbftool --help`).
enum Exit : int {
  kExitOk = 0,          // done, nothing wrong
  kExitProblems = 1,    // the table or the input has problems (verify, load): all are reported
  kExitUsage = 2,       // wrong command line
  kExitCannotRead = 3,  // the table cannot be opened or read (missing, damaged, unsupported)
  kExitCannotWrite = 4, // the table cannot be created or written (exists, refused, I/O error)
  kExitBusy = 5,        // another program holds the table or a lock too long: try again later
};

// A wrong command line; the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Command {
  std::string name;
  std::string usage;    // "dump FILE [--format jsonl|csv] ..."
  std::string summary;  // one line
  std::string details;  // option descriptions, may be empty
  int (*run)(const std::vector<std::string>& args) = nullptr;
};

// Every registered command, sorted by name.
std::vector<const Command*> commands();
const Command* find_command(const std::string& name);

struct CommandRegistrar {
  explicit CommandRegistrar(Command c);
};

// One accepted option of a subcommand.
struct OptionSpec {
  std::string name;          // "--format"
  bool takes_value = false;  // "--format jsonl" or "--format=jsonl"
  bool repeatable = false;
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> values;  // option -> its values in order

  bool has(const std::string& option) const { return values.count(option) != 0; }
  // The option's value, or fallback when it was not given.
  std::string value(const std::string& option, const std::string& fallback = "") const;
};

// Throws UsageError for an unknown option, a missing value or a repeated
// option that is not repeatable.  "--" ends the options.
ParsedArgs parse_args(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs);

// Exactly one positional argument (the table); UsageError otherwise.
const std::string& single_file(const ParsedArgs& args, const std::string& command);

// "dbftool: <message>" on stderr.
void report_error(const std::string& message);

}  // namespace dbftool
