#pragma once
// A small JSON value with a bounded reader and a writer, for the control socket's protocol (the
// server and velmorin-ctl both use it). Strings are bytes as they are (UTF-8 on the wire);
// "\u" escapes are decoded to UTF-8. Objects keep their members in order.
//
// The reader never trusts its input: it refuses text longer than the limit, nesting deeper than
// the limit, a lone surrogate, a control character inside a string, trailing text, and anything
// else that is not JSON, with a short reason. It never throws and never recurses beyond the
// depth limit.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmorin {

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };
  using Member = std::pair<std::string, JsonValue>;

  JsonValue() = default;
  static JsonValue Bool(bool value);
  static JsonValue Number(double value);
  static JsonValue String(std::string value);
  static JsonValue Array(std::vector<JsonValue> items = {});
  static JsonValue Object(std::vector<Member> members = {});

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool AsBool() const { return boolean_; }
  double AsNumber() const { return number_; }
  const std::string& AsString() const { return string_; }
  const std::vector<JsonValue>& Items() const { return items_; }
  const std::vector<Member>& Members() const { return members_; }

  // The first member named `name` of an object; nullptr when none or not an object.
  const JsonValue* Find(std::string_view name) const;

  // Builders: Add appends to an array, Set appends a member to an object.
  JsonValue& Add(JsonValue item);
  JsonValue& Set(std::string name, JsonValue value);

 private:
  Kind kind_ = Kind::Null;
  bool boolean_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<JsonValue> items_;
  std::vector<Member> members_;
};

struct JsonLimits {
  std::size_t maxBytes = 1 << 20;
  std::size_t maxDepth = 32;
};

// The value of the text, or nothing with the reason in *error (when given).
std::optional<JsonValue> ParseJson(std::string_view text, const JsonLimits& limits = {}, std::string* error = nullptr);

// The value as compact JSON on one line (no line break anywhere: control characters are escaped).
std::string WriteJson(const JsonValue& value);

// The text as a quoted JSON string.
std::string QuoteJson(std::string_view text);

}  // namespace velmorin
