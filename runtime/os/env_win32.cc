// The Windows Env: the machine as this program sees it on the counters'
// Windows PCs.  Names are UTF-8 inside the program and UTF-16 for Windows;
// paths are used as they stand (drive letters, "\\server\share\..." names).
//
// Share modes are Windows' own: a shared open lets others read and write,
// an exclusive open denies every other open and is refused while another
// exists (a refusal is IoKind::Busy).  Byte-range locks are LockFileEx on
// the same ranges the POSIX Env locks, so the suite's programs and this one
// exclude each other on the same bytes.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "runtime/os/env.h"

namespace rt::os {
namespace {

std::wstring wide(const std::string& s) {
  if (s.empty()) return {};
  // UTF-8 first; a name that is not UTF-8 is read in the ANSI code page.
  UINT cp = CP_UTF8;
  int n = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) {
    cp = CP_ACP;
    n = ::MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  }
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) ::MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string narrow(const wchar_t* s, std::size_t len) {
  if (len == 0) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(len), out.data(), n, nullptr, nullptr);
  return out;
}

std::string narrow(const std::wstring& s) { return narrow(s.data(), s.size()); }

std::string error_text(DWORD e) {
  wchar_t* buf = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, e, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                   reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::string text = n ? narrow(buf, n) : "Windows error " + std::to_string(e);
  if (buf) ::LocalFree(buf);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

IoKind kind_of(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return IoKind::NotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return IoKind::Exists;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return IoKind::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return IoKind::Busy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return IoKind::NoSpace;
    default: return IoKind::Failed;
  }
}

[[noreturn]] void fail(const std::string& path, const std::string& what, DWORD e) {
  throw IoError(path, what + ": " + error_text(e), kind_of(e));
}

OVERLAPPED at(std::uint64_t off) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(off & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(off >> 32);
  return ov;
}

DWORD low(std::uint64_t v) { return static_cast<DWORD>(v & 0xFFFFFFFFu); }
DWORD high(std::uint64_t v) { return static_cast<DWORD>(v >> 32); }

// The byte appenders lock while they write at the end of a file.
constexpr std::uint64_t kAppendLockOffset = 0x100000000000ULL;

class Win32File final : public File {
 public:
  Win32File(std::string path, HANDLE h, bool writable, bool appends)
      : File(std::move(path), writable), h_(h), appends_(appends) {}
  ~Win32File() override { ::CloseHandle(h_); }

  std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const override {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      OVERLAPPED ov = at(off + done);
      DWORD got = 0;
      if (!::ReadFile(h_, p + done, want, &got, &ov)) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_HANDLE_EOF) break;
        fail(path(), "read failed", e);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void write_at(std::uint64_t off, const void* buf, std::size_t n) override {
    if (!writable()) throw IoError(path(), "opened read-only", IoKind::Denied);
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < n) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      OVERLAPPED ov = at(off + done);
      DWORD put = 0;
      if (!::WriteFile(h_, p + done, want, &put, &ov)) fail(path(), "write failed", ::GetLastError());
      if (put == 0) throw IoError(path(), "write failed: nothing written");
      done += put;
    }
  }

  void append(const void* buf, std::size_t n) override {
    if (!writable()) throw IoError(path(), "opened read-only", IoKind::Denied);
    if (!appends_) throw IoError(path(), "not opened to append");
    // Windows has no append that is one step for every program (wine's
    // write at the end is a seek and a write): appenders take the append
    // byte, far beyond any table's lock bytes, while they find the end and
    // write there, so two programs appending never overwrite each other.
    OVERLAPPED lock_at = at(kAppendLockOffset);
    if (!::LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock_at)) fail(path(), "cannot append", ::GetLastError());
    try {
      write_at(size(), buf, n);
    } catch (...) {
      ::UnlockFileEx(h_, 0, 1, 0, &lock_at);
      throw;
    }
    ::UnlockFileEx(h_, 0, 1, 0, &lock_at);
  }

  std::uint64_t size() const override {
    LARGE_INTEGER s;
    if (!::GetFileSizeEx(h_, &s)) fail(path(), "cannot read the size", ::GetLastError());
    return static_cast<std::uint64_t>(s.QuadPart);
  }

  void truncate(std::uint64_t size) override {
    if (!writable()) throw IoError(path(), "opened read-only", IoKind::Denied);
    FILE_END_OF_FILE_INFO info;
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info))
      fail(path(), "cannot set the size", ::GetLastError());
  }

  void sync() override {
    if (!writable()) return;  // nothing of ours to flush
    if (!::FlushFileBuffers(h_)) fail(path(), "cannot sync", ::GetLastError());
  }

  // Windows locks do not nest and do not convert: locking a range the same
  // open already holds fails, and an unlock must name a range exactly.  The
  // open keeps what it holds so that these calls mean what they mean on
  // POSIX systems (a second lock of a held range succeeds, a lock of
  // another kind converts it, an unlock releases every held range inside).
  bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) override { return take(off, len, kind, false); }

  void lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    if (!take(off, len, kind, true)) fail(path(), "cannot lock", ::GetLastError());
  }

  void unlock(std::uint64_t off, std::uint64_t len) override {
    std::lock_guard<std::mutex> guard(mu_);
    for (auto it = held_.begin(); it != held_.end();) {
      if (it->off >= off && it->off + it->len <= off + len) {
        OVERLAPPED ov = at(it->off);
        ::UnlockFileEx(h_, 0, low(it->len), high(it->len), &ov);
        it = held_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  struct Held {
    std::uint64_t off;
    std::uint64_t len;
    LockKind kind;
  };

  bool lock_range(std::uint64_t off, std::uint64_t len, LockKind kind, bool wait) {
    DWORD flags = wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY;
    if (kind == LockKind::Exclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    OVERLAPPED ov = at(off);
    return ::LockFileEx(h_, flags, 0, low(len), high(len), &ov) != 0;
  }

  bool take(std::uint64_t off, std::uint64_t len, LockKind kind, bool wait) {
    std::lock_guard<std::mutex> guard(mu_);
    auto it = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.off == off && h.len == len; });
    if (it != held_.end()) {
      if (it->kind == kind) return true;
      // Conversion: let the old lock go, take the new one, and take the old
      // one back when the new one is refused.
      OVERLAPPED ov = at(off);
      ::UnlockFileEx(h_, 0, low(len), high(len), &ov);
      if (lock_range(off, len, kind, wait)) {
        it->kind = kind;
        return true;
      }
      const DWORD e = ::GetLastError();
      if (!lock_range(off, len, it->kind, false)) held_.erase(it);
      ::SetLastError(e);
      return false;
    }
    if (!lock_range(off, len, kind, wait)) return false;
    held_.push_back({off, len, kind});
    return true;
  }

  HANDLE h_;
  bool appends_;
  std::mutex mu_;
  std::vector<Held> held_;
};

DWORD attributes(const std::string& path) { return ::GetFileAttributesW(wide(path).c_str()); }

class Win32Env final : public Env {
 public:
  std::unique_ptr<File> open_file(const std::string& path, OpenMode mode, ShareMode share) override {
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    bool writable = true;
    switch (mode) {
      case OpenMode::ReadOnly:
        access = GENERIC_READ;
        writable = false;
        break;
      case OpenMode::ReadWrite: break;
      case OpenMode::CreateNew: disposition = CREATE_NEW; break;
      case OpenMode::Truncate: disposition = OPEN_ALWAYS; break;  // emptied once admitted
      case OpenMode::Append:
      case OpenMode::OpenOrCreate: disposition = OPEN_ALWAYS; break;
    }
    const DWORD share_mode = share == ShareMode::Exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE h = ::CreateFileW(wide(path).c_str(), access, share_mode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_SHARING_VIOLATION)
        throw IoError(path,
                      share == ShareMode::Exclusive ? "in use by another program: cannot open it exclusively"
                                                    : "in use exclusively by another program",
                      IoKind::Busy);
      if (e == ERROR_ACCESS_DENIED) {
        const DWORD a = attributes(path);
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
          throw IoError(path, "is a folder, not a file");
      }
      fail(path, "cannot open", e);
    }
    auto file = std::make_unique<Win32File>(path, h, writable, mode == OpenMode::Append);
    // Every open also holds the share byte, shared or exclusively, as on
    // POSIX systems: stations of both kinds sharing a folder through a file
    // server exclude each other's exclusive opens the same way.
    admit_open(*file, mode, share);
    return file;
  }

  bool file_exists(const std::string& path) override {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool is_directory(const std::string& path) override {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool remove_file(const std::string& path) override {
    if (::DeleteFileW(wide(path).c_str())) return true;
    const DWORD e = ::GetLastError();
    if (e == ERROR_FILE_NOT_FOUND) return false;
    fail(path, "cannot delete", e);
  }

  void rename_file(const std::string& from, const std::string& to) override {
    // Replaces `to` in one step and returns only once the rename is on disk.
    if (!::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      fail(from, "cannot rename to " + to, ::GetLastError());
  }

  std::vector<std::string> list_directory(const std::string& dir) override {
    std::vector<std::string> out;
    std::wstring pattern = wide(dir.empty() ? std::string(".") : dir);
    if (pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
      const std::wstring n = fd.cFileName;
      if (n != L"." && n != L"..") out.push_back(narrow(n));
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
  }

  void create_directories(const std::string& dir) override {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(wide(dir)), ec);
    if (ec) throw IoError(dir, "cannot create the folder: " + ec.message(), kind_of(static_cast<DWORD>(ec.value())));
  }

  std::string current_directory() override {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return ".";
    std::wstring buf(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, buf.data());
    buf.resize(got);
    return narrow(buf);
  }

  Clock& clock() override { return system_clock(); }

  std::string get_env(const std::string& name) override {
    const std::wstring w = wide(name);
    const DWORD n = ::GetEnvironmentVariableW(w.c_str(), nullptr, 0);
    if (n == 0) return "";
    std::wstring buf(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(w.c_str(), buf.data(), n);
    buf.resize(got);
    return narrow(buf);
  }

  // "cmd.exe /c" with the command line, in this console, waited for.  The
  // interpreter's "not recognized" status (9009) is reported as 127, as a
  // POSIX shell reports a program it cannot find.
  int run_command(const std::string& cmd) override {
    std::wstring interpreter = wide(get_env("ComSpec"));
    if (interpreter.empty()) interpreter = L"cmd.exe";
    std::wstring line = L"\"" + interpreter + L"\" /c " + wide(cmd);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
      return -1;
    ::CloseHandle(pi.hThread);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD status = 0;
    const BOOL ok = ::GetExitCodeProcess(pi.hProcess, &status);
    ::CloseHandle(pi.hProcess);
    if (!ok) return -1;
    return status == 9009 ? 127 : static_cast<int>(status);
  }
};

}  // namespace

Env& Env::Default() {
  static Win32Env env;
  return env;
}

}  // namespace rt::os
