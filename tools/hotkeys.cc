#include "tools/hotkeys.h"

#include <exception>

#include "runtime/console/keys.h"
#include "runtime/os/file.h"
#include "runtime/text/convert.h"
#include "tools/screens.h"
#include "tools/shared_open.h"

namespace tools {

int putlogtxt(rt::os::Env& env, const std::string& ar3, const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& e : entries) text += "\r\n" + e;
  try {
    // One write at the end of the file as it is then: two stations closing
    // at once never write over each other's entries.
    auto file = env.open_file(ar3, rt::os::OpenMode::Append);
    file->append(text.data(), text.size());
  } catch (const std::exception&) {
    // The log is a courtesy: a file that cannot be written stops nothing.
  }
  return 0;
}

int putlogtxt(rt::os::Env& env, const std::string& ar3, std::string_view li3) {
  return putlogtxt(env, ar3, std::vector<std::string>{std::string(li3)});
}

std::string close_line(rt::text::Date business_date, int seconds_since_midnight, double seller,
                       const std::string& machine) {
  return rt::text::dtoc(business_date) + "|" + rt::text::time_of_day(seconds_since_midnight) + "|" +
         rt::text::str(seller, 4) + "|" + rt::text::str(rt::text::val(machine), 2);
}

std::string routine_chain(const std::vector<TraceFrame>& frames, int start) {
  std::string out;
  for (int i = start; i >= 0 && i < static_cast<int>(frames.size()); --i) {
    const TraceFrame& f = frames[static_cast<std::size_t>(i)];
    if (f.name.empty()) break;
    if (f.line == 0) continue;
    out += "Llamada desde: " + rt::text::pad_right(f.name, 15) + "(" + rt::text::str(f.line, 6) + ")  \r\n";
  }
  return out;
}

void altc(rt::con::Console& con, rt::wa::WorkAreas& wa, const Operator& op, const CloseInfo& info) {
  Trace trace(con, "ALTC");
  QuestionBox box;
  box.color = "w+/r*";
  if (!cartel_1g(con, kCloseQuestion, box)) return;
  if (!puede(con, wa, op, kTaskClose)) return;

  // The whole close (heading when the log is new, close line, routine
  // chain) in one append, so another station's close never falls between.
  std::vector<std::string> entries;
  if (!wa.env().file_exists(kCloseLog)) entries = {kCloseLogHeader, ""};
  const rt::text::Date business = date1(con, wa, info.date_table);
  entries.push_back(close_line(business, con.clock().now().seconds_since_midnight, op.seller, info.machine));
  const auto& frames = trace_frames(con);
  entries.push_back(routine_chain(frames, static_cast<int>(frames.size()) - 3));
  putlogtxt(wa.env(), kCloseLog, entries);

  con.setcursor(1);
  con.reset_colors();
  con.scroll();
  wa.close_all();
  con.quit(0);
}

namespace {
void set_cell(rt::con::Console& con, int height) {
  con.set_font_width(height / 2);
  con.set_font_height(height);
}
}  // namespace

bool chg_size(rt::con::Console& con, int s2) {
  const int h = con.font_height();
  int n = h + s2;
  if (s2 < 0 && n < kSmallestFontHeight) return true;
  if (s2 > 0 && n > kLargestFontHeight) return true;
  set_cell(con, n);
  if (s2 == -1) {
    while (con.font_height() == h && n > kSmallestFontHeight) {
      --n;
      set_cell(con, n);
    }
  }
  return true;
}

bool chg_sizex(rt::con::Console& con) {
  return chg_size(con, con.lastkey() == rt::con::key::kCtrlKeypadMinus ? -1 : 1);
}

}  // namespace tools
