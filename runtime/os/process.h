// Running an operating-system command line and the environment, through
// Env::Default() (see env.h for code that is given an Env).
#pragma once

#include <string>

#include "runtime/os/env.h"

namespace rt::os {

// Runs cmd through the system's command interpreter (/bin/sh -c here) and
// waits for it.  Returns its exit status, or -1 when it could not be started.
int run_command(const std::string& cmd);

// The command line that runs `program` with one argument through the
// system's interpreter as DOS would find it: a program that stands in the
// working folder is run from there before the PATH is searched.  POSIX
// systems: "./name" for such a program (its name matched without regard to
// case), both parts quoted for /bin/sh when they hold anything but plain
// name characters.  Windows: the interpreter looks in the working folder
// first by itself; an argument with blanks or the interpreter's special
// characters is put in double quotes.
// `env` is where the working folder's files are looked for.
std::string program_command(Env& env, const std::string& program, const std::string& argument);
std::string program_command(const std::string& program, const std::string& argument);

// The value of an environment variable, "" when unset.
std::string env(const std::string& name);

}  // namespace rt::os
