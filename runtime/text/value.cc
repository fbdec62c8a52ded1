#include "runtime/text/value.h"

namespace rt {

const char* type_name(ValueType t) {
  switch (t) {
    case ValueType::Nil: return "NIL";
    case ValueType::Text: return "C";
    case ValueType::Number: return "N";
    case ValueType::Date: return "D";
    case ValueType::Logical: return "L";
  }
  return "?";
}

}  // namespace rt
