// chk_env2: the packing-check and traceability station.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/demo_data.h"
#include "runtime/os/clock.h"

namespace {

constexpr const char* kVersion = "chk_env2 0.1";

void print_help(std::FILE* out) {
  std::fprintf(out,
               "usage: chk_env2 [--data DIR] [--headless] [TICKET [SELLER [TRACE_ONLY [CANCEL_VOUCHER]]]]\n"
               "       chk_env2 --make-demo DIR\n"
               "       chk_env2 --help | --version\n\n"
               "  --make-demo DIR  write a demo data folder (every table with its order bags)\n"
               "  --help           this text\n"
               "  --version        the program's version\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    print_help(stdout);
    return 0;
  }
  if (!args.empty() && args[0] == "--version") {
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (!args.empty() && args[0] == "--make-demo") {
    if (args.size() != 2) {
      std::fprintf(stderr, "chk_env2: --make-demo needs exactly one folder\n");
      return 2;
    }
    try {
      app::make_demo(args[1], rt::os::system_clock().now().date);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "chk_env2: %s\n", e.what());
      return 1;
    }
    std::printf("demo data written to %s\n", args[1].c_str());
    return 0;
  }
  std::fprintf(stderr, "chk_env2: the station itself is not built yet; only --make-demo is available\n");
  return 1;
}
