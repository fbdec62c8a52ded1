#include "runtime/table/repair.h"

#include "runtime/table/dbf_header.h"
#include "runtime/table/error.h"

namespace rt::table {

namespace {

TableError io_failure(const std::string& path, const os::IoError& e) {
  return TableError(e.kind() == os::IoKind::Busy ? ErrorKind::Busy : ErrorKind::Io, path, e.what());
}

// A new file beside the table for the copy of its header; never an
// existing one (an earlier repair's copy is the older original).
std::unique_ptr<os::File> new_copy_file(os::Env& env, const std::string& table, std::string& name) {
  for (int n = 1; n < 1000; ++n) {
    name = os::with_extension(table, n == 1 ? ".hdr.bak" : ".hdr." + std::to_string(n) + ".bak");
    if (env.file_exists(name)) continue;
    try {
      return env.open_file(name, os::OpenMode::CreateNew, os::ShareMode::Exclusive);
    } catch (const os::IoError& e) {
      if (e.kind() != os::IoKind::Exists) throw;
    }
  }
  throw TableError(ErrorKind::Io, table, "no free name for the copy of the header");
}

}  // namespace

CountRepair repair_record_count(const std::string& given, os::Env& env) {
  const std::string path = os::resolve_nocase(env, given);
  std::unique_ptr<os::File> file;
  try {
    file = env.open_file(path, os::OpenMode::ReadWrite, os::ShareMode::Exclusive);
  } catch (const os::IoError& e) {
    if (e.kind() == os::IoKind::Busy)
      throw TableError(ErrorKind::Busy, path, "table is in use by another user (repair needs it alone)");
    throw io_failure(path, e);
  }
  try {
    std::string head(32, '\0');
    head.resize(file->read_at(0, head.data(), head.size()));
    const std::uint16_t hl = announced_header_length(head);
    if (hl > head.size()) {
      head.resize(hl);
      head.resize(file->read_at(0, head.data(), hl));
    }
    const Schema s = parse_header(head, path);
    if (!s.writable_format())
      throw TableError(ErrorKind::Unsupported, path, "only FoxPro 2.x tables (0x03, 0xF5) are repaired here");
    const std::uint64_t size = file->size();
    const std::uint64_t rl = s.record_length;
    const std::uint64_t whole = size < s.header_length ? 0 : (size - s.header_length) / rl;
    CountRepair r;
    r.announced = s.record_count;
    std::uint64_t present = std::min<std::uint64_t>(whole, s.record_count);
    while (present < whole && present < 0xFFFFFFFFull) {
      unsigned char flag = 0;
      file->read_exact(s.header_length + present * rl, &flag, 1);
      if (flag != kRecordActive && flag != kRecordDeleted) break;
      ++present;
    }
    r.present = static_cast<std::uint32_t>(present);
    if (!r.changed()) return r;

    auto copy = new_copy_file(env, path, r.header_copy);
    copy->write_at(0, head.data(), head.size());
    copy->sync();
    // The records are already on the disk; the end mark, then the count.
    const unsigned char eof = kEndOfFile;
    file->write_at(s.header_length + present * rl, &eof, 1);
    file->sync();
    unsigned char count[4];
    for (int i = 0; i < 4; ++i) count[i] = static_cast<unsigned char>(r.present >> (8 * i));
    file->write_at(4, count, 4);
    file->sync();
    return r;
  } catch (const os::IoError& e) {
    throw io_failure(path, e);
  }
}

}  // namespace rt::table
