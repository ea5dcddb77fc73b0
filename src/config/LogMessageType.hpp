#pragma once
// The 21 log message types. The index is the order of the colour and visibility settings.

#include <array>
#include <string_view>

namespace velmorin {

enum class LogMessageType {
  Connected,
  SendingWelcome,
  ClientAccepted,
  ChatnameAlreadyUsed,
  SendingChatroomList,
  ClientJoinedChatroom,
  ClientCreatedChatroom,
  SendingUserlist,
  Disconnected,
  ServerStarted,
  ServerCouldNotStart,
  ServerStopped,
  PingTimeout,
  ErrorRaised,
  ErrorInvalidData,
  ErrorSendingData,
  ErrorCRC,
  ErrorDenied,
  ErrorNoGuests,
  ErrorVersion,
  UnknownCommand,
};

inline constexpr std::size_t kLogMessageTypeCount = 21;

inline constexpr std::array<std::string_view, kLogMessageTypeCount> kLogMessageTypeNames = {
    "Connected",         "SendingWelcome",      "ClientAccepted",        "ChatnameAlreadyUsed",
    "SendingChatroomList", "ClientJoinedChatroom", "ClientCreatedChatroom", "SendingUserlist",
    "Disconnected",      "ServerStarted",       "ServerCouldNotStart",   "ServerStopped",
    "PingTimeout",       "ErrorRaised",         "ErrorInvalidData",      "ErrorSendingData",
    "ErrorCRC",          "ErrorDenied",         "ErrorNoGuests",         "ErrorVersion",
    "UnknownCommand",
};

}  // namespace velmorin
