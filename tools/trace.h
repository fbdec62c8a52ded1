// A light call-trace of the station's own routines.  The main routines open
// a scoped frame with their name; the frame remembers the source file and
// line where it was opened, and a routine may move its line on before a call
// that can wait for the operator.  The close hotkey writes the chain of the
// open frames into its log.  One thread: the frames form a plain stack.
#pragma once

#include <string>
#include <vector>

namespace rt::con {
class Console;
}

namespace tools {

struct TraceFrame {
  std::string name;  // the routine's name as the suite writes it, e.g. "PRINCI"
  const char* file;  // source file of the frame
  int line;          // current source line (0 = runtime level, skipped in logs)
};

class Trace {
 public:
  // `file` and `line` default to the place of the declaration of the frame
  // (compiler built-ins, so this builds with every compiler we use).
  Trace(rt::con::Console& con, std::string name, const char* file = __builtin_FILE(), int line = __builtin_LINE());
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // Moves this routine's current line (e.g. just before a call that waits).
  void at(int line = __builtin_LINE());

 private:
  std::vector<TraceFrame>& frames_;
  std::size_t depth_;
};

// The run's open frames, outermost first.
const std::vector<TraceFrame>& trace_frames(rt::con::Console& con);

// A routine that is called from many places takes its caller's position:
// when the innermost frame was opened in the same source file as `where`,
// its line becomes `line`.
void trace_call_site(rt::con::Console& con, const char* file, int line);

}  // namespace tools
