// An Env whose environment holds only the given variables; files, clock
// and commands are the machine's.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "runtime/os/env.h"

namespace testing_support {

class VarsEnv : public rt::os::EnvWrapper {
 public:
  explicit VarsEnv(std::map<std::string, std::string> vars)
      : EnvWrapper(rt::os::Env::Default()), vars_(std::move(vars)) {}
  std::string get_env(const std::string& name) override {
    const auto it = vars_.find(name);
    return it == vars_.end() ? std::string() : it->second;
  }

 private:
  std::map<std::string, std::string> vars_;
};

}  // namespace testing_support
