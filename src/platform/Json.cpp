#include "platform/Json.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace velmorin {

JsonValue JsonValue::Bool(bool value) {
  JsonValue v;
  v.kind_ = Kind::Bool;
  v.boolean_ = value;
  return v;
}

JsonValue JsonValue::Number(double value) {
  JsonValue v;
  v.kind_ = Kind::Number;
  v.number_ = value;
  return v;
}

JsonValue JsonValue::String(std::string value) {
  JsonValue v;
  v.kind_ = Kind::String;
  v.string_ = std::move(value);
  return v;
}

JsonValue JsonValue::Array(std::vector<JsonValue> items) {
  JsonValue v;
  v.kind_ = Kind::Array;
  v.items_ = std::move(items);
  return v;
}

JsonValue JsonValue::Object(std::vector<Member> members) {
  JsonValue v;
  v.kind_ = Kind::Object;
  v.members_ = std::move(members);
  return v;
}

const JsonValue* JsonValue::Find(std::string_view name) const {
  if (kind_ != Kind::Object) return nullptr;
  for (const Member& member : members_) {
    if (member.first == name) return &member.second;
  }
  return nullptr;
}

JsonValue& JsonValue::Add(JsonValue item) {
  items_.push_back(std::move(item));
  return *this;
}

JsonValue& JsonValue::Set(std::string name, JsonValue value) {
  members_.emplace_back(std::move(name), std::move(value));
  return *this;
}

namespace {

void AppendCodePoint(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

class Reader {
 public:
  Reader(std::string_view text, const JsonLimits& limits) : text_(text), limits_(limits) {}

  std::optional<JsonValue> ReadDocument() {
    std::optional<JsonValue> value = ReadValue(0);
    if (!value) return std::nullopt;
    SkipSpace();
    if (position_ != text_.size()) return Fail("text after the value");
    return value;
  }

  const std::string& error() const { return error_; }

 private:
  std::nullopt_t Fail(const char* reason) {
    if (error_.empty()) error_ = std::string(reason) + " at offset " + std::to_string(position_);
    return std::nullopt;
  }

  void SkipSpace() {
    while (position_ < text_.size()) {
      const char c = text_[position_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++position_;
    }
  }

  bool Consume(std::string_view word) {
    if (text_.substr(position_, word.size()) != word) return false;
    position_ += word.size();
    return true;
  }

  std::optional<JsonValue> ReadValue(std::size_t depth) {
    SkipSpace();
    if (position_ >= text_.size()) return Fail("unexpected end");
    const char c = text_[position_];
    if (c == '{' || c == '[') {
      if (depth >= limits_.maxDepth) return Fail("nesting too deep");
      return c == '{' ? ReadObject(depth + 1) : ReadArray(depth + 1);
    }
    if (c == '"') {
      std::optional<std::string> text = ReadString();
      if (!text) return std::nullopt;
      return JsonValue::String(std::move(*text));
    }
    if (Consume("true")) return JsonValue::Bool(true);
    if (Consume("false")) return JsonValue::Bool(false);
    if (Consume("null")) return JsonValue();
    if (c == '-' || (c >= '0' && c <= '9')) return ReadNumber();
    return Fail("unexpected character");
  }

  std::optional<JsonValue> ReadArray(std::size_t depth) {
    ++position_;  // '['
    JsonValue array = JsonValue::Array();
    SkipSpace();
    if (Consume("]")) return array;
    for (;;) {
      std::optional<JsonValue> item = ReadValue(depth);
      if (!item) return std::nullopt;
      array.Add(std::move(*item));
      SkipSpace();
      if (Consume("]")) return array;
      if (!Consume(",")) return Fail("expected ',' or ']'");
    }
  }

  std::optional<JsonValue> ReadObject(std::size_t depth) {
    ++position_;  // '{'
    JsonValue object = JsonValue::Object();
    SkipSpace();
    if (Consume("}")) return object;
    for (;;) {
      SkipSpace();
      if (position_ >= text_.size() || text_[position_] != '"') return Fail("expected a member name");
      std::optional<std::string> name = ReadString();
      if (!name) return std::nullopt;
      SkipSpace();
      if (!Consume(":")) return Fail("expected ':'");
      std::optional<JsonValue> value = ReadValue(depth);
      if (!value) return std::nullopt;
      object.Set(std::move(*name), std::move(*value));
      SkipSpace();
      if (Consume("}")) return object;
      if (!Consume(",")) return Fail("expected ',' or '}'");
    }
  }

  std::optional<std::uint32_t> ReadHex4() {
    if (text_.size() - position_ < 4) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[position_++];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') value |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return std::nullopt;
    }
    return value;
  }

  // After "\u": one code point, a surrogate pair taken together.
  bool ReadEscapedCodePoint(std::string& out) {
    const std::optional<std::uint32_t> first = ReadHex4();
    if (!first) { Fail("bad \\u escape"); return false; }
    std::uint32_t code = *first;
    if (code >= 0xDC00 && code <= 0xDFFF) { Fail("lone low surrogate"); return false; }
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (!Consume("\\u")) { Fail("lone high surrogate"); return false; }
      const std::optional<std::uint32_t> second = ReadHex4();
      if (!second || *second < 0xDC00 || *second > 0xDFFF) { Fail("lone high surrogate"); return false; }
      code = 0x10000 + ((code - 0xD800) << 10) + (*second - 0xDC00);
    }
    AppendCodePoint(out, code);
    return true;
  }

  std::optional<std::string> ReadString() {
    ++position_;  // '"'
    std::string out;
    while (position_ < text_.size()) {
      const char c = text_[position_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (position_ >= text_.size()) break;
      const char escape = text_[position_++];
      switch (escape) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u':
          if (!ReadEscapedCodePoint(out)) return std::nullopt;
          break;
        default: return Fail("bad escape");
      }
    }
    return Fail("unterminated string");
  }

  bool Digits() {
    const std::size_t start = position_;
    while (position_ < text_.size() && text_[position_] >= '0' && text_[position_] <= '9') ++position_;
    return position_ > start;
  }

  std::optional<JsonValue> ReadNumber() {
    const std::size_t start = position_;
    Consume("-");
    if (Consume("0")) {
      // no further digits after a leading zero
    } else if (!Digits()) {
      return Fail("bad number");
    }
    if (Consume(".") && !Digits()) return Fail("bad number");
    if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
      ++position_;
      if (!Consume("+")) Consume("-");
      if (!Digits()) return Fail("bad number");
    }
    double value = 0;
    const char* first = text_.data() + start;
    const char* last = text_.data() + position_;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range) return Fail("number out of range");
    if (end != last || error != std::errc() || !std::isfinite(value)) return Fail("bad number");
    return JsonValue::Number(value);
  }

  std::string_view text_;
  const JsonLimits& limits_;
  std::size_t position_ = 0;
  std::string error_;
};

void WriteNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (code < 0x20 || code == 0x7F) {
          out += "\\u00";
          out += kHex[code >> 4];
          out += kHex[code & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void Write(std::string& out, const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::Null: out += "null"; break;
    case JsonValue::Kind::Bool: out += value.AsBool() ? "true" : "false"; break;
    case JsonValue::Kind::Number: WriteNumber(out, value.AsNumber()); break;
    case JsonValue::Kind::String: AppendQuoted(out, value.AsString()); break;
    case JsonValue::Kind::Array: {
      out += '[';
      bool first = true;
      for (const JsonValue& item : value.Items()) {
        if (!first) out += ',';
        first = false;
        Write(out, item);
      }
      out += ']';
      break;
    }
    case JsonValue::Kind::Object: {
      out += '{';
      bool first = true;
      for (const auto& [name, member] : value.Members()) {
        if (!first) out += ',';
        first = false;
        AppendQuoted(out, name);
        out += ':';
        Write(out, member);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace

std::optional<JsonValue> ParseJson(std::string_view text, const JsonLimits& limits, std::string* error) {
  if (text.size() > limits.maxBytes) {
    if (error != nullptr) *error = "text too long";
    return std::nullopt;
  }
  Reader reader(text, limits);
  std::optional<JsonValue> value = reader.ReadDocument();
  if (!value && error != nullptr) *error = reader.error();
  return value;
}

std::string WriteJson(const JsonValue& value) {
  std::string out;
  Write(out, value);
  return out;
}

std::string QuoteJson(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

}  // namespace velmorin
