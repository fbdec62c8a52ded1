#include "app/failure.h"

#include "tools/shared_open.h"

namespace app {

std::string operator_message(const std::exception& e, std::string_view fallback) {
  const auto* step = dynamic_cast<const StepFailed*>(&e);
  if (!step) return std::string(fallback) + ": " + tools::problem_text(e);
  try {
    std::rethrow_if_nested(*step);
  } catch (const std::exception& cause) {
    return std::string(step->what()) + ": " + tools::problem_text(cause);
  }
  return step->what();  // nothing nested: made by hand, not by as_step
}

}  // namespace app
