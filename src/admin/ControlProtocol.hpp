#pragma once
// Version 1 of the control protocol (docs/administration.md): one JSON object per line each way.
//   server, on connect:  {"velmorin-control":1,"version":"3.0.0"}
//   client request:      {"v":1,"words":["account","add","bob"],"input":"secret"}
//   server reply:        {"status":"done"|"refused"|"usage"|"error","notice":..,"message":..,
//                         "fields":{..},"table":{"columns":[..],"rows":[[..]]}}
//   a followed log line: {"type":"Connected","color":"#RRGGBB","text":".."}
// The wire speaks UTF-8; the server's texts are Windows-1252 and are converted both ways here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "admin/ControlReply.hpp"
#include "platform/Charset.hpp"

namespace velmorin {

inline constexpr int kControlProtocolVersion = 1;
inline constexpr std::size_t kMaxControlWords = 256;

struct ControlLine {
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
std::string ReplyJson(const ControlReply& reply);
std::string ErrorJson(const std::string& message);
std::string LogLineJson(std::string_view type, long color, std::string_view text);
std::string DroppedLinesJson(std::size_t count);

// "#RRGGBB" of a colour in 0x00BBGGRR.
std::string HexColor(long color);

}  // namespace velmorin
