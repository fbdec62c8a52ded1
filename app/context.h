// The station's run-time state as typed objects: one for the whole run
// (created at start-up) and one per ticket check.  Every routine receives
// what it reads and writes through these, never through names looked up at
// run time.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/gs1.h"
#include "runtime/os/dos_path.h"
#include "runtime/text/date.h"
#include "tools/screen_names.h"

namespace app {

// Key codes and colours by name (shared with the tools below the station).
namespace key = ::tools::key;
namespace colour = ::tools::colour;

// State of one run of the station.
struct RunContext {
  std::string machine = "55";             // MAQUINA
  std::string date_table = "FEC_SYS";     // ARCH_FECHA
  bool registra = false;                  // REGISTRA begins with "SI": cashiers load profiles too
  std::string rob_fis;                    // ROB_FIS, the fiscal voucher's folder ("" = the default)
  rt::os::DosPathSettings drives;         // DRIVE_X and DRIVE_ROOT: where the DOS paths of the suite lie
  std::array<std::string, 5> labels;      // rot1 .. rot5, voucher header lines
  std::string profile = std::string(9, ' ');  // PERFIL2, letters of the seller in charge
  double department = -1;                 // QUE_DEP, -1 = every department
  int branch = 0;                         // ID_SUC2
  bool traceability = false;              // TRAZAR
  // Setting "compte_tz" (the voucher form), read with the others at
  // start-up; unset in a context not made by the start-up, which reads it
  // when the ticket is completed.
  std::optional<std::string> voucher_setting;
  int ticket = 0;                         // TIC
  int seller = 0;                         // VDDR
  bool trace_only = false;                // SOLOTRAZA
  bool cancel_voucher = false;            // CANCVALE
  std::string check_failure;              // why the last check could not run ("" when it did)
};

// State of one ticket check.
struct CheckContext {
  std::string check_table;                // TEMPO39, "tm39" + seller as 4 digits
  std::string scan;                       // LETRAS, the scan buffer
  double sold = 0;                        // VENDIDAS
  double counted = 0;                     // CHEQUE
  // ULT_LOTE and ULT_VENC: the lot and expiry last confirmed in the
  // completion box, by GTIN; a unit is offered only its own GTIN's.
  struct Batch {
    std::string lot = std::string(10, ' ');
    rt::text::Date expiry;
  };
  std::map<std::string, Batch> last_batch;
  gs1::TraceFields unit;                  // TRAZA_* of the scan being resolved
  bool unit_ok = false;                   // TRAZA_OK
  // The last sums over the check table's lines, kept while the table (open
  // exclusively by this station) is not written: a scan sums the lines,
  // and so does the idle moment after it.
  struct Sums {
    int kind = -1;                 // which lines were summed (-1: none kept)
    std::uint64_t areas = 0;       // WorkAreas::generation then
    std::uint64_t writes = 0;      // the table's writes then
    std::uint32_t records = 0;
    double sold = 0, counted = 0;
  } sums;
};

}  // namespace app
