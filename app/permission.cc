#include "app/permission.h"

#include "tools/hotkeys.h"

namespace app {

tools::Operator operator_of(const RunContext& run) {
  tools::Operator op;
  op.seller = run.seller;
  op.branch = run.branch;
  op.profile = run.profile;
  op.registra = run.registra;
  return op;
}

bool ok_vende(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, double quien) {
  tools::Operator op = operator_of(run);
  const bool ok = tools::ok_vende(con, areas, op, "VENDEDOR", quien);
  run.profile = op.profile;
  return ok;
}

bool puede(CheckEnv& env, int task, bool supervisor) {
  return tools::puede(env.con, env.areas, operator_of(env.run), task, supervisor);
}

bool pueden(CheckEnv& env, int task) {
  tools::Operator op = operator_of(env.run);
  const bool ok = tools::pueden(env.con, env.areas, op, task);
  env.run.profile = op.profile;
  return ok;
}

StationHotkeys::StationHotkeys(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run)
    : con_(con), areas_(areas), run_(run), previous_(tools::set_key_reader_hooks(con, this)) {}

StationHotkeys::~StationHotkeys() { tools::set_key_reader_hooks(con_, previous_); }

void StationHotkeys::close_request(rt::con::Console& con) {
  tools::altc(con, areas_, operator_of(run_), {run_.machine, run_.date_table});
}

void StationHotkeys::font_step(rt::con::Console& con, int key) {
  (void)key;  // CHG_SIZEX looks at the last key itself
  tools::chg_sizex(con);
}

}  // namespace app
