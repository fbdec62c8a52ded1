#include "app/check_log.h"

namespace app {

// Placeholders until the check log is built.
void app_vta(CheckEnv& env, bool refund) { (void)env; (void)refund; }
void actu_vta(CheckEnv& env, bool refund) { (void)env; (void)refund; }

}  // namespace app
