// velmorin-ctl: the administration of a running velmorin-server from a terminal or a script,
// through the server's control socket (run/control.sock in its program directory).
//
// Exit status: 0 done, 1 refused, 2 usage error (ours or the server's), 3 the server does not
// run, 4 a protocol or I/O error.

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "ctl/ControlClient.hpp"
#include "ctl/HelpTable.hpp"
#include "ctl/Password.hpp"
#include "ctl/Render.hpp"
#include "platform/Json.hpp"
#include "platform/ProgramPaths.hpp"

namespace {

using namespace velmorin;
using namespace velmorin::ctl;

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kNotRunning = 3;
constexpr int kFailed = 4;
constexpr int kReplyTimeoutMs = 60000;

struct Options {
  std::string programDirectory;
  bool json = false;
  bool help = false;
  bool version = false;
  bool passwordStdin = false;
  std::vector<std::string> words;
};

void PrintHelp(const std::vector<CommandHelp>& entries, bool all) {
  if (all) {
    std::cout << "Usage: velmorin-ctl [--program-dir DIR] [--json] COMMAND [ARGUMENTS]\n"
              << "\n"
              << "Administers the velmorin-server running in DIR (by default the directory of this\n"
              << "program) through its control socket, run/control.sock.\n"
              << "\n"
              << "  --program-dir DIR  the program directory of the server\n"
              << "  --json             print the server's answers as JSON lines, for scripts (numbers as\n"
              << "                     numbers, durations in seconds)\n"
              << "  --help             this text; after a command, that command's help\n"
              << "  --version          the version of velmorin-ctl\n"
              << "\n"
              << "Exit status: 0 done, 1 refused, 2 usage error, 3 not running, 4 protocol or I/O error.\n"
              << "\n"
              << "Commands:\n";
  }
  for (const CommandHelp& entry : entries) {
    std::cout << "  " << entry.words << (entry.usage[0] != '\0' ? " " : "") << entry.usage << "\n";
    std::string text = entry.text;
    std::size_t start = 0;
    while (start <= text.size()) {
      const std::size_t end = text.find('\n', start);
      std::cout << "      " << text.substr(start, end - start) << "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
}

// The options before the command, and --help, --json or --password-stdin anywhere after it.
std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--json") {
      options.json = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--password-stdin") {
      options.passwordStdin = true;
    } else if (argument == "--program-dir") {
      if (i + 1 >= argc) return std::nullopt;
      options.programDirectory = argv[++i];
    } else if (argument.rfind("--program-dir=", 0) == 0) {
      options.programDirectory = argument.substr(14);
    } else if (argument.rfind("--", 0) == 0) {
      std::cerr << "velmorin-ctl: unknown option " << argument << " (see --help)\n";
      return std::nullopt;
    } else {
      break;
    }
  }
  for (; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help") {
      options.help = true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--password-stdin") {
      options.passwordStdin = true;
    } else {
      options.words.push_back(argument);
    }
  }
  return options;
}

bool Is(const std::vector<std::string>& words, const char* first, const char* second) {
  return words.size() >= 2 && words[0] == first && words[1] == second;
}

// Whether "account edit" carries the flag --password as an option of its own, not as the value
// of --comment (the one option of it that takes a value), as the server splits the words.
bool AsksForPassword(const std::vector<std::string>& words) {
  for (std::size_t i = 2; i < words.size(); ++i) {
    if (words[i] == "--comment") {
      ++i;
    } else if (words[i] == "--password") {
      return true;
    }
  }
  return false;
}

// The password when the command needs one, else empty. False on failure (reported).
bool SecretInput(Options& options, std::string& input) {
  const bool add = Is(options.words, "account", "add");
  const bool edit = Is(options.words, "account", "edit");
  // Right after "edit", where no option can take it for its value.
  if (edit && options.passwordStdin && !AsksForPassword(options.words)) {
    options.words.insert(options.words.begin() + 2, "--password");
  }
  const bool needed = add || (edit && AsksForPassword(options.words));
  if (!needed) {
    if (options.passwordStdin) {
      std::cerr << "velmorin-ctl: --password-stdin is for account add and account edit\n";
      return false;
    }
    return true;
  }
  std::string error;
  const std::optional<std::string> password = ReadPassword(options.passwordStdin, &error);
  if (!password) {
    std::cerr << "velmorin-ctl: " << error << "\n";
    return false;
  }
  input = *password;
  return true;
}

// The server takes only absolute paths, since it runs in a directory of its own; a path given
// here is relative to the current directory.
void AbsolutePaths(std::vector<std::string>& words) {
  if (words.size() < 3 || words[0] != "welcome" || (words[1] != "import" && words[1] != "export")) return;
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(words[2], ignored);
  if (!absolute.empty()) words[2] = absolute.lexically_normal().string();
}

std::string Text(const JsonValue& reply, const char* name) {
  const JsonValue* value = reply.Find(name);
  return value != nullptr && value->kind() == JsonValue::Kind::String ? value->AsString() : std::string();
}

int ExitOf(const std::string& status) {
  if (status == "done") return kDone;
  if (status == "refused") return kRefused;
  if (status == "usage") return kUsage;
  return kFailed;
}

// Prints the reply and returns the exit status it stands for.
int ShowReply(const std::string& line, const std::optional<JsonValue>& reply, bool json) {
  if (!reply || reply->kind() != JsonValue::Kind::Object) {
    std::cerr << "velmorin-ctl: the server's answer is not understood: " << TerminalText(line, false) << "\n";
    return kFailed;
  }
  const std::string status = Text(*reply, "status");
  const int exit = ExitOf(status);
  if (json) {
    std::cout << line << std::endl;
    return exit;
  }
  const std::string message = TerminalText(Text(*reply, "message"), true);
  if (exit == kDone) {
    if (!message.empty()) std::cout << message << "\n";
  } else {
    const std::string notice = TerminalText(Text(*reply, "notice"), false);
    std::cerr << "velmorin-ctl: " << (message.empty() ? status : message);
    if (!notice.empty()) std::cerr << " (" << notice << ")";
    std::cerr << "\n";
  }
  RenderBody(*reply, std::cout);
  std::cout.flush();  // before a followed log, which may wait long for its first line
  return exit;
}

int FollowLog(ControlClient& client, bool json) {
  const bool colour = ::isatty(STDOUT_FILENO) == 1;
  for (;;) {
    const std::optional<std::string> line = client.ReadLine(-1);
    if (!line) return kDone;  // the server ended (or was stopped)
    if (json) {
      std::cout << *line << std::endl;
      continue;
    }
    const std::optional<JsonValue> value = ParseJson(*line);
    if (value) RenderLogLine(*value, colour, std::cout);
  }
}

// Connects and reads the greeting; kDone, or the exit status of the failure (reported).
int Connect(ControlClient& client) {
  switch (client.Connect(Paths().controlSocket)) {
    case ConnectResult::Connected: return kDone;
    case ConnectResult::NotRunning:
      std::cerr << "velmorin-ctl: no server runs in " << Paths().programDirectory << " (nothing listens on "
                << Paths().controlSocket << ")\n";
      return kNotRunning;
    case ConnectResult::Failed: break;
  }
  std::cerr << "velmorin-ctl: " << client.error() << "\n";
  return kFailed;
}

int Run(Options& options) {
  if (options.words.empty()) {
    std::cerr << "velmorin-ctl: no command given (see --help)\n";
    return kUsage;
  }
  AbsolutePaths(options.words);
  SetProgramDirectory(options.programDirectory.empty() ? ExecutableDirectory() : options.programDirectory);
  ControlClient client;
  if (const int exit = Connect(client); exit != kDone) return exit;
  // Asked only now, so nobody types a password for a server that does not run.
  std::string input;
  if (!SecretInput(options, input)) return kUsage;
  // Typing may take longer than the server waits for a request: the request goes out on a
  // fresh connection.
  if (!input.empty()) {
    if (const int exit = Connect(client); exit != kDone) return exit;
  }
  // Scripts get numbers as numbers and durations in seconds when the server speaks protocol 2;
  // the human output keeps the texts of protocol 1.
  const int version = options.json && client.Offers(2) ? 2 : 1;
  if (!client.SendRequest(options.words, input, version)) {
    std::cerr << "velmorin-ctl: " << client.error() << "\n";
    return kFailed;
  }
  const std::optional<std::string> line = client.ReadLine(kReplyTimeoutMs);
  if (!line) {
    std::cerr << "velmorin-ctl: " << client.error() << "\n";
    return kFailed;
  }
  const int exit = ShowReply(*line, ParseJson(*line), options.json);
  if (exit == kDone && Is(options.words, "log", "follow")) return FollowLog(client, options.json);
  return exit;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) return kUsage;
  if (options->version) {
    std::cout << "velmorin-ctl " << RunningVersion() << "\n";
    return kDone;
  }
  if (options->help) {
    PrintHelp(HelpFor(options->words), options->words.empty());
    return kDone;
  }
  return Run(*options);
}
