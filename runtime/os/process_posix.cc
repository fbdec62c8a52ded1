#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "runtime/os/process.h"

extern char** environ;

namespace rt::os {

int run_command(const std::string& cmd) {
  pid_t pid;
  const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string env(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? v : "";
}

}  // namespace rt::os
