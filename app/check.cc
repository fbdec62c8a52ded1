#include "app/check.h"

#include "app/startup.h"

namespace app {

// Placeholder until the ticket loading is built.
void princi(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run) {
  check_not_available(con, areas, run);
}

}  // namespace app
