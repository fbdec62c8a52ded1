// The hotkeys of the key reader: Alt+C closes the station after a question,
// the permission of task 120 and an entry in the close log "log_altc.txt";
// Ctrl with the keypad minus or plus makes the console font one step smaller
// or larger.  PUTLOGTXT appends one entry to a text log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/console/console.h"
#include "runtime/text/date.h"
#include "runtime/workarea/workareas.h"
#include "tools/access.h"
#include "tools/trace.h"

namespace tools {

inline constexpr const char* kCloseLog = "log_altc.txt";
inline constexpr const char* kCloseLogHeader = "Fecha | Hora | Vddr | PtoVta";
inline constexpr const char* kCloseQuestion = "Cierra Velmor???";

// Font cell heights the font keys move between: below the smallest the
// characters are no longer readable, above the largest the 25 x 80 window no
// longer fits a screen.
inline constexpr int kSmallestFontHeight = 8;
inline constexpr int kLargestFontHeight = 64;

// PUTLOGTXT: appends a carriage return, a line feed and `li3` to the file
// `ar3` of `env` (created when missing), in one write at the end of the file as it
// is at that moment.  A file that cannot be written is passed over in
// silence.  Returns 0.
int putlogtxt(rt::os::Env& env, const std::string& ar3, std::string_view li3);
// The same for several entries, all in one write.
int putlogtxt(rt::os::Env& env, const std::string& ar3, const std::vector<std::string>& entries);

// The close entry: business date dd/mm/yy, time, seller in 4 and machine
// number in 2 characters, separated by bars.
std::string close_line(rt::text::Date business_date, int seconds_since_midnight, double seller,
                       const std::string& machine);

// The routine chain of the close log from frames[start] outwards: one line
// "Llamada desde: " + name in 15 + "(" + line in 6 + ")  " + CR LF per frame,
// frames on line 0 skipped, stopping at a frame without a name.
std::string routine_chain(const std::vector<TraceFrame>& frames, int start);

// What the close needs to know about the station.
struct CloseInfo {
  std::string machine;     // MAQUINA
  std::string date_table;  // ARCH_FECHA
};

// ALTC: "Cierra Velmor???"; with S and task 120 granted, writes the close
// log (header first when the file is new), restores the console, closes
// every table and quits (Console::quit).  Otherwise returns with nothing
// changed.  The chain starts two levels above ALTC: the routine that called
// the key reader.
void altc(rt::con::Console& con, rt::wa::WorkAreas& wa, const Operator& op, const CloseInfo& info);

// CHG_SIZE: one pixel step of the font cell height (`s2` -1 or 1), the width
// half the height.  A step down the console does not take is tried one pixel
// lower again, never below kSmallestFontHeight; a step up never goes above
// kLargestFontHeight.  Returns true.
bool chg_size(rt::con::Console& con, int s2);
// CHG_SIZEX: a step down for the last key 398 (Ctrl + keypad minus), up for
// any other.  Returns true.
bool chg_sizex(rt::con::Console& con);

}  // namespace tools
