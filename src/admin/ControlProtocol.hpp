#pragma once
// The control protocol (docs/administration.md): one JSON object per line each way.
//   server, on connect:  {"velmorin-control":1,"version":"3.0.0","protocols":[1,2]}
//   client request:      {"v":1,"words":["account","add","bob"],"input":"secret"}  (or "v":2)
//   server reply:        {"status":"done"|"refused"|"usage"|"error","notice":..,"message":..,
//                         "fields":{..},"table":{"columns":[..],"rows":[[..]]}}
//   a followed log line: {"type":"Connected","color":"#RRGGBB","text":".."}
// Version 2 differs only in the replies: numbers as JSON numbers, durations in seconds.
// The wire speaks UTF-8; the server's texts are Windows-1252 and are converted both ways here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "admin/ControlReply.hpp"
#include "platform/Charset.hpp"

namespace velmorin {

// The greeting's "velmorin-control" stays 1, which every client understands; "protocols" lists
// the versions a request may name.
inline constexpr int kControlProtocolVersion = 1;
inline constexpr int kNewestControlProtocol = 2;
inline constexpr std::size_t kMaxControlWords = 256;

struct ControlLine {
  int version = kControlProtocolVersion;  // the request's "v": how its reply is written
  std::vector<std::string> words;  // Windows-1252
  std::string input;               // Windows-1252
  // What Windows-1252 could not carry (each is '?' above); a request with any is refused.
  std::vector<UncarriedCharacter> uncarriedInWords;
  std::vector<UncarriedCharacter> uncarriedInInput;
};

// The request of one line, or nothing with the reason in *error.
std::optional<ControlLine> ParseControlRequest(std::string_view line, std::string* error);

// Each of these is one line of JSON, ending in "\n".
std::string GreetingJson(const std::string& version);
std::string ReplyJson(const ControlReply& reply, int version = kControlProtocolVersion);
std::string ErrorJson(const std::string& message);
std::string LogLineJson(std::string_view type, long color, std::string_view text);
std::string DroppedLinesJson(std::size_t count);

// "#RRGGBB" of a colour in 0x00BBGGRR.
std::string HexColor(long color);

}  // namespace velmorin
