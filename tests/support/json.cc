#include "tests/support/json.h"

#include <cstdlib>
#include <stdexcept>

#include "runtime/text/codepage.h"

namespace testing_support {

namespace {

struct Parser {
  std::string_view s;
  std::size_t i = 0;

  [[noreturn]] void fail(const char* what) const {
    throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(i));
  }
  void ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool eat(char c) {
    ws();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!eat(c)) fail("unexpected character");
  }
  unsigned hex4() {
    if (i + 4 > s.size()) fail("short \\u escape");
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s[i++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= unsigned(c - '0');
      else if (c >= 'a' && c <= 'f') v |= unsigned(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= unsigned(c - 'A' + 10);
      else fail("bad \\u escape");
    }
    return v;
  }
  std::string string() {
    expect('"');
    std::string out;
    while (true) {
      if (i >= s.size()) fail("unterminated string");
      const char c = s[i++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= s.size()) fail("unterminated escape");
      const char e = s[i++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          char32_t cp = hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && i + 6 <= s.size() && s[i] == '\\' && s[i + 1] == 'u') {
            i += 2;
            const unsigned lo = hex4();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          }
          rt::text::append_utf8(out, cp);
          break;
        }
        default: out += e;
      }
    }
  }
  Json value() {
    ws();
    if (i >= s.size()) fail("unexpected end");
    Json j;
    const char c = s[i];
    if (c == '{') {
      ++i;
      j.type = Json::Type::Object;
      if (eat('}')) return j;
      do {
        ws();
        std::string k = string();
        expect(':');
        j.fields[k] = value();
      } while (eat(','));
      expect('}');
    } else if (c == '[') {
      ++i;
      j.type = Json::Type::Array;
      if (eat(']')) return j;
      do j.items.push_back(value());
      while (eat(','));
      expect(']');
    } else if (c == '"') {
      j.type = Json::Type::String;
      j.text = string();
    } else if (s.substr(i, 4) == "true") {
      i += 4;
      j.type = Json::Type::Bool;
      j.boolean = true;
    } else if (s.substr(i, 5) == "false") {
      i += 5;
      j.type = Json::Type::Bool;
    } else if (s.substr(i, 4) == "null") {
      i += 4;
    } else {
      const std::string num(s.substr(i, 64));
      char* end = nullptr;
      j.number = std::strtod(num.c_str(), &end);
      if (end == num.c_str()) fail("bad value");
      i += std::size_t(end - num.c_str());
      j.type = Json::Type::Number;
    }
    return j;
  }
};

}  // namespace

const Json& Json::operator[](const std::string& k) const {
  auto it = fields.find(k);
  if (it == fields.end()) throw std::runtime_error("JSON: no field " + k);
  return it->second;
}

Json Json::parse(std::string_view text) {
  Parser p{text};
  Json j = p.value();
  p.ws();
  if (p.i != text.size()) p.fail("trailing characters");
  return j;
}

}  // namespace testing_support
