// EXPECTED.json files as tests read them (through rt::text::json).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // UTF-8
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  bool is_null() const { return type == Type::Null; }
  bool has(const std::string& k) const { return fields.count(k) != 0; }
  const Json& operator[](const std::string& k) const;
  const Json& operator[](std::size_t i) const { return items.at(i); }
  std::size_t size() const { return type == Type::Array ? items.size() : fields.size(); }

  // Throws std::runtime_error with the offset of a syntax error.
  static Json parse(std::string_view text);
};

}  // namespace testing_support
