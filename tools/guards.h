// Guards for the state a routine changes and must give back on every way
// out (return, message, the operator's Esc, an error of the tables, quit):
// the selected work area, an area's record, a filter, the colour, the
// cursor, the event mask, a hotkey, record and append locks, and a table
// opened for one lookup.  Each takes the state when it is made and puts it
// back when it goes; restore() puts it back earlier (once), dismiss() keeps
// the new state.  Putting state back never throws out of a destructor: a
// table that fails while the routine is already leaving has been reported
// by whatever made it leave.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/console/console.h"
#include "runtime/workarea/workareas.h"

namespace tools {

namespace guard_detail {
// Runs `undo` once, unless dismissed; quietly when the routine is already
// leaving by an exception of the tables.
template <class Undo>
class Once {
 public:
  explicit Once(Undo undo) : undo_(std::move(undo)) {}
  ~Once() {
    try {
      restore();
    } catch (const std::exception&) {
      // Leaving anyway; see the header's note.
    }
  }
  Once(const Once&) = delete;
  Once& operator=(const Once&) = delete;
  void restore() {
    if (armed_) {
      armed_ = false;
      undo_();
    }
  }
  void dismiss() { armed_ = false; }

 private:
  Undo undo_;
  bool armed_ = true;
};
}  // namespace guard_detail

// A routine's own undo where none of the guards below fits.
using AtExit = guard_detail::Once<std::function<void()>>;

// The selected work area.
class KeepArea {
 public:
  explicit KeepArea(rt::wa::WorkAreas& wa) : wa_(wa), number_(wa.current_number()) {}
  ~KeepArea() { restore(); }
  KeepArea(const KeepArea&) = delete;
  KeepArea& operator=(const KeepArea&) = delete;
  // Selects it again; may be called any number of times.
  void restore() { wa_.select_area(number_); }

 private:
  rt::wa::WorkAreas& wa_;
  int number_;
};

// The record an area stands on.
class KeepRecord : public guard_detail::Once<std::function<void()>> {
 public:
  explicit KeepRecord(rt::wa::Area& a) : Once([&a, r = a.recno()] { a.go(r); }) {}
};

// A filter set on an area for the routine's time, cleared when it ends.
class FilterFor : public guard_detail::Once<std::function<void()>> {
 public:
  FilterFor(rt::wa::Area& a, rt::wa::Area::Condition cond, std::string text) : Once([&a] { a.clear_filter(); }) {
    a.set_filter(std::move(cond), std::move(text));
  }
};

// The colour; the second form sets a new one at once.  restore() may be
// called any number of times (a routine that changes colour again and again
// puts the caller's back before each message).
class KeepColour {
 public:
  explicit KeepColour(rt::con::Console& con) : con_(con), colour_(con.color()) {}
  KeepColour(rt::con::Console& con, std::string_view colour) : con_(con), colour_(con.set_color(colour)) {}
  ~KeepColour() { restore(); }
  KeepColour(const KeepColour&) = delete;
  KeepColour& operator=(const KeepColour&) = delete;
  void restore() { con_.set_color(colour_); }
  const std::string& colour() const { return colour_; }

 private:
  rt::con::Console& con_;
  std::string colour_;
};

// The cursor's shape, set to `shape` for the routine's time.
class KeepCursor : public guard_detail::Once<std::function<void()>> {
 public:
  KeepCursor(rt::con::Console& con, int shape) : Once([&con, s = con.setcursor(shape)] { con.setcursor(s); }) {}
};

// The event mask, set to `mask` for the routine's time.
class KeepEventMask : public guard_detail::Once<std::function<void()>> {
 public:
  KeepEventMask(rt::con::Console& con, int mask)
      : Once([&con, m = con.set_event_mask(mask)] { con.set_event_mask(m); }) {}
};

// A hotkey installed for the routine's time and removed when it ends.
class HotkeyFor : public guard_detail::Once<std::function<void()>> {
 public:
  HotkeyFor(rt::con::Console& con, int key, rt::con::HotkeyAction action) : Once([&con, key] { con.set_key(key, {}); }) {
    con.set_key(key, std::move(action));
  }
};

// The record locks of an area (DBUNLOCK when the routine ends), and with
// `append` also the append lock the routine took with lock_append.
class HoldLocks : public guard_detail::Once<std::function<void()>> {
 public:
  explicit HoldLocks(rt::wa::Area& a, bool append = false)
      : Once([&a, append] {
          if (append) a.unlock_append();
          a.unlock();
        }) {}
};

// A table opened for one lookup: the guard selects the lowest free area for
// it; when it ends it closes that area and selects the caller's area again
// (with `always` false only when the caller had a table open there).
// tools::one_lookup is the whole "open, read, close, reselect" with the
// operator told of a failure.
class OneLookup {
 public:
  explicit OneLookup(rt::wa::WorkAreas& wa, bool always = false)
      : wa_(wa), had_table_(always || !wa.alias().empty()), previous_(wa.current_number()) {
    wa_.select_area(0);
    used_ = wa_.current_number();
  }
  ~OneLookup() {
    try {
      wa_.select_area(used_);
      wa_.close_area();
      if (had_table_) wa_.select_area(previous_);
    } catch (const std::exception&) {
      // Closing a table opened only for reading has nothing to lose.
    }
  }
  OneLookup(const OneLookup&) = delete;
  OneLookup& operator=(const OneLookup&) = delete;

 private:
  rt::wa::WorkAreas& wa_;
  bool had_table_;
  int previous_;
  int used_ = 0;
};

}  // namespace tools
