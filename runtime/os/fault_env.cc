#include "runtime/os/fault_env.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace rt::os {

namespace {

bool matches(const std::string& path, const std::string& part) {
  return part.empty() || path.find(part) != std::string::npos;
}

// What a write must be undone with when the power goes: the bytes it
// covered and the size the file had before it.
struct Undo {
  std::uint64_t offset = 0;
  std::string old_bytes;
  std::uint64_t old_size = 0;
};

}  // namespace

class FaultFile;

struct FaultEnv::State {
  enum class Action { Pass, Fail, Drop };

  std::mutex mu;
  Env* target = nullptr;
  int writes = 0;
  int crash_countdown = -1;  // writes left before the crash; -1 = none planned
  bool crashed = false;
  struct Nth {
    int remaining;
    Fault fault;
    std::string file;
  };
  std::vector<Nth> nth;
  std::vector<std::pair<Fault, std::string>> every;
  std::vector<std::string> sync_faults, lock_faults, open_faults;
  std::map<std::string, std::vector<Undo>> unsynced;
  std::map<std::string, std::set<FaultFile*>> open_files;

  // Decides the fate of one write to `path`.
  Action on_write(const std::string& path, Fault* fault) {
    ++writes;
    if (crashed) return Action::Drop;
    if (crash_countdown >= 0 && crash_countdown-- == 0) {
      crashed = true;
      return Action::Drop;
    }
    for (auto it = nth.begin(); it != nth.end(); ++it) {
      if (!matches(path, it->file) || --it->remaining > 0) continue;
      *fault = it->fault;
      nth.erase(it);
      return Action::Fail;
    }
    for (const auto& [f, file] : every)
      if (matches(path, file)) {
        *fault = f;
        return Action::Fail;
      }
    return Action::Pass;
  }

  bool any_match(const std::vector<std::string>& parts, const std::string& path) const {
    return std::any_of(parts.begin(), parts.end(), [&](const std::string& p) { return matches(path, p); });
  }
};

class FaultFile final : public FileWrapper {
 public:
  FaultFile(std::unique_ptr<File> target, std::shared_ptr<FaultEnv::State> state)
      : FileWrapper(std::move(target)), state_(std::move(state)) {
    std::lock_guard<std::mutex> g(state_->mu);
    state_->open_files[path()].insert(this);
  }
  ~FaultFile() override {
    std::lock_guard<std::mutex> g(state_->mu);
    auto it = state_->open_files.find(path());
    if (it == state_->open_files.end()) return;
    it->second.erase(this);
    if (it->second.empty()) state_->open_files.erase(it);
  }

  void write_at(std::uint64_t off, const void* buf, std::size_t n) override {
    if (!writable()) return target().write_at(off, buf, n);  // refused as it stands
    std::lock_guard<std::mutex> g(state_->mu);
    FaultEnv::Fault fault{};
    switch (state_->on_write(path(), &fault)) {
      case FaultEnv::State::Action::Drop: return;
      case FaultEnv::State::Action::Fail:
        if (fault == FaultEnv::Fault::Short && n > 1) {
          remember(off, n / 2);
          target().write_at(off, buf, n / 2);
        }
        throw failure(fault, n);
      case FaultEnv::State::Action::Pass: break;
    }
    remember(off, n);
    target().write_at(off, buf, n);
  }

  void append(const void* buf, std::size_t n) override {
    if (!writable()) return target().append(buf, n);
    std::lock_guard<std::mutex> g(state_->mu);
    FaultEnv::Fault fault{};
    const std::uint64_t end = target().size();
    switch (state_->on_write(path(), &fault)) {
      case FaultEnv::State::Action::Drop: return;
      case FaultEnv::State::Action::Fail:
        if (fault == FaultEnv::Fault::Short && n > 1) {
          remember(end, n / 2);
          target().append(buf, n / 2);
        }
        throw failure(fault, n);
      case FaultEnv::State::Action::Pass: break;
    }
    remember(end, n);
    target().append(buf, n);
  }

  void truncate(std::uint64_t size) override {
    if (!writable()) return target().truncate(size);
    std::lock_guard<std::mutex> g(state_->mu);
    FaultEnv::Fault fault{};
    switch (state_->on_write(path(), &fault)) {
      case FaultEnv::State::Action::Drop: return;
      case FaultEnv::State::Action::Fail: throw failure(fault == FaultEnv::Fault::Short ? FaultEnv::Fault::Eio : fault, 0);
      case FaultEnv::State::Action::Pass: break;
    }
    const std::uint64_t old = target().size();
    if (size < old) remember(size, static_cast<std::size_t>(old - size));
    else remember(old, 0);
    target().truncate(size);
  }

  void sync() override {
    std::lock_guard<std::mutex> g(state_->mu);
    if (state_->crashed) return;
    if (state_->any_match(state_->sync_faults, path())) throw IoError(path(), "cannot sync: Input/output error");
    target().sync();
    state_->unsynced.erase(path());
  }

  bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    {
      std::lock_guard<std::mutex> g(state_->mu);
      if (state_->any_match(state_->lock_faults, path())) return false;
    }
    return target().try_lock(off, len, kind);
  }

  void lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    {
      std::lock_guard<std::mutex> g(state_->mu);
      if (state_->any_match(state_->lock_faults, path()))
        throw IoError(path(), "the lock is held by another program", IoKind::Busy);
    }
    target().lock(off, len, kind);
  }

 private:
  // Notes what [off, off + n) holds now, before it is overwritten.
  void remember(std::uint64_t off, std::size_t n) {
    Undo u;
    u.offset = off;
    u.old_size = target().size();
    if (off < u.old_size) {
      u.old_bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(n, u.old_size - off)));
      u.old_bytes.resize(target().read_at(off, u.old_bytes.data(), u.old_bytes.size()));
    }
    state_->unsynced[path()].push_back(std::move(u));
  }

  IoError failure(FaultEnv::Fault fault, std::size_t n) const {
    switch (fault) {
      case FaultEnv::Fault::NoSpace: return IoError(path(), "write failed: No space left on device", IoKind::NoSpace);
      case FaultEnv::Fault::Short:
        return IoError(path(), "write failed: only " + std::to_string(n / 2) + " of " + std::to_string(n) +
                                   " bytes written");
      case FaultEnv::Fault::Eio: break;
    }
    return IoError(path(), "write failed: Input/output error");
  }

  std::shared_ptr<FaultEnv::State> state_;
};

FaultEnv::FaultEnv(Env& target) : EnvWrapper(target), state_(std::make_shared<State>()) { state_->target = &target; }

FaultEnv::~FaultEnv() = default;

std::unique_ptr<File> FaultEnv::open_file(const std::string& path, OpenMode mode, ShareMode share) {
  {
    std::lock_guard<std::mutex> g(state_->mu);
    if (state_->any_match(state_->open_faults, path))
      throw IoError(path, "in use exclusively by another program", IoKind::Busy);
  }
  const bool empties = mode == OpenMode::Truncate && target().file_exists(path);
  if (!empties) return std::make_unique<FaultFile>(target().open_file(path, mode, share), state_);
  // Emptying an existing file is a write like any other: open it as it is,
  // then truncate through the fault file.
  auto file = std::make_unique<FaultFile>(target().open_file(path, OpenMode::ReadWrite, share), state_);
  file->truncate(0);
  return file;
}

bool FaultEnv::remove_file(const std::string& path) {
  const bool removed = target().remove_file(path);
  std::lock_guard<std::mutex> g(state_->mu);
  state_->unsynced.erase(path);
  return removed;
}

void FaultEnv::rename_file(const std::string& from, const std::string& to) {
  {
    // A stopped machine renames nothing either.
    std::lock_guard<std::mutex> g(state_->mu);
    if (state_->crashed) return;
  }
  target().rename_file(from, to);
  std::lock_guard<std::mutex> g(state_->mu);
  auto it = state_->unsynced.find(from);
  state_->unsynced.erase(to);
  if (it == state_->unsynced.end()) return;
  state_->unsynced[to] = std::move(it->second);
  state_->unsynced.erase(from);
}

void FaultEnv::fail_write(int n, Fault fault, const std::string& file) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->nth.push_back({std::max(n, 1), fault, file});
}

void FaultEnv::fail_writes(Fault fault, const std::string& file) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->every.emplace_back(fault, file);
}

void FaultEnv::fail_syncs(const std::string& file) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->sync_faults.push_back(file);
}

void FaultEnv::refuse_locks(const std::string& file) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->lock_faults.push_back(file);
}

void FaultEnv::deny_opens(const std::string& file) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->open_faults.push_back(file);
}

void FaultEnv::crash_after(int n) {
  std::lock_guard<std::mutex> g(state_->mu);
  if (n <= 0) state_->crashed = true;
  else state_->crash_countdown = n;
}

bool FaultEnv::crashed() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->crashed;
}

void FaultEnv::drop_unsynced(Loss loss) {
  std::lock_guard<std::mutex> g(state_->mu);
  for (auto& [path, undos] : state_->unsynced) {
    // Through a file still open here, or a new open of the wrapped Env.
    std::unique_ptr<File> own;
    File* file = nullptr;
    auto open = state_->open_files.find(path);
    if (open != state_->open_files.end())
      for (FaultFile* f : open->second)
        if (f->writable()) file = &f->target();
    if (!file && target().file_exists(path)) {
      own = target().open_file(path, OpenMode::ReadWrite, ShareMode::Shared);
      file = own.get();
    }
    if (!file) continue;
    auto u = undos.rbegin();
    if (loss == Loss::AllButTheLast && u != undos.rend()) ++u;
    for (; u != undos.rend(); ++u) {
      if (!u->old_bytes.empty()) file->write_at(u->offset, u->old_bytes.data(), u->old_bytes.size());
      if (file->size() != u->old_size) file->truncate(u->old_size);
    }
  }
  state_->unsynced.clear();
}

void FaultEnv::heal() {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->nth.clear();
  state_->every.clear();
  state_->sync_faults.clear();
  state_->lock_faults.clear();
  state_->open_faults.clear();
  state_->crash_countdown = -1;
  state_->crashed = false;
}

int FaultEnv::writes() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->writes;
}

}  // namespace rt::os
