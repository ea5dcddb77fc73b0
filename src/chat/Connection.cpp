#include "chat/Connection.hpp"

namespace velmorin {

Connection::Connection(StreamSocketEvents* events, long index, std::uint64_t serial, std::string key)
    : loginKey(std::move(key)),
      connectTime(std::time(nullptr)),
      serial(serial),
      socket_(std::make_unique<StreamSocket>(events)) {
  socket_->SetIndex(index);
}

void Connection::WaitForNickname() {
  if (phase_ == ConnectionPhase::Accepted) phase_ = ConnectionPhase::WaitingForNickname;
}

void Connection::StopWaiting() {
  if (phase_ == ConnectionPhase::WaitingForNickname) phase_ = ConnectionPhase::Accepted;
}

void Connection::LogIn() {
  if (phase_ != ConnectionPhase::Closing) phase_ = ConnectionPhase::LoggedIn;
}

}  // namespace velmorin
