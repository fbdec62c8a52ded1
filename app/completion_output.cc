#include "app/completion_output.h"

#include <exception>
#include <memory>
#include <optional>

#include "runtime/os/dos_path.h"
#include "runtime/os/file.h"
#include "runtime/os/process.h"
#include "runtime/text/convert.h"
#include "tools/screens.h"

namespace app::completion {

namespace {

constexpr std::string_view kFiscalDefaultFolder = "\\VLM\\TMP\\";
constexpr std::string_view kPrintFolder = "\\vlm\\tmp\\";
constexpr std::size_t kBoxWidth = 58;

// The file on this system for a DOS path, or nullopt when its drive is not
// available.
std::optional<std::string> local_path(const std::string& dos_path) {
  auto mapped = rt::os::map_dos_path(dos_path);
  if (!mapped) return std::nullopt;
  return rt::os::resolve_path_nocase(*mapped);
}

// Runs a print program and waits for it; tells the operator when it could
// not be started at all.
void run_program(rt::con::Console& con, const std::string& program, const std::string& argument) {
  const int status = con.run(command_line(program, argument));
  // -1: no process; 127: the interpreter found no such program.
  if (status == -1 || status == 127) tell_failure(con, "No Se Pudo Ejecutar El Programa", program);
}

}  // namespace

std::string fiscal_folder(std::string_view rob_fis) {
  if (rt::text::trim(rob_fis).empty()) return std::string(kFiscalDefaultFolder);
  return rt::text::upper(rob_fis);
}

bool write_dos_file(const std::string& dos_path, const std::string& bytes) {
  const auto path = local_path(dos_path);
  if (!path) return false;
  try {
    auto file = rt::os::File::open(*path, rt::os::OpenMode::Truncate);
    if (!bytes.empty()) file->write_at(0, bytes.data(), bytes.size());
    return file->size() == bytes.size();
  } catch (const std::exception&) {
    return false;
  }
}

std::string command_line(const std::string& program, const std::string& argument) {
  return rt::os::program_command(program, argument);
}

void tell_failure(rt::con::Console& con, const std::string& what, const std::string& file) {
  std::string shown = file;
  if (shown.size() > kBoxWidth) shown = "..." + shown.substr(shown.size() - (kBoxWidth - 3));
  tools::cartel_3(con, what, shown, "Presione Una Tecla Para Continuar");
}

void hand_off(rt::con::Console& con, const Output& out) {
  using voucher::Form;
  if (out.mode.form == Form::None) return;
  if (out.mode.comptes && !write_dos_file(out.comptes_path, out.comptes))
    tell_failure(con, "No Se Pudo Grabar El Archivo", out.comptes_path);

  const std::string file_name = out.base_name + ".TNF";
  if (out.mode.form == Form::Fiscal) {
    const std::string rob_fis = rt::os::env("ROB_FIS");
    const std::string voucher_path = fiscal_folder(rob_fis) + file_name;
    if (!write_dos_file(voucher_path, out.voucher)) {
      tell_failure(con, "No Se Pudo Grabar El Archivo", voucher_path);
      return;
    }
    // With ROB_FIS set another program takes the vouchers from that folder.
    if (rt::text::trim(rob_fis).empty()) run_program(con, "i_n_fisc", file_name);
    return;
  }

  const std::string voucher_path = std::string(kPrintFolder) + file_name;
  if (!write_dos_file(voucher_path, out.voucher)) {
    tell_failure(con, "No Se Pudo Grabar El Archivo", voucher_path);
    return;
  }
  run_program(con, "prt_tz.bat", *local_path(voucher_path));
}

}  // namespace app::completion
