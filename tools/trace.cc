#include "tools/trace.h"

#include <cstring>

namespace tools {
namespace {
std::vector<TraceFrame>& frames() {
  static std::vector<TraceFrame> stack;
  return stack;
}
}  // namespace

Trace::Trace(std::string name, const char* file, int line) : depth_(frames().size()) {
  frames().push_back({std::move(name), file, line});
}

Trace::~Trace() {
  // Frames close in the reverse order of opening; an exception unwinding
  // several at once still leaves the stack as it was before this frame.
  frames().resize(depth_);
}

void Trace::at(int line) {
  if (depth_ < frames().size()) frames()[depth_].line = line;
}

const std::vector<TraceFrame>& trace_frames() { return frames(); }

void trace_call_site(const char* file, int line) {
  if (frames().empty()) return;
  TraceFrame& top = frames().back();
  if (top.file && file && std::strcmp(top.file, file) == 0) top.line = line;
}

}  // namespace tools
