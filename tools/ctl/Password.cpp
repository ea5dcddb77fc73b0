#include "ctl/Password.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace velmorin::ctl {
namespace {

constexpr std::size_t kMaxPassword = 4096;

// One line read from the descriptor byte by byte (nothing read ahead), without its line break.
std::optional<std::string> ReadLineFrom(int fd) {
  std::string line;
  char c = 0;
  for (;;) {
    const ssize_t size = ::read(fd, &c, 1);
    if (size <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') break;
    if (line.size() >= kMaxPassword) return std::nullopt;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> AskWithoutEcho(int tty, const char* prompt) {
  (void)!::write(tty, prompt, std::char_traits<char>::length(prompt));
  termios saved{};
  const bool terminal = ::tcgetattr(tty, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  std::optional<std::string> line = ReadLineFrom(tty);
  if (terminal) ::tcsetattr(tty, TCSAFLUSH, &saved);
  return line;
}

}  // namespace

std::optional<std::string> ReadPassword(bool fromStandardInput, std::string* error) {
  if (fromStandardInput) {
    std::optional<std::string> line = ReadLineFrom(STDIN_FILENO);
    if (!line || line->empty()) *error = "no password on standard input";
    else return line;
    return std::nullopt;
  }
  const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) {
    *error = "no terminal to ask for the password; use --password-stdin";
    return std::nullopt;
  }
  std::optional<std::string> first = AskWithoutEcho(tty, "Password: ");
  std::optional<std::string> second = first ? AskWithoutEcho(tty, "Password again: ") : std::nullopt;
  ::close(tty);
  if (!first || first->empty()) {
    *error = "no password given";
    return std::nullopt;
  }
  if (!second || *first != *second) {
    *error = "the passwords differ";
    return std::nullopt;
  }
  return first;
}

}  // namespace velmorin::ctl
