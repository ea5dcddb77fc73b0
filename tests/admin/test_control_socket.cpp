// The control socket with the control server on a loop of the test's own: where and with which
// modes it listens, how it answers good and bad requests, and the bounds that keep a misbehaving
// client from costing the server more than a few buffers. Commands come from a registry the
// test fills.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "admin/ControlServer.hpp"
#include "admin/ControlTestClient.hpp"
#include "platform/InstanceLock.hpp"
#include "platform/Json.hpp"

namespace velmorin {
namespace {

using testing::ControlTestClient;

JsonValue Parsed(const std::optional<std::string>& line) {
  EXPECT_TRUE(line.has_value());
  if (!line) return {};
  auto value = ParseJson(*line);
  EXPECT_TRUE(value.has_value()) << *line;
  return value ? *value : JsonValue();
}

std::string StatusOf(const std::optional<std::string>& line) {
  const JsonValue value = Parsed(line);
  const JsonValue* status = value.Find("status");
  return status != nullptr ? status->AsString() : std::string();
}

mode_t ModeOf(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class ControlSocketTest : public ::testing::Test {
 protected:
  ControlSocketTest() {
    std::string pattern = "/tmp/velmorin-ctl-XXXXXX";
    root_ = ::mkdtemp(pattern.data()) != nullptr ? pattern + "/" : "";
    run_ = root_ + "run/";
    path_ = run_ + "control.sock";
    registry_.Add("echo", [](const ControlRequest& request) {
      ControlReply reply = ControlReply::From(AdminResult::Done("echoed"));
      reply.fields = {{"words", std::to_string(request.words.size())}, {"input", request.input}, {"a", "1"}};
      reply.table.columns = {"word"};
      for (const std::string& word : request.words) reply.table.rows.push_back({word});
      return reply;
    });
    registry_.Add("figures", [](const ControlRequest&) {
      ControlReply reply;
      reply.fields = {{"users", "3"}, {"uptime", "0, 00:01:33"}, {"port", "-"}, {"name", "7"}};
      reply.numbers = {{"users", 3}, {"uptime", 93}, {"port", std::nullopt}};
      reply.table.columns = {"id", "name"};
      reply.table.numericColumns = {0};
      reply.table.rows = {{"12", "42"}};
      return reply;
    });
    registry_.Add("refuse", [](const ControlRequest&) {
      return ControlReply::From(AdminResult::Refused("noticePersonDoesNotExist", "no such person"));
    });
    registry_.Add("big", [](const ControlRequest&) {
      return ControlReply::From(AdminResult::Done(std::string(16 * 1024, 'b')));
    });
    registry_.Add("fault", [](const ControlRequest&) -> ControlReply { throw std::runtime_error("broken handler"); });
  }
  ~ControlSocketTest() override {
    server_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  void Open(ControlSocket::Limits limits = {.maxRequestLine = 1024, .maxUnsentOutput = 256 * 1024, .maxConnections = 3}) {
    ASSERT_EQ(MakePrivateDirectory(run_), 0);
    server_ = std::make_unique<ControlServer>(loop_, registry_, feed_, "9.8.7", limits);
    ASSERT_EQ(server_->Open(path_), 0);
  }

  // A connected client past the greeting.
  std::unique_ptr<ControlTestClient> Client() {
    auto client = std::make_unique<ControlTestClient>(path_, &loop_);
    EXPECT_TRUE(client->connected());
    const JsonValue greeting = Parsed(client->ReadLine());
    EXPECT_EQ(WriteJson(greeting), R"({"velmorin-control":1,"version":"9.8.7","protocols":[1,2]})");
    return client;
  }

  std::string root_, run_, path_;
  EventLoop loop_;
  LogFeed feed_;
  ControlRegistry registry_;
  std::unique_ptr<ControlServer> server_;
};

TEST_F(ControlSocketTest, ListensPrivatelyReplacesAStaleSocketAndRemovesItsOwnAtClose) {
  ASSERT_EQ(MakePrivateDirectory(run_), 0);
  // What a killed server leaves: a socket file nobody listens on.
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  ::chmod(run_.c_str(), 0755);

  Open();
  EXPECT_EQ(ModeOf(run_), 0700u);
  EXPECT_EQ(ModeOf(path_), 0600u);
  auto client = Client();
  ASSERT_TRUE(client->Request(R"(["echo"])"));
  EXPECT_EQ(StatusOf(client->ReadLine()), "done");

  server_->Close();
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_TRUE(client->WaitForEnd());
}

TEST_F(ControlSocketTest, SomethingElseAtThePathIsLeftAloneAndRefused) {
  ASSERT_EQ(MakePrivateDirectory(run_), 0);
  std::ofstream(path_) << "not a socket";
  ControlServer server(loop_, registry_, feed_, "1");
  EXPECT_EQ(server.Open(path_), EEXIST);
  EXPECT_TRUE(std::filesystem::is_regular_file(path_));

  // A link, even to a socket, is not followed, and another user's socket is not replaced.
  const std::string elsewhere = root_ + "/elsewhere.sock";
  const int other = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, elsewhere.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(other);
  std::filesystem::remove(path_);
  std::filesystem::create_symlink(elsewhere, path_);
  EXPECT_EQ(server.Open(path_), EEXIST);
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_TRUE(std::filesystem::is_socket(elsewhere));
  if (::geteuid() == 0) {
    std::filesystem::remove(path_);
    std::filesystem::rename(elsewhere, path_);
    ASSERT_EQ(::lchown(path_.c_str(), 65534, 65534), 0);
    EXPECT_EQ(server.Open(path_), EPERM);
    EXPECT_TRUE(std::filesystem::is_socket(path_));
  }
}

// Protocol 2 writes what the handler marks as numbers as JSON numbers (durations in seconds,
// null for none); protocol 1 is answered as before, every value its text.
TEST_F(ControlSocketTest, ProtocolTwoAnswersNumbersAsNumbersAndOneStillTexts) {
  Open();
  auto client = Client();
  ASSERT_TRUE(client->SendAll("{\"v\":1,\"words\":[\"figures\"]}\n"));
  EXPECT_EQ(WriteJson(Parsed(client->ReadLine())),
            R"({"status":"done","notice":"","message":"","fields":{"users":"3","uptime":"0, 00:01:33","port":"-",)"
            R"("name":"7"},"table":{"columns":["id","name"],"rows":[["12","42"]]}})");
  ASSERT_TRUE(client->SendAll("{\"v\":2,\"words\":[\"figures\"]}\n"));
  EXPECT_EQ(WriteJson(Parsed(client->ReadLine())),
            R"({"status":"done","notice":"","message":"","fields":{"users":3,"uptime":93,"port":null,)"
            R"("name":"7"},"table":{"columns":["id","name"],"rows":[[12,"42"]]}})");
}

TEST_F(ControlSocketTest, AnswersEveryRequestLineAndAMalformedOneLeavesTheConnectionUsable) {
  Open();
  auto client = Client();
  const std::string malformed[] = {
      "",
      "not json",
      "[1,2]",
      "{\"words\":[\"echo\"]}",
      "{\"v\":3,\"words\":[\"echo\"]}",
      "{\"v\":\"1\",\"words\":[\"echo\"]}",
      "{\"v\":1}",
      "{\"v\":1,\"words\":\"echo\"}",
      "{\"v\":1,\"words\":[\"echo\",3]}",
      "{\"v\":1,\"words\":[\"echo\"],\"input\":5}",
      "{\"v\":1,\"words\":[\"\\ud800\"]}",
      "{\"v\":1,\"words\":[\"echo\",\"a\\u0000b\"]}",
      "{\"v\":1,\"words\":[\"echo\"],\"input\":\"\\u0000\"}",
      std::string("{\"v\":1,\"words\":[\"a\0b\"]}", 24),
      std::string(40, '[') + std::string(40, ']'),
  };
  for (const std::string& line : malformed) {
    ASSERT_TRUE(client->SendAll(line + "\n"));
    const JsonValue reply = Parsed(client->ReadLine());
    EXPECT_EQ(reply.Find("status")->AsString(), "error") << line;
    EXPECT_FALSE(reply.Find("message")->AsString().empty()) << line;
  }

  ASSERT_TRUE(client->Request(R"(["echo","b\u00e9","x y"])", R"(,"input":"s\u00e9cret")"));
  const JsonValue echo = Parsed(client->ReadLine());
  // Texts cross as UTF-8 and reach the handler in the server's code page, and back.
  EXPECT_EQ(WriteJson(echo),
            R"({"status":"done","notice":"","message":"echoed","fields":{"words":"2","input":"s)"
            "\xC3\xA9"
            R"(cret","a":"1"},"table":{"columns":["word"],"rows":[["b)"
            "\xC3\xA9"
            R"("],["x y"]]}})");

  const struct {
    const char* words;
    const char* status;
  } replies[] = {
      {R"(["refuse"])", "refused"}, {R"(["nosuch"])", "usage"}, {R"([])", "usage"},
      {R"(["fault"])", "error"},    {R"(["log"])", "usage"},    {R"(["log","follow","x"])", "usage"},
  };
  for (const auto& one : replies) {
    ASSERT_TRUE(client->Request(one.words));
    EXPECT_EQ(StatusOf(client->ReadLine()), one.status) << one.words;
  }
  // Several requests in one write are answered in order; a CR before the line break is allowed.
  ASSERT_TRUE(client->SendAll("{\"v\":1,\"words\":[\"refuse\"]}\r\n{\"v\":1,\"words\":[\"echo\"]}\n"));
  EXPECT_EQ(StatusOf(client->ReadLine()), "refused");
  EXPECT_EQ(StatusOf(client->ReadLine()), "done");
}

TEST_F(ControlSocketTest, AnOversizedRequestIsAnsweredAndTheConnectionClosed) {
  Open();
  for (const bool withBreak : {false, true}) {
    auto client = Client();
    ASSERT_TRUE(client->SendAll(std::string(5000, 'x') + (withBreak ? "\n" : "")));
    const JsonValue reply = Parsed(client->ReadLine());
    EXPECT_EQ(reply.Find("status")->AsString(), "error");
    EXPECT_NE(reply.Find("message")->AsString().find("too long"), std::string::npos);
    EXPECT_TRUE(client->WaitForEnd());
  }
  EXPECT_EQ(server_->ConnectionCount(), 0u);
}

TEST_F(ControlSocketTest, AClientThatNeverReadsIsDroppedWhileAnotherIsServed) {
  Open();
  auto hog = Client();
  auto other = Client();
  const std::string request = "{\"v\":1,\"words\":[\"big\"]}\n";
  bool dropped = false;
  int answered = 0;
  // Bounded: 256 KiB of unsent answers plus the kernel's buffers are far less than 4000 answers.
  for (int round = 0; round < 4000 && !dropped; ++round) {
    hog->SendSome(request);
    loop_.RunOnce(0);
    if (round % 50 == 0) {
      ASSERT_TRUE(other->Request(R"(["echo"])"));
      ASSERT_EQ(StatusOf(other->ReadLine()), "done") << round;
      ++answered;
    }
    dropped = server_->ConnectionCount() == 1;
  }
  EXPECT_TRUE(dropped);
  EXPECT_GT(answered, 0);
  EXPECT_TRUE(hog->WaitForEnd());
  ASSERT_TRUE(other->Request(R"(["echo"])"));
  EXPECT_EQ(StatusOf(other->ReadLine()), "done");
}

TEST_F(ControlSocketTest, ConnectionsPastTheCapAreToldSoAndClosed) {
  Open();
  auto first = Client();
  auto second = Client();
  auto third = Client();
  ControlTestClient fourth(path_, &loop_);
  const JsonValue busy = Parsed(fourth.ReadLine());
  EXPECT_EQ(busy.Find("status")->AsString(), "error");
  EXPECT_TRUE(fourth.WaitForEnd());
  third.reset();
  ASSERT_TRUE(first->Until([&] { return server_->ConnectionCount() == 2; }, std::chrono::seconds(5)));
  auto again = Client();
  ASSERT_TRUE(again->Request(R"(["echo"])"));
  EXPECT_EQ(StatusOf(again->ReadLine()), "done");
}

TEST_F(ControlSocketTest, AFollowerGetsLogLinesWithTypeAndColourAndIsToldWhatItMissed) {
  Open({.maxRequestLine = 1024, .maxUnsentOutput = 64 * 1024, .maxConnections = 3});
  auto follower = Client();
  ASSERT_TRUE(follower->Request(R"(["log","follow"])"));
  EXPECT_EQ(StatusOf(follower->ReadLine()), "done");
  EXPECT_FALSE(feed_.Empty());

  feed_.Publish(LogMessageType::Connected, 0x0080FF, "caf\xE9 \\x1B");
  feed_.Publish(std::nullopt, 0, "plugin line");
  EXPECT_EQ(follower->ReadLine().value_or(""),
            "{\"type\":\"Connected\",\"color\":\"#FF8000\",\"text\":\"caf\xC3\xA9 \\\\x1B\"}");
  EXPECT_EQ(follower->ReadLine().value_or(""), R"({"type":"","color":"#000000","text":"plugin line"})");
  // What a follower sends is not taken for requests.
  ASSERT_TRUE(follower->Request(R"(["echo"])"));

  // Far more than the follower's bound, published without the loop running: lines are left
  // out, and the next line that fits says how many.
  const std::string text(200, 'l');
  for (int i = 0; i < 2000; ++i) feed_.Publish(LogMessageType::ErrorRaised, 255, text);
  follower->Until([] { return false; }, std::chrono::milliseconds(100));
  feed_.Publish(LogMessageType::ServerStopped, 255, "last");
  std::size_t received = 0;
  double dropped = 0;
  for (;;) {
    const auto line = follower->ReadLine(std::chrono::seconds(2));
    ASSERT_TRUE(line);
    const JsonValue value = Parsed(line);
    if (value.Find("dropped") != nullptr) dropped = value.Find("dropped")->AsNumber();
    if (value.Find("text")->AsString() == "last") break;
    ASSERT_NE(value.Find("type")->AsString(), "");
    if (value.Find("type")->AsString() == "ErrorRaised") ++received;
  }
  EXPECT_GT(dropped, 0);
  EXPECT_EQ(received + static_cast<std::size_t>(dropped), 2000u);
  EXPECT_EQ(server_->ConnectionCount(), 1u);

  follower->Close();
  ASSERT_TRUE(ControlTestClient(path_, &loop_).Until([&] { return feed_.Empty(); }, std::chrono::seconds(5)));
}

// "--lines N" gives the last N lines written before the follow, then the live ones; the backlog
// keeps the last LogBacklog::kMaxLines lines however many were written.
TEST_F(ControlSocketTest, AFollowerAsksForTheLastLinesOfABoundedBacklog) {
  Open({.maxRequestLine = 1024, .maxUnsentOutput = 256 * 1024, .maxConnections = 6});
  for (int i = 1; i <= 3000; ++i) feed_.Publish(LogMessageType::Connected, 0, "line " + std::to_string(i));
  EXPECT_EQ(feed_.Backlog().size(), LogBacklog::kMaxLines);

  const auto texts = [&](ControlTestClient& client, std::size_t count) {
    std::vector<std::string> lines;
    while (lines.size() < count) {
      const auto line = client.ReadLine(std::chrono::seconds(2));
      if (!line) break;
      lines.push_back(Parsed(line).Find("text")->AsString());
    }
    return lines;
  };
  auto three = Client();
  ASSERT_TRUE(three->Request(R"(["log","follow","--lines","3"])"));
  EXPECT_EQ(StatusOf(three->ReadLine()), "done");
  feed_.Publish(std::nullopt, 0, "live");
  EXPECT_EQ(texts(*three, 4), (std::vector<std::string>{"line 2998", "line 2999", "line 3000", "live"}));

  auto all = Client();
  ASSERT_TRUE(all->Request(R"(["log","follow","--lines","999999999"])"));
  EXPECT_EQ(StatusOf(all->ReadLine()), "done");
  const std::vector<std::string> kept = texts(*all, LogBacklog::kMaxLines);
  ASSERT_EQ(kept.size(), LogBacklog::kMaxLines);
  EXPECT_EQ(kept.front(), "line 2002");
  EXPECT_EQ(kept.back(), "live");

  auto wrong = Client();
  for (const char* request : {R"(["log","follow","--lines"])", R"(["log","follow","--lines","-1"])",
                              R"(["log","follow","--lines","1e3"])", R"(["log","follow","--lines","9999999999"])"}) {
    ASSERT_TRUE(wrong->Request(request));
    EXPECT_EQ(StatusOf(wrong->ReadLine()), "usage") << request;
  }
}

TEST_F(ControlSocketTest, SilentConnectionsAreToldAndClosedWhileFollowersKeepTheirSlots) {
  Open({.maxRequestLine = 1024, .maxUnsentOutput = 64 * 1024, .maxConnections = 4,
        .requestTimeout = std::chrono::milliseconds(300)});
  auto silent = Client();
  auto talker = Client();
  auto follower = Client();
  ASSERT_TRUE(follower->Request(R"(["log","follow"])"));
  EXPECT_EQ(StatusOf(follower->ReadLine()), "done");
  // Half of the slots may follow; the rest stay for requests.
  auto second = Client();
  ASSERT_TRUE(second->Request(R"(["log","follow"])"));
  EXPECT_EQ(StatusOf(second->ReadLine()), "done");
  ASSERT_TRUE(talker->Request(R"(["log","follow"])"));
  const JsonValue refused = Parsed(talker->ReadLine());
  EXPECT_EQ(refused.Find("status")->AsString(), "refused");
  EXPECT_EQ(refused.Find("notice")->AsString(), "tooManyFollowers");

  // The talker keeps asking within the time-out; the silent one never does.
  for (int i = 0; i < 4; ++i) {
    talker->Until([] { return false; }, std::chrono::milliseconds(150));
    ASSERT_TRUE(talker->Request(R"(["echo"])"));
    ASSERT_EQ(StatusOf(talker->ReadLine()), "done");
  }
  const JsonValue timedOut = Parsed(silent->ReadLine());
  EXPECT_EQ(timedOut.Find("status")->AsString(), "error");
  EXPECT_NE(timedOut.Find("message")->AsString().find("no request within"), std::string::npos);
  EXPECT_TRUE(silent->WaitForEnd());
  EXPECT_EQ(server_->ConnectionCount(), 3u);

  // Followers that read go on getting lines long after the request time-out.
  feed_.Publish(LogMessageType::Connected, 0, "still followed");
  EXPECT_NE(follower->ReadLine().value_or("").find("still followed"), std::string::npos);
  EXPECT_NE(second->ReadLine().value_or("").find("still followed"), std::string::npos);
}

TEST_F(ControlSocketTest, AFollowerThatStopsReadingLosesItsSlotAfterTheStalledOutputTimeout) {
  Open({.maxRequestLine = 1024, .maxUnsentOutput = 64 * 1024, .maxConnections = 4,
        .requestTimeout = std::chrono::milliseconds(200), .stalledOutputTimeout = std::chrono::milliseconds(400)});
  auto stopped = Client();
  auto reader = Client();
  for (auto* client : {stopped.get(), reader.get()}) {
    ASSERT_TRUE(client->Request(R"(["log","follow"])"));
    ASSERT_EQ(StatusOf(client->ReadLine()), "done");
  }
  // Far more than the system's socket buffer holds, a little at a time; the reader takes every
  // line, the stopped one none.
  const std::string text(1000, 'l');
  std::size_t read = 0;
  const bool closed = reader->Until(
      [&] {
        for (int i = 0; i < 20; ++i) feed_.Publish(LogMessageType::ErrorRaised, 255, text);
        while (reader->ReadLine(std::chrono::milliseconds(0))) ++read;
        return server_->ConnectionCount() == 1;
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(closed) << "connections " << server_->ConnectionCount();
  EXPECT_TRUE(stopped->WaitForEnd(std::chrono::seconds(10)));
  EXPECT_GT(read, 1000u);
  feed_.Publish(LogMessageType::Connected, 0, "reader stays");
  std::optional<std::string> line;
  while ((line = reader->ReadLine()) && line->find("reader stays") == std::string::npos) {
  }
  EXPECT_TRUE(line.has_value());
}

}  // namespace
}  // namespace velmorin
