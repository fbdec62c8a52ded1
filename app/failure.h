// How a screen of the station tells the operator that something failed.
// Routines below a screen let the errors of the tables (TableError,
// CdxError, IoError, WorkAreaError, each with its kind) pass; a step whose
// failure the operator must hear in its own words is run through as_step.
// Each screen catches at one place and shows operator_message there.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace app {

// A step of a screen that failed, said in the operator's words ("No Se Pudo
// Contar La Unidad"); the error that made it fail is nested in it.
class StepFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs `step`; an error leaving it leaves as StepFailed(what) with the error
// nested.  Anything that is no error (the operator's quit) passes as it is.
template <class Step>
decltype(auto) as_step(const std::string& what, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (const std::exception&) {
    std::throw_with_nested(StepFailed(what));
  }
}

// The message for an error that reached a screen's handler:
// "<what>: <problem>", where what is the failed step's own words or else
// `fallback`, and the problem says in Spanish what the tables reported.
std::string operator_message(const std::exception& e, std::string_view fallback);

}  // namespace app
