#pragma once
// A payload's NUL-separated fields as strings of their own, for handlers that keep them or take
// many apart at once. Handlers on hot paths read fields as views with FieldCursor instead.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codec/FieldCursor.hpp"
#include "codec/WireFormat.hpp"

namespace velmorin {

// The NUL-separated fields, at least `atLeast` of them: missing ones are empty.
std::vector<std::string> PayloadFields(std::string_view payload, std::size_t atLeast);

// The payload up to its first NUL.
inline std::string FirstField(std::string_view payload) { return std::string(FieldCursor::First(payload)); }

std::string JoinFields(const std::vector<std::string>& parts, std::string_view separator = kFieldSeparatorText);

}  // namespace velmorin
