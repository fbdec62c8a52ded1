#include "runtime/text/json.h"

#include <cstdio>

#include "runtime/text/codepage.h"

namespace rt::text::json {

void append_string(std::string& out, std::string_view utf8) {
  out.push_back('"');
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto [cp, used] = decode_utf8(utf8.substr(i));
    i += used;
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (cp < 0x20 || cp == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
          out += buf;
        } else {
          append_utf8(out, cp);
        }
    }
  }
  out.push_back('"');
}

void Writer::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_member_.empty()) {
    if (has_member_.back()) out_ += ", ";
    has_member_.back() = true;
  }
}

void Writer::begin_object() {
  before_value();
  out_.push_back('{');
  has_member_.push_back(false);
}

void Writer::end_object() {
  has_member_.pop_back();
  out_.push_back('}');
}

void Writer::begin_array() {
  before_value();
  out_.push_back('[');
  has_member_.push_back(false);
}

void Writer::end_array() {
  has_member_.pop_back();
  out_.push_back(']');
}

void Writer::key(std::string_view utf8) {
  before_value();
  append_string(out_, utf8);
  out_ += ": ";
  after_key_ = true;
}

void Writer::string(std::string_view utf8) {
  before_value();
  append_string(out_, utf8);
}

void Writer::number(std::string_view json_number) {
  before_value();
  out_ += json_number;
}

void Writer::boolean(bool b) {
  before_value();
  out_ += b ? "true" : "false";
}

void Writer::null() {
  before_value();
  out_ += "null";
}


std::string to_hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> from_hex(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = hex_digit(hex[i]), lo = hex_digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return out;
}

const Value* Value::find(std::string_view key) const {
  for (const auto& m : members)
    if (m.name == key) return &m.value;
  return nullptr;
}

const char* kind_name(Value::Kind k) {
  switch (k) {
    case Value::Kind::Null: return "null";
    case Value::Kind::Bool: return "true/false";
    case Value::Kind::Number: return "a number";
    case Value::Kind::String: return "a text";
    case Value::Kind::Array: return "an array";
    case Value::Kind::Object: return "an object";
  }
  return "?";
}

namespace {

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Value document() {
    Value v = value(0);
    blanks();
    if (pos_ != s_.size()) fail("unexpected text after the value");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) { throw ParseError(pos_ + 1, what); }

  void blanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) ++pos_;
  }

  bool literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  Value value(int depth) {
    if (depth > 64) fail("nested too deeply");
    blanks();
    if (pos_ >= s_.size()) fail("a value is missing");
    Value v;
    char c = s_[pos_];
    if (c == '{') {
      v.kind = Value::Kind::Object;
      ++pos_;
      blanks();
      if (pos_ < s_.size() && s_[pos_] == '}') {
        ++pos_;
        return v;
      }
      for (;;) {
        blanks();
        if (pos_ >= s_.size() || s_[pos_] != '"') fail("a member name in double quotes is expected");
        std::string key = string();
        blanks();
        if (pos_ >= s_.size() || s_[pos_] != ':') fail("':' is expected after a member name");
        ++pos_;
        Value member = value(depth + 1);
        v.members.push_back(Member{std::move(key), std::move(member)});
        blanks();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < s_.size() && s_[pos_] == '}') {
          ++pos_;
          return v;
        }
        fail("',' or '}' is expected");
      }
    }
    if (c == '[') {
      v.kind = Value::Kind::Array;
      ++pos_;
      blanks();
      if (pos_ < s_.size() && s_[pos_] == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.items.push_back(value(depth + 1));
        blanks();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < s_.size() && s_[pos_] == ']') {
          ++pos_;
          return v;
        }
        fail("',' or ']' is expected");
      }
    }
    if (c == '"') {
      v.kind = Value::Kind::String;
      v.text = string();
      return v;
    }
    if (literal("true")) {
      v.kind = Value::Kind::Bool;
      v.boolean = true;
      return v;
    }
    if (literal("false")) {
      v.kind = Value::Kind::Bool;
      return v;
    }
    if (literal("null")) return v;
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.kind = Value::Kind::Number;
      v.text = number();
      return v;
    }
    fail("unexpected character");
  }

  std::string number() {
    std::size_t start = pos_;
    auto digits = [&] {
      std::size_t d = pos_;
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
      return pos_ - d;
    };
    if (s_[pos_] == '-') ++pos_;
    std::size_t int_start = pos_;
    std::size_t n = digits();
    if (n == 0) fail("a digit is expected");
    if (n > 1 && s_[int_start] == '0') fail("a number may not start with 0");
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      if (digits() == 0) fail("a digit is expected after the decimal point");
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (digits() == 0) fail("a digit is expected in the exponent");
    }
    return std::string(s_.substr(start, pos_ - start));
  }

  unsigned hex4() {
    if (pos_ + 4 > s_.size()) fail("\\u needs four hex digits");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      int d = hex_digit(s_[pos_++]);
      if (d < 0) fail("\\u needs four hex digits");
      v = v * 16 + static_cast<unsigned>(d);
    }
    return v;
  }

  std::string string() {
    ++pos_;  // opening quote
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) fail("the text has no closing quote");
      unsigned char c = static_cast<unsigned char>(s_[pos_]);
      if (c == '"') {
        ++pos_;
        return out;
      }
      if (c < 0x20) fail("a control character must be escaped in a text");
      if (c != '\\') {
        auto [u, used] = decode_utf8(s_.substr(pos_));
        if (u == 0xFFFD && !(used == 3 && s_.substr(pos_, 3) == "\xEF\xBF\xBD")) fail("malformed UTF-8");
        out.append(s_.substr(pos_, used));
        pos_ += used;
        continue;
      }
      ++pos_;
      if (pos_ >= s_.size()) fail("the text has no closing quote");
      char e = s_[pos_++];
      switch (e) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          char32_t u = hex4();
          if (u >= 0xD800 && u <= 0xDBFF) {
            if (s_.substr(pos_, 2) != "\\u") fail("a lone surrogate in \\u escape");
            pos_ += 2;
            unsigned lo = hex4();
            if (lo < 0xDC00 || lo > 0xDFFF) fail("a lone surrogate in \\u escape");
            u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
          } else if (u >= 0xDC00 && u <= 0xDFFF) {
            fail("a lone surrogate in \\u escape");
          }
          append_utf8(out, u);
          break;
        }
        default: fail("unknown escape in a text");
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

Value parse(std::string_view text) { return Parser(text).document(); }

}  // namespace rt::text::json
