// Second processes, the environment and shell commands on POSIX systems.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "tests/support/testing.h"

namespace testing_support {

int spawn_child(const std::function<int()>& fn) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int rc = 99;
    try {
      rc = fn();
    } catch (...) {
      rc = 99;
    }
    std::fflush(nullptr);
    ::_exit(rc);
  }
  return pid;
}

int spawn_child(const std::string& name, const std::vector<std::string>& args) {
  return spawn_child([&] { return run_child_routine(name, args); });
}

int wait_child(int pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void kill_child(int pid) { ::kill(pid, SIGKILL); }
void hang_up(int pid) { ::kill(pid, SIGHUP); }

void set_env(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }
void unset_env(const std::string& name) { ::unsetenv(name.c_str()); }

bool on_windows() { return false; }

int run_capture(const std::string& cmd, std::string* out) {
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testing_support
