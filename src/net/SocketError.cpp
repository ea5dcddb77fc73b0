#include "net/SocketError.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "i18n/LanguageFile.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {

SocketError MakeSocketError(int number, const std::string& source) {
  return SocketError{number, WinsockErrorText(number), source};
}

std::string WinsockErrorText(int code) {
  return CurrentLanguage().Data("WinsockErr" + std::to_string(code), "frmServer");
}

int PendingWinsockError(int socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return WinsockErrorOfErrno(error);
}

sockaddr_in SocketAddress(const std::string& ip, long port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (ip.empty() || ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  return address;
}

std::string DottedAddress(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "";
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

}  // namespace velmorin
