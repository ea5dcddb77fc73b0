#pragma once
// FieldCursor: the NUL-separated fields of a payload, one by one, as views into it (no copy).
// A payload of n separators has n + 1 fields ("" is one empty field, "a\0" is "a" and "");
// asking beyond the last field gives empty ones, so a handler reads the fields it expects and
// missing ones are empty.
//
//   FieldCursor fields(payload);
//   const std::string_view kind = fields.Next();
//   const std::string_view text = fields.Next();

#include <string_view>
#include <utility>

#include "codec/WireFormat.hpp"

namespace velmorin {

class FieldCursor {
 public:
  explicit FieldCursor(std::string_view payload) : rest_(payload) {}

  // The next field; empty once every field was taken.
  std::string_view Next();
  // Whether every field was taken.
  bool AtEnd() const { return done_; }
  // What Next has not taken yet, separators included.
  std::string_view Rest() const { return rest_; }

  // The payload up to its first separator.
  static std::string_view First(std::string_view payload) {
    return payload.substr(0, payload.find(kFieldSeparator));
  }

 private:
  std::string_view rest_;
  bool done_ = false;
};

inline std::string_view FieldCursor::Next() {
  if (done_) return {};
  const std::size_t end = rest_.find(kFieldSeparator);
  if (end == std::string_view::npos) {
    done_ = true;
    return std::exchange(rest_, std::string_view());
  }
  const std::string_view field = rest_.substr(0, end);
  rest_.remove_prefix(end + 1);
  return field;
}

}  // namespace velmorin
