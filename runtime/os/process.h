// Running an operating-system command line and the environment, through
// Env::Default() (see env.h for code that is given an Env).
#pragma once

#include <string>

namespace rt::os {

// Runs cmd through the system's command interpreter (/bin/sh -c here) and
// waits for it.  Returns its exit status, or -1 when it could not be started.
int run_command(const std::string& cmd);

// The value of an environment variable, "" when unset.
std::string env(const std::string& name);

}  // namespace rt::os
