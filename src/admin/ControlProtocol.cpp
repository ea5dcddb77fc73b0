#include "admin/ControlProtocol.hpp"

#include "platform/Charset.hpp"
#include "platform/Json.hpp"

namespace velmorin {
namespace {

JsonValue Text(std::string_view windows1252) { return JsonValue::String(Utf8OfWindows1252(windows1252)); }

const char* StatusWord(ControlStatus status) {
  switch (status) {
    case ControlStatus::Done: return "done";
    case ControlStatus::Refused: return "refused";
    case ControlStatus::Usage: return "usage";
  }
  return "error";
}

// A cell of a numeric column in protocol 2: its number; text that is no number stays text.
JsonValue NumberOrText(const std::string& cell) {
  const std::optional<JsonValue> number = ParseJson(cell);
  return number && number->kind() == JsonValue::Kind::Number ? *number : Text(cell);
}

JsonValue TableJson(const ControlTable& table, int version) {
  JsonValue columns = JsonValue::Array();
  for (const std::string& column : table.columns) columns.Add(Text(column));
  JsonValue rows = JsonValue::Array();
  for (const auto& row : table.rows) {
    JsonValue cells = JsonValue::Array();
    for (std::size_t i = 0; i < row.size(); ++i) {
      cells.Add(version >= 2 && table.numericColumns.contains(i) ? NumberOrText(row[i]) : Text(row[i]));
    }
    rows.Add(std::move(cells));
  }
  return JsonValue::Object({{"columns", std::move(columns)}, {"rows", std::move(rows)}});
}

std::string Line(const JsonValue& value) { return WriteJson(value) + "\n"; }

}  // namespace

std::string HexColor(long color) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const unsigned long value = static_cast<unsigned long>(color);
  const unsigned channels[3] = {static_cast<unsigned>(value & 0xFF), static_cast<unsigned>((value >> 8) & 0xFF),
                                static_cast<unsigned>((value >> 16) & 0xFF)};
  std::string out = "#";
  for (const unsigned channel : channels) {
    out += kHex[channel >> 4];
    out += kHex[channel & 15];
  }
  return out;
}

std::optional<ControlLine> ParseControlRequest(std::string_view line, std::string* error) {
  auto fail = [error](std::string reason) -> std::optional<ControlLine> {
    if (error != nullptr) *error = std::move(reason);
    return std::nullopt;
  };
  std::string reason;
  const std::optional<JsonValue> request = ParseJson(line, {}, &reason);
  if (!request) return fail("not JSON: " + reason);
  if (request->kind() != JsonValue::Kind::Object) return fail("a request is a JSON object");
  const JsonValue* version = request->Find("v");
  if (version == nullptr || version->kind() != JsonValue::Kind::Number ||
      (version->AsNumber() != 1 && version->AsNumber() != 2)) {
    return fail("unsupported protocol version (this server speaks \"v\":1 and \"v\":2)");
  }
  const JsonValue* words = request->Find("words");
  if (words == nullptr || words->kind() != JsonValue::Kind::Array) return fail("\"words\" must be an array of strings");
  if (words->Items().size() > kMaxControlWords) return fail("too many words");
  ControlLine result;
  result.version = static_cast<int>(version->AsNumber());
  for (const JsonValue& word : words->Items()) {
    if (word.kind() != JsonValue::Kind::String) return fail("\"words\" must be an array of strings");
    // No text of the server may hold a NUL: it ends fields on the wire and lines in the files.
    if (word.AsString().find('\0') != std::string::npos) return fail("a word holds a NUL character");
    Windows1252Conversion converted = ConvertUtf8ToWindows1252(word.AsString());
    result.words.push_back(std::move(converted.text));
    for (const UncarriedCharacter& character : converted.uncarried) RememberUncarried(result.uncarriedInWords, character);
  }
  if (const JsonValue* input = request->Find("input"); input != nullptr && !input->IsNull()) {
    if (input->kind() != JsonValue::Kind::String) return fail("\"input\" must be a string");
    if (input->AsString().find('\0') != std::string::npos) return fail("\"input\" holds a NUL character");
    Windows1252Conversion converted = ConvertUtf8ToWindows1252(input->AsString());
    result.input = std::move(converted.text);
    result.uncarriedInInput = std::move(converted.uncarried);
  }
  return result;
}

std::string GreetingJson(const std::string& version) {
  JsonValue protocols = JsonValue::Array();
  for (int offered = kControlProtocolVersion; offered <= kNewestControlProtocol; ++offered) {
    protocols.Add(JsonValue::Number(offered));
  }
  return Line(JsonValue::Object({{"velmorin-control", JsonValue::Number(kControlProtocolVersion)},
                                 {"version", JsonValue::String(version)},
                                 {"protocols", std::move(protocols)}}));
}

std::string ReplyJson(const ControlReply& reply, int version) {
  JsonValue fields = JsonValue::Object();
  for (const auto& [name, value] : reply.fields) {
    const auto number = version >= 2 ? reply.numbers.find(name) : reply.numbers.end();
    if (number == reply.numbers.end()) {
      fields.Set(Utf8OfWindows1252(name), Text(value));
    } else {
      fields.Set(Utf8OfWindows1252(name), number->second ? JsonValue::Number(*number->second) : JsonValue());
    }
  }
  JsonValue out = JsonValue::Object({{"status", JsonValue::String(StatusWord(reply.status))},
                                     {"notice", Text(reply.notice)},
                                     {"message", Text(reply.message)},
                                     {"fields", std::move(fields)}});
  if (!reply.table.columns.empty()) out.Set("table", TableJson(reply.table, version));
  return Line(out);
}

std::string ErrorJson(const std::string& message) {
  return Line(JsonValue::Object({{"status", JsonValue::String("error")},
                                 {"notice", JsonValue::String("")},
                                 {"message", JsonValue::String(message)},
                                 {"fields", JsonValue::Object()}}));
}

std::string LogLineJson(std::string_view type, long color, std::string_view text) {
  return Line(JsonValue::Object({{"type", JsonValue::String(std::string(type))},
                                 {"color", JsonValue::String(HexColor(color))},
                                 {"text", Text(text)}}));
}

std::string DroppedLinesJson(std::size_t count) {
  return Line(JsonValue::Object(
      {{"type", JsonValue::String("dropped")},
       {"color", JsonValue::String("#808080")},
       {"text", JsonValue::String(std::to_string(count) + " log lines were left out: this client read too slowly")},
       {"dropped", JsonValue::Number(static_cast<double>(count))}}));
}

}  // namespace velmorin
