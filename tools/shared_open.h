// Shared opening with retry, record locking with retry, and the business
// date.  The suite's tables live on a shared drive and are used at the same
// time by its other programs: an open refused because someone holds the
// table exclusively is tried again (traffic box from the fifth failure, Esc
// gives up), a record lock is tried again until it is granted (traffic box
// from the fifth attempt, click and 0.4 s between attempts).
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "runtime/cdx/bag.h"
#include "runtime/console/console.h"
#include "runtime/text/date.h"
#include "data/table_view.h"
#include "runtime/workarea/workareas.h"

namespace tools {

// Pause between two open attempts of NETUSE, so that the retry loop does not
// keep a processor busy while another user holds the table.
inline constexpr double kNetuseYieldSeconds = 0.05;

// NETUSE: opens `archivo` shared in the current work area (under `apodo`
// when not empty).  While the open fails because another user holds the
// table, it tries again; from the fifth failure on the traffic box shows
// (whole screen saved first, restored at the end).  Esc typed at any time
// gives up: false.  `el_driver` names the table driver; this system has one
// (DBF with CDX bags and FPT memos), so it is accepted and not needed.
// Failures that are not sharing conflicts (missing or damaged file) are the
// table runtime's errors and pass through, the screen restored.
bool netuse(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::string& archivo, const std::string& apodo = "",
            const std::string& el_driver = "");

// How long one attempt of a table the station opened with NETUSE waits for
// the table's append or memo lock before the retry loop below takes over.
inline constexpr double kNetuseLockWaitSeconds = 0.5;

// NETUSE's retry for any wait on another user: `attempt` runs until it
// returns true; while it returns false it runs again after a short sleep,
// with the traffic box (naming `archivo`, `por_que` on its third line) from
// the fifth failure on; Esc typed at any time gives up: false.  Exceptions
// pass through, the screen restored.
bool retry_netuse(rt::con::Console& con, const std::string& archivo, const std::string& por_que,
                  const std::function<bool()>& attempt);

// DBAPPEND with NETUSE's retry: appends a record to `area` (current and
// locked; blank but for `fields`, written whole in one write), trying again
// as retry_netuse while another user holds the append lock.  False when the
// operator gave up with Esc.
bool append_netuse(rt::con::Console& con, rt::wa::Area& area,
                   const std::vector<std::pair<std::string, rt::Value>>& fields = {});
// The traffic box's third line while the append lock is held elsewhere.
inline constexpr const char* kAppendBusy = "Bloqueada Por Otro Usuario        ";
template <class T>
bool append_netuse(rt::con::Console& con, const layout::View<T>& view, const typename layout::View<T>::Values& fields) {
  const auto placed = view.placed(fields);
  return retry_netuse(con, view.area().alias(), kAppendBusy, [&] { return view.area().append_at(placed); });
}

// Opening a table of the suite for use: NETUSE, then a check that the table
// offers every field the station relies on (data/layouts.h), then the order
// bags its layout declares, opened by name in the declared order (the first
// bag's first tag is active, the record pointer at its top).
//
//   if (!tools::open_checked(con, areas, layout::compenca())) return false;
//
// `file` is the file to open when it is not the layout's own name (the date
// table of ARCH_FECHA); the alias is always the file's base name.  True: the
// table is open and usable in the current work area.  False: the current
// area is left empty and nothing has been written; either the operator gave
// up with Esc while another user held the table (no further message), or
// the table is missing, damaged, lacks a field, has a field of an unusable
// type or width, or lacks an order bag: then a message box (CARTEL_1) names
// the table and the first problem in Spanish ("Tabla x No Disponible!!!").  `problem`, when given, receives the whole
// description (every field problem) for a log or standard error.
bool open_checked(rt::con::Console& con, rt::wa::WorkAreas& areas, const layout::TableLayout& spec,
                  const std::string& file = "", std::string* problem = nullptr);

// The wait for an order bag's lock while the station writes a record (the
// work areas' BagLockWait), as NETUSE waits for a table: the first four
// attempts follow one another (a short pause each); before the fifth the
// traffic box names the bag; Esc typed at any time gives up, and the write is
// then refused with nothing written.  The box goes (screen and cursor
// restored) when the lock is granted or the operator gives up.
rt::cdx::LockWait bag_lock_wait(rt::con::Console& con);
// While an object of this class lives, every table open_checked refuses in
// the run of console `con` (what and why, as handed to `problem`) is noted in
// it, except the date table of DATE1, for which the machine's date stands
// in.  A command-line check reports them on standard error.  The innermost
// one notes.
class RefusalLog {
 public:
  explicit RefusalLog(rt::con::Console& con);
  ~RefusalLog();
  RefusalLog(const RefusalLog&) = delete;
  RefusalLog& operator=(const RefusalLog&) = delete;
  void note(std::string detail) { notes_.push_back(std::move(detail)); }
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  RefusalLog*& installed_;
  RefusalLog* previous_;
  std::vector<std::string> notes_;
};

// One lookup in a table of the suite: opens `table` (NETUSE) in the lowest
// free work area with its order bag of the same name, runs `read` on it,
// closes it and selects the caller's area again.  False when the operator
// gave up waiting for it, or when it cannot be read (then a message box
// names it).
bool one_lookup(rt::con::Console& con, rt::wa::WorkAreas& wa, const layout::TableLayout& table,
                const std::function<void(rt::wa::Area&)>& read);
// The same for the table of type T, read through its view:
//   tools::one_lookup<layout::TraceRecord>(con, areas, [&](const auto& tz) { ... });
template <class T>
bool one_lookup(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::function<void(const layout::View<T>&)>& read) {
  return one_lookup(con, wa, T::layout(), [&](rt::wa::Area& a) { read(layout::View<T>(a)); });
}

// A failure of the table runtime as the operator is shown it: what went
// wrong in Spanish, by the error's kind (TableError, IoError, CdxError,
// WorkAreaError), naming the file when it is known.
std::string problem_text(const std::exception& e);

// RBLOQUEO2: locks the current record of the current work area, trying
// again until it is granted.  The first four attempts follow one another;
// before the fifth the traffic box is drawn (alias and record number), and
// every attempt from then on is preceded by the blinking marker, a click and
// a wait of 0.4 s (a key ends that wait early, and is consumed).  Returns
// true once locked; the caller writes and unlocks.  When the box was shown,
// the screen is restored, the cursor is normal and the colour is NORMAL.
bool rbloqueo2(rt::con::Console& con, rt::wa::WorkAreas& wa);

// DATE1: the business date, field FECHA of the first record of the date
// table `arch_fecha` (ARCH_FECHA), opened with NETUSE in a free work area
// and closed again; the machine's date when the operator gives up waiting
// with Esc, and also (after a message box naming it) when the date table is
// missing, damaged or lacks its date field.  An empty table gives the empty
// date.  The caller's work area is selected again.
rt::text::Date date1(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::string& arch_fecha);

}  // namespace tools
