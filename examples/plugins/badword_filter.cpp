// Example general plugin: a bad-word filter, written with the C++ helper <velmorin/plugin.hpp>.
//
// What it does
//   At Initialise it reads <program directory>/config/badwords.txt: one word a line, lines
//   starting with '#' are comments, blank lines are ignored, CR LF and LF both work. Listed words
//   match without regard to letter case. Without the file the list is empty and every message
//   passes unchanged.
//
//   It subscribes to "NewMessage" and masks every whole word of a room message that is on the
//   list with asterisks of the same length: "Darn it!" becomes "**** it!", while "darned" stays
//   as it is. Everything else in the message is left alone.
//
//   An administrator can re-read the list without restarting the server with the server command
//   "badwords reload" (a client sends the command word "badwords" with the argument "reload").
//
// Building and installing: see "An example plugin" in docs/plugins.md. The helper header only
// needs C++17, so this file builds on its own with any C++17 compiler.

#include <velmorin/plugin.hpp>

#include <cstdint>
#include <fstream>
#include <string>
#include <unordered_set>
#include <utility>

namespace {

// Where the list lives, relative to the program directory; also shown to administrators.
const std::string kListFile = "config/badwords.txt";

// 0x00BBGGRR as decimal text, the colour format of the host command "AddLogLine".
const std::string kGreen = "32768";

// Letters, digits and every byte from 0x80 up make words; anything else (blanks, punctuation,
// the NUL between fields) separates them. Counting the bytes from 0x80 up as letters keeps
// accented words whole: "café" is one word, never "caf" followed by a separator.
bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         byte >= 0x80;
}

// Lower case for ASCII letters only. std::tolower would depend on the process's locale, which
// the plugin shares with the server and must not rely on.
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The line without surrounding blanks; this also drops the CR that ends lines of CR LF files.
std::string Trimmed(const std::string& line) {
  const char* const blanks = " \t\r\n";
  const std::size_t first = line.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

class BadWordFilter : public velmorin::plugin::Plugin {
 public:
  // Information members, read once when the server starts. PluginIdent is how the server and
  // other plugins know this plugin: keep it unique and never change it between releases.
  std::string PluginAuthor() const override { return "Velmorin Server examples"; }
  std::string PluginIdent() const override { return "badword-filter"; }
  std::string PluginName() const override { return "Bad-word filter"; }
  std::string PluginType() const override { return "general"; }  // the helper's default, written out
  std::string PluginVersion() const override { return "1.0.0"; }

  void Initialise(std::int32_t /*localeId*/, const std::string& programDirectory, const std::string& hostWord,
                  bool /*alwaysOnTop*/) override {
    // The settings dialog creates instances of its own (host word "settingsserver"); only the
    // running server's instance filters anything.
    if (hostWord != "server") return;
    listPath_ = programDirectory + kListFile;  // the directory ends in "/"
    host().Command("AddLogLine", kGreen, Load());
    // Subscriptions live in memory only: every run subscribes again here.
    host().Command("AddEventHandler", "NewMessage");
    host().Command("AddEventHandler", "ServerCommand");
  }

  // Every event arrives here. The answer is the return value; this plugin never changes the
  // parameters themselves.
  std::string Command(const std::string& word, std::string& first, std::string& second) override {
    // first: sender's nickname NUL room; second: the message. The answer replaces the message.
    if (word == "NewMessage") return Filtered(second);
    // first: command word NUL sender's nickname; second: the argument.
    if (word == "ServerCommand") return ServerCommand(first, second);
    return {};
  }

 private:
  // Reads the list and describes the result for the log. A missing or unreadable file gives an
  // empty list: the plugin then lets everything through rather than failing.
  std::string Load() {
    std::unordered_set<std::string> words;
    std::ifstream file(listPath_);
    const bool found = file.is_open();
    std::string line;
    bool firstLine = true;
    while (std::getline(file, line)) {
      // Editors on some systems start UTF-8 files with a byte order mark; it is not part of the
      // first word.
      if (firstLine && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
      firstLine = false;
      const std::string word = Lower(Trimmed(line));
      if (word.empty() || word.front() == '#') continue;
      words.insert(word);  // an entry with blanks or punctuation in it never matches a word
    }
    words_ = std::move(words);  // replace the old list only once the new one is complete
    if (!found) return "Bad-word filter: no " + kListFile + ", messages pass unchanged";
    return "Bad-word filter: " + std::to_string(words_.size()) + " word(s) from " + kListFile;
  }

  // The message payload is kind NUL recipients NUL text. Only the text is filtered: the kind and
  // the recipients' nicknames are left exactly as they are. The server shows the third field as
  // the text; everything after the second NUL is filtered, so extra fields a client might append
  // cannot carry a word past the filter.
  //
  // The result has the length of the message and is never empty for a message that is not:
  // an empty answer would drop the message. When nothing matches it is the message itself.
  std::string Filtered(const std::string& message) const {
    if (words_.empty()) return message;
    const std::size_t kindEnd = message.find('\0');
    if (kindEnd == std::string::npos) return message;
    const std::size_t recipientsEnd = message.find('\0', kindEnd + 1);
    if (recipientsEnd == std::string::npos) return message;

    std::string result = message;
    std::size_t position = recipientsEnd + 1;
    while (position < result.size()) {
      if (!IsWordByte(result[position])) {
        ++position;
        continue;
      }
      std::size_t end = position;
      while (end < result.size() && IsWordByte(result[end])) ++end;
      const std::size_t length = end - position;
      if (words_.count(Lower(result.substr(position, length))) != 0) result.replace(position, length, length, '*');
      position = end;
    }
    return result;
  }

  // "badwords reload" from an administrator re-reads the list and tells the sender the result.
  // The answer "done" tells the server the command was handled; an empty answer leaves it to
  // other plugins, and when nobody handles it the sender hears that the command is unknown.
  std::string ServerCommand(const std::string& commandAndNickname, const std::string& argument) {
    const std::size_t split = commandAndNickname.find('\0');
    if (split == std::string::npos) return {};
    const std::string command = commandAndNickname.substr(0, split);
    const std::string nickname = commandAndNickname.substr(split + 1);
    if (Lower(command) != "badwords" || Lower(Trimmed(argument)) != "reload") return {};  // not ours
    // Any user can send any command word; ask the server whether this one is an administrator.
    // Others get the same reply as for an unknown command.
    if (host().Command("GetUserInfo", nickname, "admin") != "1") return {};

    const std::string result = Load();
    host().Command("AddLogLine", kGreen, result);
    host().Command("SendMessage", nickname, result);
    return "done";
  }

  std::string listPath_;
  std::unordered_set<std::string> words_;  // lower case
};

}  // namespace

// Exports the class as this library's plugin: the entry point and the registration functions.
VELMORIN_PLUGIN(BadWordFilter)
