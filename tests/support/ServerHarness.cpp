#include "support/ServerHarness.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "codec/WireFormat.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/LingeringSockets.hpp"

namespace velmorin::testing {
namespace {

const std::string kLanguageSource = std::string(VELMORIN_SOURCE_DIR) + "/language/";

// Held by the running harness: the loop and the settings are the process's.
std::mutex& LoopTurn() {
  static std::mutex turn;
  return turn;
}

std::string RegexEscaped(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

}  // namespace


void CopyLanguageFiles(const std::string& directory) {
  std::filesystem::create_directories(directory);
  for (const auto& entry : std::filesystem::directory_iterator(kLanguageSource)) {
    if (entry.path().extension() == ".lng") {
      std::filesystem::copy_file(entry.path(), std::filesystem::path(directory) / entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
}

void RecordingFrontEnd::AppendLogLine(const std::string& line, long color) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({line, color});
  }
  changed_.notify_all();
}

void RecordingFrontEnd::ShowStatus(long icon, const std::string& statusLine, const std::string&) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = {icon, statusLine};
}

bool RecordingFrontEnd::AskYesNo(const std::string& question, const std::string&, bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  questions_.push_back(question);
  return answer_;
}

std::vector<RecordingFrontEnd::LogLine> RecordingFrontEnd::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<std::string> RecordingFrontEnd::Lines() const {
  std::vector<std::string> texts;
  for (const LogLine& line : Log()) texts.push_back(line.text);
  return texts;
}

bool RecordingFrontEnd::WaitForLine(const std::function<bool(const std::string&)>& test,
                                    std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    for (const LogLine& line : lines_) {
      if (test(line.text)) return true;
    }
    return false;
  });
}

RecordingFrontEnd::Status RecordingFrontEnd::LastStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

std::vector<std::string> RecordingFrontEnd::Questions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return questions_;
}

ServerHarness::ServerHarness() : port_(FreeLoopbackPort()) {
  CopyLanguageFiles(dir_.path("language"));
  settings_ = SettingsText::Sections{
      {"Info", {{"Language", "English.lng"}}},
      {"Start", {{"ShowSplashScreen", "0"}}},
      {"General",
       {{"Port", "1000"},
        {"AdministratorName", "Ada Admin"},
        {"AdministratorEMail", "ada@example.org"},
        {"MaxTextLength", "300"},
        {"MaxUserCount", "256"},
        // The ping cycle is switched on by the tests about pings; others keep idle clients.
        {"PingDelay", "600000"},
        {"PingTimeout", "200"},
        {"AllowGuests", "1"}}},
      {"Log", {{"Pattern", "%message"}, {"ClearLogAtStart", "0"}, {"ClearLogAtSize", "0"}}},
      {"Logging", {{"Enabled", "0"}}},
  };
}

ServerHarness::~ServerHarness() {
  Stop();
  server_.reset();
}

void ServerHarness::Set(const std::string& section, const std::string& key, const std::string& value) {
  settings_.Set(section, key, value);
}

bool ServerHarness::Start() {
  dir_.write("config/server.cfg", settings_.Text());

  loopTurn_ = std::unique_lock<std::mutex>(LoopTurn());
  std::promise<bool> started;
  std::future<bool> online = started.get_future();
  thread_ = std::thread([this, &started] { Run(started); });
  running_ = online.get();
  if (!running_) {
    thread_.join();
    loopTurn_ = {};
  }
  return running_;
}

void ServerHarness::Run(std::promise<bool>& started) {
  LoadSettings();
  ServerSettings.General.ActivePort = port_;
  // The source file, not the copy: the process keeps the first file it is given.
  CurrentLanguage().SetLanguage("modMain", kLanguageSource + "English.lng");
  server_ = std::make_unique<ChatServer>(frontEnd_);
  server_->Load();
  const bool online = server_->IsOnline();
  if (!online) server_->Unload();
  started.set_value(online);
  if (!online) return;
  MainLoop().Run();  // until Stop posts Unload and Stop
  // Closed connections finish their graceful close before the loop changes hands.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (LingeringSocketCount() > 0 && std::chrono::steady_clock::now() < deadline) MainLoop().RunOnce(20);
}

void ServerHarness::Stop() {
  if (!running_) return;
  MainLoop().Post([server = server_.get()] {
    server->Unload();
    MainLoop().Stop();
  });
  thread_.join();
  running_ = false;
  loopTurn_ = {};
}

void ServerHarness::Sync() {
  // The pass that runs the first task has seen every socket that was ready when it was posted;
  // the second task runs after whatever that pass started.
  Call([](ChatServer&) {});
  Call([](ChatServer&) {});
}

std::string ServerHarness::Text(const std::string& key) {
  return Call([key](ChatServer& server) { return server.Language().Data(key); });
}

std::function<bool(const std::string&)> ServerHarness::Matcher(const std::string& key, const Placeholders& given) {
  const std::string text = Text(key);
  if (text.empty()) throw std::runtime_error("no language text " + key);
  static const std::regex placeholder("%[A-Za-z]+");
  std::string pattern;
  std::size_t position = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder); it != std::sregex_iterator(); ++it) {
    pattern += RegexEscaped(text.substr(position, static_cast<std::size_t>(it->position()) - position));
    std::string value = ".*";
    for (const auto& [name, replacement] : given) {
      if (name == it->str()) value = RegexEscaped(replacement);
    }
    pattern += value;
    position = static_cast<std::size_t>(it->position() + it->length());
  }
  pattern += RegexEscaped(text.substr(position));
  const std::regex line(pattern);
  return [line](const std::string& candidate) { return std::regex_match(candidate, line); };
}

bool ServerHarness::WaitForLog(const std::string& key, const Placeholders& given, std::chrono::milliseconds timeout) {
  return frontEnd_.WaitForLine(Matcher(key, given), timeout);
}

int ServerHarness::CountLog(const std::string& key, const Placeholders& given) {
  const auto matches = Matcher(key, given);
  int count = 0;
  for (const std::string& line : LogLines()) count += matches(line) ? 1 : 0;
  return count;
}

client::ChatClient ServerHarness::Connect() {
  client::ChatClient client;
  client.Connect("127.0.0.1", port_, kWait);
  return client;
}

client::ChatClient ServerHarness::LoggedIn(const std::string& nickname, const std::string& password) {
  client::ChatClient client = Connect();
  if (!client.ReceiveWelcome(kWait)) {
    ADD_FAILURE() << nickname << ": no welcome (" << client.LastErrorText() << ")";
    return client;
  }
  const auto reply = client.Login(nickname, password, 255, "test 1.0", kWait);
  if (!reply || !reply->Accepted()) {
    ADD_FAILURE() << nickname << ": not accepted (" << (reply ? reply->status : client.LastErrorText()) << ")";
  }
  return client;
}

std::string LoginPayload(const std::string& nickname, const std::string& proof, const std::string& protocol) {
  return nickname + kFieldSeparator + proof + kFieldSeparator + "255" + kFieldSeparator + "test 1.0" + kFieldSeparator +
         protocol;
}

}  // namespace velmorin::testing
