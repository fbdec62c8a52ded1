#include "runtime/os/counting_env.h"

#include <utility>

namespace rt::os {

const char* call_name(Call c) {
  static constexpr const char* kNames[kCallKinds] = {"open", "close", "stat", "list",   "read",   "write", "size",
                                                     "truncate", "sync", "lock", "unlock", "remove", "rename"};
  return kNames[static_cast<int>(c)];
}

namespace {

std::uint64_t sum(const CallKinds& k) {
  std::uint64_t n = 0;
  for (auto v : k) n += v;
  return n;
}

std::string kinds_text(const CallKinds& k) {
  std::string out;
  for (int i = 0; i < kCallKinds; ++i)
    if (k[i]) out += " " + std::to_string(k[i]) + " " + call_name(static_cast<Call>(i));
  return out;
}

}  // namespace

std::uint64_t CallCounts::total() const { return sum(by_kind); }

std::uint64_t CallCounts::on(const std::string& file) const {
  const auto it = by_file.find(file);
  return it == by_file.end() ? 0 : sum(it->second);
}

CallCounts CallCounts::since(const CallCounts& before) const {
  CallCounts d;
  for (int i = 0; i < kCallKinds; ++i) d.by_kind[i] = by_kind[i] - before.by_kind[i];
  for (const auto& [file, kinds] : by_file) {
    const auto it = before.by_file.find(file);
    CallKinds k = kinds;
    if (it != before.by_file.end())
      for (int i = 0; i < kCallKinds; ++i) k[i] -= it->second[i];
    if (sum(k)) d.by_file[file] = k;
  }
  return d;
}

std::string CallCounts::text(bool files) const {
  std::string out = std::to_string(total()) + " calls:" + kinds_text(by_kind);
  if (files)
    for (const auto& [file, kinds] : by_file) out += "\n  " + file + " " + std::to_string(sum(kinds)) + ":" + kinds_text(kinds);
  return out;
}

struct CountingEnv::Counter {
  std::string scope;
  mutable std::mutex mu;
  CallCounts counts;
  std::function<void(Call, const std::string&)> trace;

  bool counts_path(const std::string& path) const { return scope.empty() || path.find(scope) != std::string::npos; }
  // A folder is filed under its own name and a slash.
  void note(Call c, const std::string& path, bool folder = false) {
    if (!counts_path(path)) return;
    std::lock_guard<std::mutex> g(mu);
    if (trace) trace(c, path);
    ++counts.by_kind[static_cast<int>(c)];
    ++counts.by_file[folder ? basename_of(path) + "/" : basename_of(path)][static_cast<int>(c)];
  }
};

namespace {

class CountingFile final : public FileWrapper {
 public:
  CountingFile(std::unique_ptr<File> target, std::shared_ptr<CountingEnv::Counter> counter)
      : FileWrapper(std::move(target)), counter_(std::move(counter)) {}
  ~CountingFile() override { note(Call::Close); }

  std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const override {
    note(Call::Read);
    return FileWrapper::read_at(off, buf, n);
  }
  void write_at(std::uint64_t off, const void* buf, std::size_t n) override {
    note(Call::Write);
    FileWrapper::write_at(off, buf, n);
  }
  void append(const void* buf, std::size_t n) override {
    note(Call::Write);
    FileWrapper::append(buf, n);
  }
  std::uint64_t size() const override {
    note(Call::Size);
    return FileWrapper::size();
  }
  void truncate(std::uint64_t size) override {
    note(Call::Truncate);
    FileWrapper::truncate(size);
  }
  void sync() override {
    note(Call::Sync);
    FileWrapper::sync();
  }
  bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    note(Call::Lock);
    return FileWrapper::try_lock(off, len, kind);
  }
  void lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    note(Call::Lock);
    FileWrapper::lock(off, len, kind);
  }
  void unlock(std::uint64_t off, std::uint64_t len) override {
    note(Call::Unlock);
    FileWrapper::unlock(off, len);
  }

 private:
  void note(Call c) const { counter_->note(c, path()); }
  std::shared_ptr<CountingEnv::Counter> counter_;
};

}  // namespace

CountingEnv::CountingEnv(Env& target, std::string scope)
    : EnvWrapper(target), counter_(std::make_shared<Counter>()) {
  counter_->scope = std::move(scope);
}

std::unique_ptr<File> CountingEnv::open_file(const std::string& path, OpenMode mode, ShareMode share) {
  counter_->note(Call::Open, path);
  auto file = EnvWrapper::open_file(path, mode, share);
  if (!counter_->counts_path(file->path())) return file;
  return std::make_unique<CountingFile>(std::move(file), counter_);
}

bool CountingEnv::file_exists(const std::string& path) {
  counter_->note(Call::Stat, path);
  return EnvWrapper::file_exists(path);
}

bool CountingEnv::is_directory(const std::string& path) {
  counter_->note(Call::Stat, path, true);
  return EnvWrapper::is_directory(path);
}

bool CountingEnv::remove_file(const std::string& path) {
  counter_->note(Call::Remove, path);
  return EnvWrapper::remove_file(path);
}

void CountingEnv::rename_file(const std::string& from, const std::string& to) {
  counter_->note(Call::Rename, from);
  EnvWrapper::rename_file(from, to);
}

std::vector<std::string> CountingEnv::list_directory(const std::string& dir) {
  counter_->note(Call::List, dir, true);
  return EnvWrapper::list_directory(dir);
}

void CountingEnv::set_trace(std::function<void(Call, const std::string&)> trace) {
  std::lock_guard<std::mutex> g(counter_->mu);
  counter_->trace = std::move(trace);
}

CallCounts CountingEnv::calls() const {
  std::lock_guard<std::mutex> g(counter_->mu);
  return counter_->counts;
}

void CountingEnv::reset() {
  std::lock_guard<std::mutex> g(counter_->mu);
  counter_->counts = {};
}

}  // namespace rt::os
