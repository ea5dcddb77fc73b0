// Chatting and moving between chatrooms, end to end: several real clients against the running
// server. Each check reads everything a client got, so a missing, doubled or stray packet shows.

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "client/PacketDecoder.hpp"
#include "codec/Base64.hpp"
#include "codec/FieldCipher.hpp"
#include "codec/PacketWriter.hpp"
#include "codec/Sha256.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::kWait;
using testing::ServerHarness;
using testing::Cols;
using testing::F;
using testing::P;
using testing::Seen;

// Lobby and Garden are open, Vault has the password "k3y"; all three come from the file.
class ChatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n"
                                               "[Garden]\r\nDescription=Green\r\nPassword=\r\n"
                                               "[Vault]\r\nDescription=Locked\r\nPassword=" +
                                                   Base64Encode("k3y") + "\r\n");
  }

  // Logged in (colour 255) and, unless `room` is empty, inside that room.
  ChatClient User(const std::string& nickname, const std::string& room = "") {
    ChatClient user = server.LoggedIn(nickname);
    if (!room.empty()) Enter(user, room);
    return user;
  }
  void Enter(ChatClient& user, const std::string& room, const std::string& proof = "") {
    EXPECT_EQ(testing::Join(user, room, proof), F({room, "ok"}));
  }
  // Sends a request and returns the payload of the first `reply` packet; other packets stay
  // queued for Arrived.
  std::string Ask(ChatClient& user, const std::string& command, const std::string& payload, const std::string& reply) {
    return testing::Request(user, command, payload, reply);
  }
  std::string Chatroomlist(ChatClient& user) { return Ask(user, "getChatroomlist", "", "chatroomlist"); }
  std::string Userlist(ChatClient& user, const std::string& room) { return Ask(user, "getUserlist", room, "userlist"); }

  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }
  // Reads away the join notices of a test's set-up.
  void Settle(std::initializer_list<ChatClient*> users) {
    for (ChatClient* user : users) Arrived(*user);
  }

  ServerHarness server;
};

using ChatRoomMessages = ChatTest;
using ChatColor = ChatTest;
using ChatClientState = ChatTest;
using ChatJoin = ChatTest;
using ChatCreate = ChatTest;
using ChatLists = ChatTest;
using ChatQuit = ChatTest;

TEST_F(ChatRoomMessages, AnUnaddressedRoomMessageReachesEachMemberOnceAndNobodyElse) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Garden");
  auto dan = User("Dan");
  Settle({&ann, &ben, &cat, &dan});

  for (const char* kind : {"normal", "me", "shout"}) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(ann.Send("message", F({kind, "", "hello all"})));
    const Seen once = {P("message", F({kind, "Ann", "255", "hello all"}))};
    EXPECT_EQ(Arrived(ann), once);
    EXPECT_EQ(Arrived(ben), once);
  }
  // Dropped: a kind that is no room message, and a room message from a user in no room.
  ASSERT_TRUE(ann.Send("message", F({"whisper", "", "psst"})));
  ASSERT_TRUE(dan.Send("message", F({"normal", "", "anyone?"})));
  for (ChatClient* user : {&ann, &ben, &cat, &dan}) EXPECT_EQ(Arrived(*user), Seen{});
}

TEST_F(ChatRoomMessages, RecipientListsReachListedMembersOfTheSendersRoomOnceAndTheSender) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto eve = User("Eve", "Lobby");
  auto cat = User("Cat", "Garden");
  Settle({&ann, &ben, &eve, &cat});

  // A user of another room is left out, so only the sender remains.
  ASSERT_TRUE(ann.Send("message", F({"me", "Cat", "waves"})));
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"me", "Ann", "255", "waves"}))});
  for (ChatClient* user : {&ben, &eve, &cat}) EXPECT_EQ(Arrived(*user), Seen{});

  // Named twice in any case, mixed with a user elsewhere and a nickname nobody has.
  ASSERT_TRUE(ann.Send("message", F({"normal", "Ben\r\nBEN\r\nCat\r\nNobody\r\nann", "just us"})));
  const Seen once = {P("message", F({"normal", "Ann", "255", "just us"}))};
  EXPECT_EQ(Arrived(ann), once);
  EXPECT_EQ(Arrived(ben), once);
  EXPECT_EQ(Arrived(eve), Seen{});
  EXPECT_EQ(Arrived(cat), Seen{});
}

TEST_F(ChatRoomMessages, PrivateMessagesReachTheRecipientWhereverItIsAndComeBackToTheSender) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Garden");
  auto dan = User("Dan");
  Settle({&ann, &ben, &cat, &dan});

  ASSERT_TRUE(ann.Send("message", F({"private", "ann", "note to self"})));
  const std::string toSelf = P("message", F({"private", "Ann", "Ann", "255", "note to self"}));
  EXPECT_EQ(Arrived(ann), (Seen{toSelf, toSelf}));

  ASSERT_TRUE(ann.Send("message", F({"private", "CAT", "psst"})));
  const Seen toCat = {P("message", F({"private", "Ann", "Cat", "255", "psst"}))};
  EXPECT_EQ(Arrived(cat), toCat);
  EXPECT_EQ(Arrived(ann), toCat);

  // From and to users in no room, and to a nickname nobody has.
  ASSERT_TRUE(dan.Send("message", F({"private", "Ben", "from nowhere"})));
  const Seen toBen = {P("message", F({"private", "Dan", "Ben", "255", "from nowhere"}))};
  EXPECT_EQ(Arrived(ben), toBen);
  EXPECT_EQ(Arrived(dan), toBen);
  ASSERT_TRUE(ann.Send("message", F({"private", "Dan", "you there?"})));
  const Seen toDan = {P("message", F({"private", "Ann", "Dan", "255", "you there?"}))};
  EXPECT_EQ(Arrived(dan), toDan);
  EXPECT_EQ(Arrived(ann), toDan);
  ASSERT_TRUE(ann.Send("message", F({"private", "Nobody", "lost"})));
  for (ChatClient* user : {&ann, &ben, &cat, &dan}) EXPECT_EQ(Arrived(*user), Seen{});
}

TEST_F(ChatRoomMessages, TextBeyondMaxTextLengthIsCut) {
  server.Set("General", "MaxTextLength", "20");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  Settle({&ann, &ben});

  ASSERT_TRUE(ann.Send("message", F({"normal", "", "abcdefghijklmnopqrstuvwxyz"})));
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"normal", "Ann", "255", "abcdefghijklmnopqrst"}))});
  ASSERT_TRUE(ann.Send("message", F({"private", "Ben", "12345678901234567890"})));  // exactly the limit
  ASSERT_TRUE(ann.Send("message", F({"private", "Ben", "123456789012345678901"})));
  EXPECT_EQ(Arrived(ben), (Seen{P("message", F({"private", "Ann", "Ben", "255", "12345678901234567890"})),
                                P("message", F({"private", "Ann", "Ben", "255", "12345678901234567890"}))}));
}

TEST_F(ChatColor, ColoursTooLightAreIgnoredOthersAreAnnouncedToTheRoomAndKept) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Garden");
  Settle({&ann, &ben, &cat});

  struct Case {
    const char* sent;
    const char* announced;  // empty: ignored
  };
  // 0x00BBGGRR; the average of the three parts, without remainder, must stay below 171.
  const Case cases[] = {
      {"16777215", ""},          // white
      {"11184810", "11184810"},  // 170 170 170
      {"11250603", ""},          // 171 171 171
      {"65535", "65535"},        // 255 255 0: 510 / 3 = 170
      {"262143", ""},            // 255 255 3: 513 / 3 = 171
      {"2.6", "3"},              // the nearest whole number
      {"abc", "0"},              // no number
      {"0", "0"},                // black
      {"16777215", ""},          // and white still changes nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    ASSERT_TRUE(ann.Send("setColor", c.sent));
    const Seen expected = *c.announced == '\0' ? Seen{} : Seen{P("newColor", F({"Ann", c.announced}))};
    EXPECT_EQ(Arrived(ann), expected);
    EXPECT_EQ(Arrived(ben), expected);
  }
  EXPECT_EQ(Arrived(cat), Seen{});

  // The last accepted colour is the user's colour from now on.
  EXPECT_EQ(Userlist(cat, "Lobby"), F({"Lobby", Cols({"Ann", "0", "0", "0"}) + "\r\n" + Cols({"Ben", "255", "0", "0"})}));
  ASSERT_TRUE(ann.Send("message", F({"normal", "", "dark now"})));
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"normal", "Ann", "0", "dark now"}))});
}

TEST_F(ChatColor, OutsideARoomOnlyTheSenderHearsOfTheNewColour) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto dan = User("Dan");
  Settle({&ann, &dan});

  ASSERT_TRUE(dan.Send("setColor", "128"));
  EXPECT_EQ(Arrived(dan), Seen{P("newColor", F({"Dan", "128"}))});
  EXPECT_EQ(Arrived(ann), Seen{});
  Enter(dan, "Lobby");
  EXPECT_EQ(Arrived(ann), Seen{P("userJoined", F({"Dan", "128", "Lobby", "0", "0"}))});
}

TEST_F(ChatClientState, AwayAndBackAreAnnouncedToTheRoomAndShownInTheUserlist) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Garden");
  auto dan = User("Dan");
  Settle({&ann, &ben, &cat, &dan});
  const auto lobby = [&](const char* annAway) {
    return F({"Lobby", Cols({"Ann", "255", annAway, "0"}) + "\r\n" + Cols({"Ben", "255", "0", "0"})});
  };

  struct Step {
    std::string sent;
    std::string announced;
    const char* awayAfter;
  };
  const Step steps[] = {
      {F({"away", "Out for lunch"}), F({"Ann", "away", "Out for lunch"}), "1"},
      {F({"busy", "On the phone"}), F({"Ann", "busy", "On the phone"}), "1"},  // leaves the flag
      {F({"normal", "ignored"}), F({"Ann", "normal"}), "0"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.announced);
    ASSERT_TRUE(ann.Send("setClientState", step.sent));
    EXPECT_EQ(Arrived(ann), Seen{P("newClientState", step.announced)});
    EXPECT_EQ(Arrived(ben), Seen{P("newClientState", step.announced)});
    EXPECT_EQ(Userlist(cat, "Lobby"), lobby(step.awayAfter));
  }
  EXPECT_EQ(Arrived(cat), Seen{});

  // A user in no room can neither announce nor set an away state.
  ASSERT_TRUE(dan.Send("setClientState", F({"away", "gone"})));
  EXPECT_EQ(Arrived(dan), Seen{});
  Enter(dan, "Lobby");
  EXPECT_EQ(Arrived(ann), Seen{P("userJoined", F({"Dan", "255", "Lobby", "0", "0"}))});
}

TEST_F(ChatJoin, RoomsAreFoundWithoutRegardToCaseAndUnknownOnesNamedAsCleaned) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann");
  struct Case {
    std::string sent;
    std::string reply;
  };
  const Case cases[] = {
      {"Nowhere", F({"Nowhere", "notfound"})},
      {"  Say \"hi\"  ", F({"Say 'hi'", "notfound"})},
      {std::string(45, 'x'), F({std::string(40, 'x'), "notfound"})},
      {" lobby ", F({"Lobby", "ok"})},
      {"LOBBY", F({"Lobby", "alreadyjoined"})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ask(ann, "joinChatroom", F({c.sent, ""}), "acceptChatroom"), c.reply) << c.sent;
  }
}

TEST_F(ChatJoin, APasswordRoomTakesOnlyTheProofMadeWithNicknameAndLoginKey) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann");
  auto ben = User("Ben");
  const std::string proof = SHA256Hex("k3y" + std::string("Ann") + ann.LoginKey());
  struct Case {
    std::string proof;
    const char* status;
  };
  const Case cases[] = {
      {"", "failed"},
      {SHA256Hex("k3y"), "failed"},
      {SHA256Hex("k3yAnn"), "failed"},
      {SHA256Hex("k3y" + std::string("Ben") + ben.LoginKey()), "failed"},  // somebody else's
      {proof, "ok"},
      {"wrong", "alreadyjoined"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ask(ann, "joinChatroom", F({"vault", c.proof}), "acceptChatroom"), F({"Vault", c.status})) << c.proof;
  }
  // Ann's proof does not open the room for Ben.
  EXPECT_EQ(Ask(ben, "joinChatroom", F({"Vault", proof}), "acceptChatroom"), F({"Vault", "failed"}));
  EXPECT_EQ(Userlist(ben, "Vault"), F({"Vault", Cols({"Ann", "255", "0", "0"})}));
}

TEST_F(ChatJoin, MovingTellsTheOldRoomWhereTheUserWentAndTheNewRoomWhoCame) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Lobby");
  auto dan = User("Dan", "Garden");
  auto eve = User("Eve");
  Settle({&ann, &ben, &cat, &dan, &eve});

  // From no room: nobody is told of a leave.
  Enter(eve, "Garden");
  const Seen eveCame = {P("userJoined", F({"Eve", "255", "Garden", "0", "0"}))};
  EXPECT_EQ(Arrived(dan), eveCame);
  for (ChatClient* user : {&ann, &ben, &cat, &eve}) EXPECT_EQ(Arrived(*user), Seen{});

  ASSERT_TRUE(ann.Send("joinChatroom", F({"garden", ""})));
  EXPECT_EQ(Arrived(ann), Seen{P("acceptChatroom", F({"Garden", "ok"}))});
  const Seen annLeft = {P("userLeft", F({"Ann", "Lobby", "Garden", ""}))};
  EXPECT_EQ(Arrived(ben), annLeft);
  EXPECT_EQ(Arrived(cat), annLeft);
  const Seen annCame = {P("userJoined", F({"Ann", "255", "Garden", "0", "0"}))};
  EXPECT_EQ(Arrived(dan), annCame);
  EXPECT_EQ(Arrived(eve), annCame);

  EXPECT_EQ(Userlist(ann, "Garden"), F({"Garden", Cols({"Dan", "255", "0", "0"}) + "\r\n" +
                                                      Cols({"Eve", "255", "0", "0"}) + "\r\n" +
                                                      Cols({"Ann", "255", "0", "0"})}));
  EXPECT_EQ(Userlist(ann, "Lobby"),
            F({"Lobby", Cols({"Ben", "255", "0", "0"}) + "\r\n" + Cols({"Cat", "255", "0", "0"})}));
}

TEST_F(ChatCreate, ThePasswordHoldsOnlyWithTheRightCheckAndAnEmptiedRoomGoes) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  const std::string sessionKey = ann.SessionKey();
  const std::string loginKey = ann.LoginKey();
  ASSERT_FALSE(sessionKey.empty());
  struct Case {
    const char* name;
    std::string enciphered;
    std::string check;
    const char* status;
    const char* mark;  // the password column of the chatroom list
  };
  const Case cases[] = {
      {"Den", EncryptField("pw1", sessionKey), SHA256Hex("pw1" + loginKey), "ok", "*"},
      {"Nook", EncryptField("pw2", sessionKey), SHA256Hex("pw2"), "badCRC", ""},
      {"Loft", "", "", "ok", ""},
      {"Attic", EncryptField("pw3", sessionKey), "", "ok", ""},  // no check: no password, no complaint
  };
  std::string previous;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Ask(ann, "createChatroom", F({c.name, "Up \"top\"", c.enciphered, c.check}), "acceptChatroom"),
              F({c.name, c.status}));
    const std::string list = Chatroomlist(ann);
    EXPECT_NE(list.find("\r\n" + Cols({c.name, "1", c.mark, "Up 'top'"}) + "\r\n"), std::string::npos) << list;
    // The creator moved on, and the room it left behind empty is gone.
    if (!previous.empty()) {
      EXPECT_EQ(list.find("\n" + previous + '\x01'), std::string::npos) << list;
    }
    previous = c.name;
  }
  // The configured room stays although its last member left.
  EXPECT_EQ(Chatroomlist(ann).rfind(Cols({"Lobby", "0", "", "Main hall"}), 0), 0u);
  EXPECT_EQ(server.CountLog("msgErrorCRC", {{"%cmd", "createChatroom"}}), 1);
}

TEST_F(ChatCreate, OthersJoinWithThePasswordAndTheRoomLastsUntilItsLastMemberLeaves) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat");
  Settle({&ann, &ben, &cat});

  const std::string create = F({"  Den  ", "Hideout", EncryptField("open sesame", ann.SessionKey()),
                                SHA256Hex("open sesame" + ann.LoginKey())});
  ASSERT_TRUE(ann.Send("createChatroom", create));
  EXPECT_EQ(Arrived(ann), Seen{P("acceptChatroom", F({"Den", "ok"}))});
  EXPECT_EQ(Arrived(ben), Seen{P("userLeft", F({"Ann", "Lobby", "Den", ""}))});
  EXPECT_TRUE(server.WaitForLog("msgClientCreatedChatroom", {{"%name", "Den"}}));

  EXPECT_EQ(Ask(cat, "joinChatroom", F({"Den", ""}), "acceptChatroom"), F({"Den", "failed"}));
  Enter(cat, "Den", SHA256Hex("open sesame" + std::string("Cat") + cat.LoginKey()));
  EXPECT_EQ(Arrived(ann), Seen{P("userJoined", F({"Cat", "255", "Den", "0", "0"}))});
  EXPECT_EQ(Chatroomlist(ben), Cols({"Lobby", "1", "", "Main hall"}) + "\r\n" + Cols({"Garden", "0", "", "Green"}) +
                                   "\r\n" + Cols({"Vault", "0", "*", "Locked"}) + "\r\n" +
                                   Cols({"Den", "2", "*", "Hideout"}) + "\r\n" + F({"", "1"}));

  Enter(ann, "Lobby");
  EXPECT_NE(Chatroomlist(ben).find(Cols({"Den", "1", "*", "Hideout"})), std::string::npos);
  Enter(cat, "Lobby");
  EXPECT_EQ(Chatroomlist(ben).find("Den"), std::string::npos);
  EXPECT_EQ(Ask(ben, "joinChatroom", F({"Den", ""}), "acceptChatroom"), F({"Den", "notfound"}));
}

TEST_F(ChatCreate, AnExistingNameIsNotCreatedAndTheSenderStaysWhereItWas) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Garden");
  Settle({&ann, &ben, &cat});

  ASSERT_TRUE(ann.Send("createChatroom", F({"garden", "mine now", "", ""})));
  EXPECT_EQ(Arrived(ann), Seen{P("acceptChatroom", F({"garden", "notcreated"}))});
  // An empty name is refused as well.
  EXPECT_EQ(Ask(ann, "createChatroom", F({"   ", "nameless"}), "acceptChatroom"), F({"", "notallowed"}));
  EXPECT_EQ(Arrived(ben), Seen{});
  EXPECT_EQ(Arrived(cat), Seen{});

  ASSERT_TRUE(ann.Send("message", F({"normal", "", "still here"})));
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"normal", "Ann", "255", "still here"}))});
  EXPECT_EQ(Userlist(cat, "Garden"), F({"Garden", Cols({"Cat", "255", "0", "0"})}));
}

TEST_F(ChatLists, TheChatroomListShowsUsersPasswordMarkAndDescription) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  Settle({&ann, &ben});

  EXPECT_EQ(Chatroomlist(ann), Cols({"Lobby", "2", "", "Main hall"}) + "\r\n" + Cols({"Garden", "0", "", "Green"}) +
                                   "\r\n" + Cols({"Vault", "0", "*", "Locked"}) + "\r\n" + F({"", "1"}));
  EXPECT_TRUE(server.WaitForLog("msgSendingChatroomList", {{"%id", "1"}}));
}

TEST_F(ChatLists, AUserlistNamesTheRoomAsAskedAndAnUnknownRoomGetsNoReply) {
  server.Set("LogMessages", "SendingUserlist", "1");  // hidden by default
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  Settle({&ann, &ben});

  EXPECT_EQ(Userlist(ann, "Garden"), F({"Garden", ""}));  // empty, but it stays
  EXPECT_EQ(Userlist(ann, F({"garden", ""})), F({"garden", ""}));
  EXPECT_EQ(Userlist(ann, "LOBBY"),
            F({"LOBBY", Cols({"Ann", "255", "0", "0"}) + "\r\n" + Cols({"Ben", "255", "0", "0"})}));
  EXPECT_TRUE(server.WaitForLog("msgSendingUserlist", {{"%id", "1"}, {"%name", "LOBBY"}}));
  ASSERT_TRUE(ann.Send("getUserlist", "Nowhere"));
  EXPECT_EQ(Arrived(ann), Seen{});
}

TEST(ChatListsWithoutRooms, AnEmptyRoomFileGivesOnlyTheCreateFlag) {
  for (const char* allowed : {"1", "0"}) {
    SCOPED_TRACE(allowed);
    ServerHarness server;
    server.dir().write("config/chatrooms.cfg", "");
    server.Set("Chatrooms", "AllowCreateChatroom", allowed);
    ASSERT_TRUE(server.Start());
    auto ann = server.LoggedIn("Ann");
    ASSERT_TRUE(ann.Send("getChatroomlist", ""));
    const auto list = ann.ReceiveCommand("chatroomlist", kWait);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->payload, F({"", allowed}));

    // Creating is refused when switched off, even for a new name.
    ASSERT_TRUE(ann.Send("createChatroom", F({"Fresh", "", "", ""})));
    const auto reply = ann.ReceiveCommand("acceptChatroom", kWait);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, F({"Fresh", *allowed == '1' ? "ok" : "notallowed"}));
  }
}

TEST_F(ChatQuit, TheRoomHearsTheTrimmedCutReasonAndLaterPacketsAreNotHandled) {
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  auto cat = User("Cat", "Lobby");
  Settle({&ann, &ben, &cat});

  // One write: the packets behind the quit are already buffered when it is handled.
  ASSERT_TRUE(ann.SendRaw(FramePacket("quit", F({" \tGone fishing, back when the tide turns again  ", "more"})) +
                          FramePacket("message", F({"normal", "", "after quitting"})) +
                          FramePacket("setColor", "0")));
  EXPECT_TRUE(ann.WaitForClose(kWait));
  const Seen annLeft = {P("userLeft", F({"Ann", "Lobby", "", "Gone fishing, back when the tide turns a"}))};
  EXPECT_EQ(Arrived(ben), annLeft);
  EXPECT_EQ(Arrived(cat), annLeft);
  EXPECT_EQ(Userlist(ben, "Lobby"), F({"Lobby", Cols({"Ben", "255", "0", "0"}) + "\r\n" + Cols({"Cat", "255", "0", "0"})}));
}

}  // namespace
}  // namespace velmorin
