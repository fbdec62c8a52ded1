#include "tools/trace.h"

#include <cstring>

#include "runtime/console/console.h"

namespace tools {
namespace {
// The run's frame stack, kept with its console.
struct TraceStack {
  std::vector<TraceFrame> frames;
};

std::vector<TraceFrame>& frames_of(rt::con::Console& con) { return con.run_state<TraceStack>().frames; }
}  // namespace

Trace::Trace(rt::con::Console& con, std::string name, const char* file, int line)
    : frames_(frames_of(con)), depth_(frames_.size()) {
  frames_.push_back({std::move(name), file, line});
}

Trace::~Trace() {
  // Frames close in the reverse order of opening; an exception unwinding
  // several at once still leaves the stack as it was before this frame.
  frames_.resize(depth_);
}

void Trace::at(int line) {
  if (depth_ < frames_.size()) frames_[depth_].line = line;
}

const std::vector<TraceFrame>& trace_frames(rt::con::Console& con) { return frames_of(con); }

void trace_call_site(rt::con::Console& con, const char* file, int line) {
  std::vector<TraceFrame>& frames = frames_of(con);
  if (frames.empty()) return;
  TraceFrame& top = frames.back();
  if (top.file && file && std::strcmp(top.file, file) == 0) top.line = line;
}

}  // namespace tools
