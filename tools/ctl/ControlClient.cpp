#include "ctl/ControlClient.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Json.hpp"

namespace velmorin::ctl {
namespace {

constexpr int kGreetingTimeoutMs = 10000;
// No answer line is longer than this; a longer one means the other end is not our server.
constexpr std::size_t kMaxLine = 64 * 1024 * 1024;

// The message of an error line ({"status":"error","message":...}); empty for anything else.
std::string ErrorMessageOf(const std::optional<JsonValue>& value) {
  if (!value || value->kind() != JsonValue::Kind::Object) return {};
  const JsonValue* status = value->Find("status");
  const JsonValue* message = value->Find("message");
  if (status == nullptr || status->kind() != JsonValue::Kind::String || status->AsString() != "error") return {};
  if (message == nullptr || message->kind() != JsonValue::Kind::String) return {};
  return message->AsString();
}

}  // namespace

ControlClient::~ControlClient() { Disconnect(); }

void ControlClient::Disconnect() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffered_.clear();
}

ConnectResult ControlClient::Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error_ = "the socket path is too long: " + path;
    return ConnectResult::Failed;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  Disconnect();
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return ConnectResult::Failed;
  }
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ECONNREFUSED) return ConnectResult::NotRunning;
    error_ = "cannot connect to " + path + ": " + std::strerror(error);
    if (error == EACCES) error_ += " (run velmorin-ctl as the user who runs the server)";
    return ConnectResult::Failed;
  }
  const std::optional<std::string> greeting = ReadLine(kGreetingTimeoutMs);
  std::optional<JsonValue> value;
  if (greeting) value = ParseJson(*greeting);
  const JsonValue* protocol = value ? value->Find("velmorin-control") : nullptr;
  // A server that cannot take the connection (all its control slots in use) says why instead
  // of greeting.
  if (const std::string refusal = ErrorMessageOf(value); protocol == nullptr && !refusal.empty()) {
    error_ = "the server refused the connection: " + refusal;
    return ConnectResult::Failed;
  }
  if (protocol == nullptr || protocol->kind() != JsonValue::Kind::Number) {
    error_ = greeting ? "the server's greeting is not understood: " + *greeting : "the server did not greet";
    return ConnectResult::Failed;
  }
  if (protocol->AsNumber() != 1) {
    error_ = "the server speaks control protocol " + std::to_string(static_cast<long long>(protocol->AsNumber())) +
             "; this velmorin-ctl speaks 1";
    return ConnectResult::Failed;
  }
  protocols_ = {1};
  if (const JsonValue* offered = value->Find("protocols"); offered != nullptr) {
    for (const JsonValue& item : offered->Items()) {
      if (item.kind() == JsonValue::Kind::Number) protocols_.push_back(static_cast<int>(item.AsNumber()));
    }
  }
  if (const JsonValue* version = value->Find("version"); version != nullptr && version->kind() == JsonValue::Kind::String) {
    serverVersion_ = version->AsString();
  }
  return ConnectResult::Connected;
}

bool ControlClient::Offers(int version) const {
  for (const int offered : protocols_) {
    if (offered == version) return true;
  }
  return false;
}

bool ControlClient::SendRequest(const std::vector<std::string>& words, const std::string& input, int version) {
  JsonValue request = JsonValue::Object();
  request.Set("v", JsonValue::Number(version));
  JsonValue list = JsonValue::Array();
  for (const std::string& word : words) list.Add(JsonValue::String(word));
  request.Set("words", std::move(list));
  if (!input.empty()) request.Set("input", JsonValue::String(input));
  const std::string line = WriteJson(request) + "\n";
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t size = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (size < 0 && errno == EINTR) continue;
    if (size <= 0) {
      error_ = std::string("cannot send the request: ") + std::strerror(errno);
      return false;
    }
    sent += static_cast<std::size_t>(size);
  }
  return true;
}

std::optional<std::string> ControlClient::ReadLine(int timeoutMs) {
  for (;;) {
    if (const std::size_t end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    if (buffered_.size() > kMaxLine) {
      error_ = "an answer line is too long";
      return std::nullopt;
    }
    pollfd ready{fd_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, timeoutMs);
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      error_ = "no answer from the server in time";
      return std::nullopt;
    }
    char chunk[16384];
    const ssize_t size = polled < 0 ? -1 : ::recv(fd_, chunk, sizeof chunk, 0);
    if (size < 0 && errno == EINTR) continue;
    if (size <= 0) {
      error_ = size == 0 ? "the server closed the connection" : std::string(std::strerror(errno));
      return std::nullopt;
    }
    buffered_.append(chunk, static_cast<std::size_t>(size));
  }
}

}  // namespace velmorin::ctl
