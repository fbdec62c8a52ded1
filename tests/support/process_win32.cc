// Second processes, the environment and commands on Windows.  A child is
// the test program itself started again with "--chk-child NAME ARGS..."
// (see main.cc), so two Windows processes share the tables as two stations
// would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>

#include "tests/support/testing.h"

namespace testing_support {

namespace {

// Quoted so that the child's C runtime reads the argument back as it was.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring wide(const std::string& s) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::mutex g_mu;
std::map<int, HANDLE> g_children;

// Exit status of a child ended by kill_child; wait_child reports it as -1.
constexpr UINT kKilledStatus = 0xDEAD;

}  // namespace

int spawn_child(const std::function<int()>&) {
  throw std::runtime_error("fork() has no Windows counterpart: start a registered routine instead");
}

int spawn_child(const std::string& name, const std::vector<std::string>& args) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = quoted(self) + L" --chk-child " + quoted(wide(name));
  for (const auto& a : args) line += L" " + quoted(wide(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::fflush(nullptr);
  if (!::CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    throw std::runtime_error("cannot start the second process");
  ::CloseHandle(pi.hThread);
  std::lock_guard<std::mutex> guard(g_mu);
  g_children[static_cast<int>(pi.dwProcessId)] = pi.hProcess;
  return static_cast<int>(pi.dwProcessId);
}

int wait_child(int pid) {
  HANDLE h;
  {
    std::lock_guard<std::mutex> guard(g_mu);
    auto it = g_children.find(pid);
    if (it == g_children.end()) return -1;
    h = it->second;
    g_children.erase(it);
  }
  ::WaitForSingleObject(h, INFINITE);
  DWORD status = 0;
  const BOOL ok = ::GetExitCodeProcess(h, &status);
  ::CloseHandle(h);
  if (!ok || status == kKilledStatus) return -1;
  return static_cast<int>(status);
}

void kill_child(int pid) {
  std::lock_guard<std::mutex> guard(g_mu);
  auto it = g_children.find(pid);
  if (it != g_children.end()) ::TerminateProcess(it->second, kKilledStatus);
}

void hang_up(int) { throw std::runtime_error("SIGHUP is POSIX's"); }

void set_env(const std::string& name, const std::string& value) { ::_putenv_s(name.c_str(), value.c_str()); }
void unset_env(const std::string& name) { ::_putenv_s(name.c_str(), ""); }

bool on_windows() { return true; }

int run_capture(const std::string& cmd, std::string* out) {
  FILE* p = ::_popen(cmd.c_str(), "rb");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = ::_pclose(p);
  if (out) *out = text;
  return status;
}

}  // namespace testing_support
