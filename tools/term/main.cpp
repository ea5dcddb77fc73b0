// velmorin-chat: a terminal client for Velmorin Server.

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "client/Discovery.hpp"
#include "term/Input.hpp"
#include "term/LineEditor.hpp"
#include "term/Options.hpp"
#include "term/Screen.hpp"
#include "term/Session.hpp"

namespace {

using namespace velmorin::term;

bool ColorsWanted(int fd) { return ::isatty(fd) == 1 && std::getenv("NO_COLOR") == nullptr; }

int RunDiscovery(const Options& options, Screen& screen, Screen& errors) {
  const std::string host = options.hostGiven ? options.host : "255.255.255.255";
  const velmorin::client::DiscoveryResult result = velmorin::client::Discover(host, options.port, options.timeout);
  if (!result.error.empty()) {
    errors.Print(Line(Style::kError, "Discovery failed: " + result.error));
    return kExitConnection;
  }
  if (result.servers.empty()) {
    errors.Print(Line(Style::kError, "No server answered on " + host + ":" + std::to_string(options.port) +
                                         " within " + std::to_string(options.timeout.count()) + " ms."));
    return kExitConnection;
  }
  for (const velmorin::client::ServerInfo& server : result.servers) {
    Line line;
    line.Add(Style::kOwnNick, server.address).Plain("  " + server.status + "  " + server.users + " users  version " +
                                                     server.version);
    screen.Print(line);
    if (server.description.empty()) continue;
    std::string description = server.description;
    for (std::size_t at; (at = description.find("<br>")) != std::string::npos;) description.replace(at, 4, "\n");
    std::vector<Line> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = description.find('\n', start)) != std::string::npos; start = end + 1)
      lines.emplace_back(Style::kPlain, "    " + description.substr(start, end - start));
    lines.emplace_back(Style::kPlain, "    " + description.substr(start));
    screen.Print(lines);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const Charset charset = Charset::FromLocale();
  Screen screen(std::cout, charset, ColorsWanted(STDOUT_FILENO));
  Screen errors(std::cerr, charset, ColorsWanted(STDERR_FILENO));

  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.options) {
    std::cerr << "velmorin-chat: " << parsed.error << "\nTry 'velmorin-chat --help' for the options.\n";
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return kExitOk;
  }
  if (options.discover) return RunDiscovery(options, screen, errors);
  screen.SetTimestamps(options.timestamps);

  InstallStopSignals();
  const bool scripted = ::isatty(STDIN_FILENO) != 1;
  // Editing needs the terminal on both sides: keys in, and the input line redrawn out.
  std::optional<LineEditor> editor;
  if (!scripted && ::isatty(STDOUT_FILENO) == 1) editor.emplace(STDIN_FILENO, std::cout, charset.Utf8());
  LineEditor* editorPointer = editor ? &*editor : nullptr;
  Input input(STDIN_FILENO, editorPointer);
  Session session(options, screen, errors, scripted);
  return session.Run(input, editorPointer);
}
