#include "tests/support/json.h"

#include <cstdlib>
#include <stdexcept>

#include "runtime/text/json.h"

namespace testing_support {

namespace {

// The test view of a value read by the engine's JSON reader.
Json from(const rt::text::json::Value& v) {
  using Kind = rt::text::json::Value::Kind;
  Json j;
  switch (v.kind) {
    case Kind::Null: j.type = Json::Type::Null; break;
    case Kind::Bool: j.type = Json::Type::Bool; j.boolean = v.boolean; break;
    case Kind::Number:
      j.type = Json::Type::Number;
      j.number = std::strtod(v.text.c_str(), nullptr);
      break;
    case Kind::String: j.type = Json::Type::String; j.text = v.text; break;
    case Kind::Array:
      j.type = Json::Type::Array;
      for (const auto& item : v.items) j.items.push_back(from(item));
      break;
    case Kind::Object:
      j.type = Json::Type::Object;
      for (const auto& m : v.members) j.fields[m.name] = from(m.value);
      break;
  }
  return j;
}

}  // namespace

const Json& Json::operator[](const std::string& k) const {
  auto it = fields.find(k);
  if (it == fields.end()) throw std::runtime_error("JSON: no field " + k);
  return it->second;
}

Json Json::parse(std::string_view text) { return from(rt::text::json::parse(text)); }

}  // namespace testing_support
