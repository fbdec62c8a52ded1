#include "tests/support/testing.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {

TempDir::TempDir() {
  static std::mt19937_64 rng{std::random_device{}() ^
                             static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto dir = base / ("chk_test_" + std::to_string(rng() % 1000000000000ULL));
    std::error_code ec;
    if (std::filesystem::create_directory(dir, ec)) {
      path_ = dir.generic_string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
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
  const char* s = std::getenv("CHK_BIN");
  return std::filesystem::path(s ? s : std::string(CHK_BINARY_DIR) + "/bin").make_preferred().string();
}

std::string program(const std::string& name) { return (std::filesystem::path(bin_dir()) / name).string(); }

namespace {

std::map<std::string, ChildRoutine>& child_routines() {
  static std::map<std::string, ChildRoutine> routines;
  return routines;
}

}  // namespace

ChildRoutineRegistration::ChildRoutineRegistration(const char* name, ChildRoutine routine) {
  child_routines()[name] = routine;
}

int run_child_routine(const std::string& name, const std::vector<std::string>& args) {
  const auto it = child_routines().find(name);
  if (it == child_routines().end()) return 98;
  try {
    return it->second(args);
  } catch (...) {
    return 99;
  }
}

bool wait_for_file(const std::string& path, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void send_number(const std::string& path, std::uint32_t value) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(&value), sizeof value);
}

std::optional<std::uint32_t> receive_number(const std::string& path, std::size_t n, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    std::ifstream in(path, std::ios::binary);
    std::uint32_t value = 0;
    if (in && in.seekg(static_cast<std::streamoff>(n * sizeof value)) &&
        in.read(reinterpret_cast<char*>(&value), sizeof value))
      return value;
    if (std::chrono::steady_clock::now() > end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

rt::os::DosPathSettings station_drives(const std::string& dir, const std::string& voucher_folder) {
  std::filesystem::create_directories(dir + "/s/qumar/comptes_tz");
  std::filesystem::create_directories(dir + "/root/" + voucher_folder);
  rt::os::DosPathSettings drives;
  drives.drives['S'] = dir + "/s";
  drives.rooted_base = dir + "/root";
  return drives;
}

}  // namespace testing_support
