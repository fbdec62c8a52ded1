// The station's side of the access control: the operator taken from the
// run's state for each call (and the profile letters written back), the
// seller validation of the entry form, the task permission of the ticket
// check, and the hotkeys of the key reader (Alt+C, font keys).
#pragma once

#include "app/check_env.h"
#include "app/context.h"
#include "tools/access.h"
#include "tools/screens.h"

namespace app {

// The operator of the run: seller, branch and profile letters, and the
// REGISTRA setting of the environment.
tools::Operator operator_of(const RunContext& run);

// OK_VENDE("VENDEDOR", quien) for the entry form; PERFIL2 of the run is
// updated.
bool ok_vende(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, double quien);

// PUEDE for the seller of the run.
bool puede(CheckEnv& env, int task, bool supervisor = false);

// True when the seller of the check may perform `task`, directly or by
// another seller's authorisation.  Selects the area that was current again.
bool pueden(CheckEnv& env, int task);

// Alt+C and the font keys while the console's key reader waits, for as long as this
// object lives (installed on construction, the previous ones put back on
// destruction).
class StationHotkeys final : public tools::KeyReaderHooks {
 public:
  StationHotkeys(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run);
  ~StationHotkeys() override;
  StationHotkeys(const StationHotkeys&) = delete;
  StationHotkeys& operator=(const StationHotkeys&) = delete;

  void close_request(rt::con::Console& con) override;
  void font_step(rt::con::Console& con, int key) override;

 private:
  rt::con::Console& con_;
  rt::wa::WorkAreas& areas_;
  RunContext& run_;
  tools::KeyReaderHooks* previous_;
};

}  // namespace app
