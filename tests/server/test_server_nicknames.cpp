// Nicknames and room names holding control characters, against the running server: the account
// and ban checks, and the room lookups, see the name that other users see.

#include <gtest/gtest.h>

#include "codec/Base64.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::F;
using testing::kWait;
using testing::Request;
using testing::ServerHarness;

TEST(ServerNicknames, ControlCharactersAreRemovedBeforeTheAccountAndBanChecks) {
  ServerHarness server;
  server.dir().write("config/users.cfg", "[Keeper]\r\nActive=1\r\nPassword=" + Base64Encode("s3cret") + "\r\n");
  server.dir().write("config/ban.cfg", "[Nick]\r\n0=BadGuy\r\n");
  ASSERT_TRUE(server.Start());
  const struct {
    std::string nickname;
    const char* password;
    const char* status;
    const char* accepted;  // the nickname in the reply
  } cases[] = {
      // Variants of an account holder's name are that account: the password is asked for.
      {"Keeper\x0b", "", "denied", ""},
      {"\x07Keeper", "", "denied", ""},
      {"Kee\x7fper", "", "denied", ""},
      {"@\x01@Keeper\x1b", "wrong", "denied", ""},
      // An exact nickname ban holds whatever is hidden in the name.
      {"BadGuy\x0b", "", "denied", ""},
      {"\tBad\rGuy\n", "", "denied", ""},
      // Fields of the user list cannot be smuggled in.
      {"Eve\x01" "1\x01" "1", "", "ok", "Eve11"},
      {"Keeper\x0b", "s3cret", "ok", "Keeper"},
  };
  for (const auto& c : cases) {
    auto client = server.Connect();
    ASSERT_TRUE(client.ReceiveWelcome(kWait));
    const auto reply = client.Login(c.nickname, c.password, 0, "test", kWait);
    ASSERT_TRUE(reply) << client.LastErrorText();
    EXPECT_EQ(reply->status, c.status) << c.nickname;
    EXPECT_EQ(reply->nickname, c.accepted) << c.nickname;
    if (!reply->Accepted()) {
      EXPECT_TRUE(client.WaitForClose(kWait)) << c.nickname;
    }
  }
  EXPECT_TRUE(server.WaitForLog("msgErrorDenied", {{"%name", "BadGuy"}}));
}

TEST(ServerNicknames, RoomNamesLoseTheirControlCharactersToo) {
  ServerHarness server;
  server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=\r\n");
  ASSERT_TRUE(server.Start());
  auto ann = server.LoggedIn("Ann");
  EXPECT_EQ(Request(ann, "joinChatroom", F({"Lob\x0b" "by\n", ""}), "acceptChatroom"), F({"Lobby", "ok"}));
  EXPECT_EQ(Request(ann, "createChatroom", F({"Gar\x1b[2Jden\r", "", "", ""}), "acceptChatroom"),
            F({"Gar[2Jden", "ok"}));
  EXPECT_EQ(Request(ann, "joinChatroom", F({"\x7fGar[2Jden", ""}), "acceptChatroom"), F({"Gar[2Jden", "alreadyjoined"}));
}

}  // namespace
}  // namespace velmorin
