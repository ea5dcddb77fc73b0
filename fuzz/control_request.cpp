// Control requests and the JSON under them: reading never fails other than by a refusal,
// writing what was read and reading it again gives the same text, every answer built from a
// request's words is one line, and a word the request does not report as holding characters
// Windows-1252 cannot carry is exactly what was sent.
//
// Input: one request line as a control client would send it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "admin/ControlProtocol.hpp"
#include "platform/Charset.hpp"
#include "platform/Json.hpp"
#include "support/FuzzCheck.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorin;
  const std::string_view line(reinterpret_cast<const char*>(data), size);

  std::string error;
  const std::optional<JsonValue> value = ParseJson(line, {}, &error);
  FUZZ_CHECK(value.has_value() == error.empty());
  if (value) {
    const std::string written = WriteJson(*value);
    FUZZ_CHECK(written.find('\n') == std::string::npos);
    const std::optional<JsonValue> again = ParseJson(written, {.maxBytes = written.size(), .maxDepth = 32});
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(WriteJson(*again) == written);
  }

  std::string reason;
  const std::optional<ControlLine> request = ParseControlRequest(line, &reason);
  FUZZ_CHECK(request.has_value() == reason.empty());
  if (!request) return 0;
  FUZZ_CHECK(value.has_value());
  FUZZ_CHECK(request->words.size() <= kMaxControlWords);
  if (request->uncarriedInWords.empty()) {
    const std::vector<JsonValue>& sent = value->Find("words")->Items();
    FUZZ_CHECK(sent.size() == request->words.size());
    for (std::size_t i = 0; i < sent.size(); ++i) FUZZ_CHECK(Utf8OfWindows1252(request->words[i]) == sent[i].AsString());
  }
  ControlReply reply = ControlReply::Usage(request->input);
  for (const std::string& word : request->words) reply.fields.emplace_back(word, word);
  reply.table.columns = request->words;
  reply.table.rows.push_back(request->words);
  const std::string answer = ReplyJson(reply);
  FUZZ_CHECK(answer.find('\n') == answer.size() - 1);
  FUZZ_CHECK(ParseJson(std::string_view(answer).substr(0, answer.size() - 1)).has_value());
  return 0;
}
