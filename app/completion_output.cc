#include "app/completion_output.h"

#include <exception>
#include <memory>
#include <optional>

#include "runtime/os/dos_path.h"
#include "runtime/os/file.h"
#include "runtime/os/process.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"
#include "tools/screens.h"

namespace app::completion {

namespace {

constexpr std::string_view kFiscalDefaultFolder = "\\VLM\\TMP\\";
constexpr std::string_view kPrintFolder = "\\vlm\\tmp\\";
constexpr std::size_t kBoxWidth = 58;
// Appends to a shared output file are made under a lock on this byte of it
// (beyond any size such a file reaches).
constexpr std::uint64_t kAppendLockByte = 0x7FFFFFFE;
// A voucher is written under this extension first; the print programs and
// whatever takes vouchers from a folder look for ".TNF" only.
constexpr const char* kTemporaryExtension = ".tmp";

// The file on this system for a DOS path, or nullopt when its drive is not
// available.
std::optional<std::string> local_path(rt::os::Env& env, const rt::os::DosPathSettings& drives,
                                      const std::string& dos_path) {
  auto mapped = rt::os::map_dos_path(dos_path, drives);
  if (!mapped) return std::nullopt;
  return rt::os::resolve_path_nocase(env, *mapped);
}

// Runs a print program and waits for it; tells the operator when it could
// not be started at all.
void run_program(rt::con::Console& con, rt::os::Env& env, const std::string& program, const std::string& argument) {
  const int status = con.run(command_line(env, program, argument));
  // -1: no process; 127: the interpreter found no such program.
  if (status == -1 || status == 127) tell_failure(con, "No Se Pudo Ejecutar El Programa", program);
}

}  // namespace

std::string fiscal_folder(std::string_view rob_fis) {
  if (rt::text::trim(rob_fis).empty()) return std::string(kFiscalDefaultFolder);
  return rt::text::upper(rob_fis);
}

bool append_dos_file(rt::os::Env& env, const rt::os::DosPathSettings& drives, const std::string& dos_path,
                     const std::string& bytes) {
  const auto path = local_path(env, drives, dos_path);
  if (!path) return false;
  std::unique_ptr<rt::os::File> file;
  try {
    file = env.open_file(*path, rt::os::OpenMode::Append);
    file->lock(kAppendLockByte, 1, rt::os::LockKind::Exclusive);
  } catch (const std::exception&) {
    return false;
  }
  std::uint64_t before = 0;
  bool ok = true;
  try {
    before = file->size();
    file->append(bytes.data(), bytes.size());
    file->sync();
  } catch (const std::exception&) {
    ok = false;
    try {
      file->truncate(before);  // our own bytes only: the lock kept others out
    } catch (const std::exception&) {
    }
  }
  file->unlock(kAppendLockByte, 1);
  return ok;
}

bool replace_dos_file(rt::os::Env& env, const rt::os::DosPathSettings& drives, const std::string& dos_path,
                      const std::string& bytes) {
  const auto path = local_path(env, drives, dos_path);
  if (!path) return false;
  const std::string temporary = rt::os::with_extension(*path, kTemporaryExtension);
  try {
    {
      auto file = env.open_file(temporary, rt::os::OpenMode::Truncate);
      if (!bytes.empty()) file->write_at(0, bytes.data(), bytes.size());
      file->sync();
    }
    env.rename_file(temporary, *path);
    return true;
  } catch (const std::exception&) {
    try {
      env.remove_file(temporary);
    } catch (const std::exception&) {
    }
    return false;
  }
}

std::string pending_lines(rt::os::WallTime now, const std::string& machine, double ticket, double seller,
                          const std::vector<PendingUnit>& units) {
  const auto field = [](std::string_view raw) {
    std::string text = rt::text::trim(raw);
    if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
      if (c == '"') quoted += '"';
      quoted += c;
    }
    return quoted + "\"";
  };
  const std::string head = rt::text::dtos(now.date) + ";" + rt::text::time_of_day(now.seconds_since_midnight) + ";" +
                           field(machine) + ";TK;" + rt::text::trim(rt::text::str(ticket, 6)) + ";" +
                           rt::text::trim(rt::text::str(seller, 4)) + ";";
  std::string out;
  for (const auto& u : units)
    out += head + field(u.gtin) + ";" + field(u.slot.serial) + ";" + field(u.slot.lot) + ";" +
           field(u.slot.expiry) + ";" + field(u.slot.code) + "\r\n";
  return out;
}

bool keep_pending(rt::os::Env& env, const std::string& lines) {
  // A plain name of the data folder: no drive to map.
  return append_dos_file(env, {}, kPendingFile, lines);
}

std::string command_line(rt::os::Env& env, const std::string& program, const std::string& argument) {
  return rt::os::program_command(env, program, argument);
}

void tell_failure(rt::con::Console& con, const std::string& what, const std::string& file) {
  std::string shown = file;
  if (shown.size() > kBoxWidth) shown = "..." + shown.substr(shown.size() - (kBoxWidth - 3));
  tools::cartel_3(con, what, shown, "Presione Una Tecla Para Continuar");
}

void hand_off(rt::con::Console& con, rt::os::Env& env, const Output& out) {
  using voucher::Form;
  if (out.mode.form == Form::None) return;
  if (out.mode.comptes && !append_dos_file(env, out.drives, out.comptes_path, out.comptes))
    tell_failure(con, "No Se Pudo Grabar El Archivo", out.comptes_path);

  const std::string file_name = out.base_name + ".TNF";
  if (out.mode.form == Form::Fiscal) {
    const std::string& rob_fis = out.rob_fis;
    const std::string voucher_path = fiscal_folder(rob_fis) + file_name;
    if (!replace_dos_file(env, out.drives, voucher_path, out.voucher)) {
      tell_failure(con, "No Se Pudo Grabar El Archivo", voucher_path);
      return;
    }
    // With ROB_FIS set another program takes the vouchers from that folder.
    if (rt::text::trim(rob_fis).empty()) run_program(con, env, "i_n_fisc", file_name);
    return;
  }

  const std::string voucher_path = std::string(kPrintFolder) + file_name;
  if (!replace_dos_file(env, out.drives, voucher_path, out.voucher)) {
    tell_failure(con, "No Se Pudo Grabar El Archivo", voucher_path);
    return;
  }
  run_program(con, env, "prt_tz.bat", *local_path(env, out.drives, voucher_path));
}

}  // namespace app::completion
