#include "tests/support/testing.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "chk_test_XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string fixtures_dir() { return std::string(CHK_SOURCE_DIR) + "/tests/fixtures"; }

std::string foreign_fixture(const std::string& relative) {
  return fixtures_dir() + "/foreign/" + relative;
}

void copy_file(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

void copy_foreign_set(const std::string& set, const std::string& dir) {
  for (const auto& e : std::filesystem::directory_iterator(foreign_fixture(set)))
    if (e.is_regular_file()) copy_file(e.path().string(), dir + "/" + e.path().filename().string());
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
}

std::string bin_dir() {
  if (const char* s = std::getenv("CHK_BIN")) return s;
  return std::string(CHK_BINARY_DIR) + "/bin";
}

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

int wait_child(int pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
