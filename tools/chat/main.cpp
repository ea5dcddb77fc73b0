// velmorin-chat: a terminal client for Velmorin Server.

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "client/ChatClient.hpp"

namespace {

using velmorin::client::ChatClient;
using velmorin::client::Packet;
using velmorin::client::Timeout;

struct Options {
  std::string host = "localhost";
  long port = 1000;
  std::string nickname;
  std::string password;
  long color = 0;
  long timeoutMs = 5000;
};

void PrintUsage() {
  std::cout << "Usage: velmorin-chat [--host H] [--port N] [--password P] [--timeout MS] NICKNAME\n"
               "Connects to a Velmorin Server, logs in and shows what arrives. Type /quit to leave.\n";
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--help") return false;
    if (argument == "--host" && hasValue) {
      options.host = argv[++i];
    } else if (argument == "--port" && hasValue) {
      options.port = std::strtol(argv[++i], nullptr, 10);
    } else if (argument == "--password" && hasValue) {
      options.password = argv[++i];
    } else if (argument == "--timeout" && hasValue) {
      options.timeoutMs = std::strtol(argv[++i], nullptr, 10);
    } else if (argument.rfind("--", 0) != 0 && options.nickname.empty()) {
      options.nickname = argument;
    } else {
      return false;
    }
  }
  return !options.nickname.empty() && options.port > 0 && options.port < 65536;
}

// A packet as a readable line.
std::string Describe(const Packet& packet) {
  std::string payload = packet.payload;
  for (char& c : payload) {
    if (c == '\0') c = '|';
  }
  return "[" + packet.command + "] " + payload;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    PrintUsage();
    return 2;
  }
  const Timeout timeout(options.timeoutMs);
  ChatClient client;
  if (!client.Connect(options.host, static_cast<std::uint16_t>(options.port), timeout)) {
    std::cerr << "Cannot connect to " << options.host << ":" << options.port << ": " << client.LastErrorText() << "\n";
    return 1;
  }
  const auto welcome = client.ReceiveWelcome(timeout);
  if (!welcome) {
    std::cerr << "No welcome from the server: " << client.LastErrorText() << "\n";
    return 1;
  }
  std::cout << "Connected to Velmorin Server " << welcome->version << " (" << welcome->status << ")\n";
  if (!welcome->welcomeText.empty()) std::cout << welcome->welcomeText << "\n";
  const auto reply = client.Login(options.nickname, options.password, options.color, "velmorin-chat 3.0.0", timeout);
  if (!reply) {
    std::cerr << "No answer to the login: " << client.LastErrorText() << "\n";
    return 1;
  }
  if (!reply->Accepted()) {
    std::cerr << "Login refused: " << reply->status << "\n";
    return 3;
  }
  std::cout << "Logged in as " << reply->nickname << "\n" << std::flush;

  bool inputOpen = true;
  while (true) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (inputOpen && ::poll(&input, 1, 0) > 0) {
      std::string line;
      if (!std::getline(std::cin, line)) {
        inputOpen = false;
      } else if (line == "/quit" || line.rfind("/quit ", 0) == 0) {
        client.Send("quit", line.size() > 6 ? line.substr(6) : "");
        client.Close();
        return 0;
      }
    }
    if (auto packet = client.Receive(Timeout(50))) {
      std::cout << Describe(*packet) << "\n" << std::flush;
    } else if (client.LastError() != velmorin::client::ClientError::kTimeout) {
      std::cout << "The server closed the connection.\n";
      return 0;
    }
  }

}
