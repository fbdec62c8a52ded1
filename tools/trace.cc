#include "tools/trace.h"

#include <cstring>

namespace tools {
namespace {
std::vector<TraceFrame>& frames() {
  static std::vector<TraceFrame> stack;
  return stack;
}
}  // namespace

Trace::Trace(std::string name, std::source_location where) : depth_(frames().size()) {
  frames().push_back({std::move(name), where.file_name(), static_cast<int>(where.line())});
}

Trace::~Trace() {
  // Frames close in the reverse order of opening; an exception unwinding
  // several at once still leaves the stack as it was before this frame.
  frames().resize(depth_);
}

void Trace::at(std::source_location where) {
  if (depth_ < frames().size()) frames()[depth_].line = static_cast<int>(where.line());
}

const std::vector<TraceFrame>& trace_frames() { return frames(); }

void trace_call_site(std::source_location where) {
  if (frames().empty()) return;
  TraceFrame& top = frames().back();
  if (top.file && std::strcmp(top.file, where.file_name()) == 0) top.line = static_cast<int>(where.line());
}

}  // namespace tools
