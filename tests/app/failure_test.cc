#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/failure.h"
#include "runtime/cdx/page.h"
#include "runtime/console/console.h"
#include "runtime/os/file.h"
#include "runtime/table/error.h"
#include "runtime/workarea/workareas.h"

using namespace app;

// What the operator reads for an error that reaches a screen's handler,
// thrown bare or from inside a step that fails in its own words: the kind
// of the error in Spanish, never the engine's English text.
TEST(Failure, OperatorMessageNamesTheStepOrTheScreenAndTheProblem) {
  using rt::table::ErrorKind;
  using rt::table::TableError;
  struct Row {
    std::function<void()> fail;
    std::string want;
  };
  const auto io = [] { throw TableError(ErrorKind::Io, "/datos/compenca.dbf", "short write"); };
  const Row table[] = {
      {io, "Error: Error De Lectura O Escritura En compenca.dbf"},
      {[&] { as_step("No Se Pudo Contar La Unidad", io); }, "No Se Pudo Contar La Unidad: Error De Lectura O Escritura En compenca.dbf"},
      {[] { as_step("Paso", [] { throw TableError(ErrorKind::Busy, "x.dbf", "held"); }); }, "Paso: Archivo x.dbf En Uso Por Otro Usuario"},
      {[] { throw rt::wa::WorkAreaError(rt::wa::WorkAreaError::Kind::Bag, "bag"); }, "Error: \xD6ndice Da\xA4" "ado O Ausente"},
      {[] { throw rt::os::IoError("/datos/traza.dbf", "no space", rt::os::IoKind::NoSpace); }, "Error: Disco Lleno Al Escribir traza.dbf"},
      {[] { throw rt::cdx::CdxError("/datos/traza.cdx", "gtin_s", "held", rt::cdx::CdxError::Kind::Busy); }, "Error: \xD6ndice traza.cdx En Uso Por Otro Usuario"},
      {[] { throw std::runtime_error("bad"); }, "Error: Tabla O \xD6ndice Da\xA4" "ado"},
      {[] { throw StepFailed("Sin Causa"); }, "Sin Causa"},
  };
  for (const auto& r : table) {
    try {
      r.fail();
      ADD_FAILURE() << "nothing thrown for " << r.want;
    } catch (const std::exception& e) {
      EXPECT_EQ(operator_message(e, "Error"), r.want);
    }
  }
}

TEST(Failure, AStepGivesItsResultAndLetsTheOperatorsQuitPass) {
  EXPECT_EQ(as_step("Paso", [] { return 7; }), 7);
  EXPECT_THROW(as_step("Paso", [] { throw rt::con::QuitRequest{0}; }), rt::con::QuitRequest);
}
