#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "chat/ChatroomOperations.hpp"
#include "chat/RoomTable.hpp"
#include "codec/Base64.hpp"
#include "codec/IniValues.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

// Records every call in order, one line each; `onClose` lets a test call back into the table
// the way a plugin reached through the connection table could.
class FakeHost : public ChatroomMemberHost {
 public:
  void SetClientAwayState(long connection, bool away) override {
    calls.push_back("away " + std::to_string(connection) + " " + (away ? "1" : "0"));
  }
  void SendCloseChatroom(long connection, const std::string& roomName) override {
    calls.push_back("closeChatroom " + std::to_string(connection) + " " + roomName);
    if (onClose) onClose(connection);
  }
  void SetClientChatroom(long connection, long roomId) override {
    calls.push_back("room " + std::to_string(connection) + " " + std::to_string(roomId));
  }

  std::vector<std::string> calls;
  std::function<void(long)> onClose;
};

// The settings record is process-wide: each test starts from its own StandardChatroom and puts
// the previous one back.
class ChatroomStore : public ::testing::Test {
 protected:
  void SetUp() override {
    savedStandard_ = ServerSettings.Chatrooms.StandardChatroom;
    dir.write("language/Test.lng", "[VM3SLF]\r\nlanguageIDs=1033\r\n[modMain.Data]\r\nstdChatroom=Lobby\r\n");
    language.SetLanguage("modMain", dir.path("language/Test.lng"));
  }
  void TearDown() override { ServerSettings.Chatrooms.StandardChatroom = savedStandard_; }

  RoomTable Load(const std::string& standard = "") {
    ServerSettings.Chatrooms.StandardChatroom = standard;
    RoomTable rooms;
    LoadChatrooms(rooms, language);
    return rooms;
  }

  std::string File() const { return dir.read("config/chatrooms.cfg"); }

  testing::TempProgramDir dir;
  LanguageFile language;
  RoomTable rooms;
  FakeHost host;

 private:
  std::string savedStandard_;
};

TEST_F(ChatroomStore, WithoutAFileTheLanguageNamesOneProtectedRoom) {
  const RoomTable loaded = Load();
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.Name(0), "Lobby");
  EXPECT_TRUE(loaded.IsProtected(0));
  EXPECT_EQ(loaded.Comment(0), "");
  EXPECT_FALSE(loaded.PasswordRequired(0));
  EXPECT_FALSE(dir.exists("config/chatrooms.cfg"));
}

TEST_F(ChatroomStore, AnEmptyFileGivesNoRoomsAndNoStandardRoom) {
  dir.write("config/chatrooms.cfg", "");
  const RoomTable loaded = Load("Lobby");
  EXPECT_EQ(loaded.Count(), 0);
  EXPECT_EQ(loaded.MaxID(), 0);
  EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, "");
}

TEST_F(ChatroomStore, StandardRoomMustMatchALoadedRoomInCase) {
  struct Case {
    const char* file;  // nullptr: no file, the default room
    const char* standard;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "Lobby", "Lobby"},
      {nullptr, "lobby", ""},
      {"[Main Hall]\r\nDescription=x\r\n", "Main Hall", "Main Hall"},
      {"[Main Hall]\r\nDescription=x\r\n", "main hall", ""},
      {"[Main Hall]\r\nDescription=x\r\n", "Elsewhere", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file ? c.file : "no file") + " / " + c.standard);
    if (c.file) dir.write("config/chatrooms.cfg", c.file);
    Load(c.standard);
    EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, c.expected);
  }
}

TEST_F(ChatroomStore, LoadsEverySectionAsAProtectedRoomInFileOrder) {
  dir.write("config/chatrooms.cfg",
            "[Main Hall]\r\nDescription=Talk here \r\nPassword=\r\n"
            "[Secret]\r\nDescription=\r\nPassword=" + Base64Encode("pass word") + "\r\n"
            "[   ]\r\nDescription=nameless\r\n"
            "[Say \"hi\"]\r\n");
  const RoomTable loaded = Load();
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded.Name(0), "Main Hall");
  EXPECT_EQ(loaded.Comment(0), "Talk here");
  EXPECT_FALSE(loaded.PasswordRequired(0));
  EXPECT_EQ(loaded.Name(1), "Secret");
  EXPECT_EQ(loaded.Password(1), "pass word");
  EXPECT_EQ(loaded.Name(2), "Say 'hi'");
  for (long id = 0; id < 3; ++id) EXPECT_TRUE(loaded.IsProtected(id));
}

TEST_F(ChatroomStore, NamesThatMeetAfterCleaningLoadOnce) {
  dir.write("config/chatrooms.cfg", "[Say \"hi\"]\r\nDescription=first\r\n[Say 'hi']\r\nDescription=second\r\n");
  const RoomTable loaded = Load();
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.Comment(0), "first");
}

TEST_F(ChatroomStore, APasswordOfTheWrongLengthReadsAsNone) {
  struct Case {
    const char* stored;
    const char* expected;
  };
  const Case cases[] = {
      {"c2VjcmV0", "secret"},
      {"QQ==", "A"},
      {"c2VjcmV", ""},    // length not a multiple of four
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    dir.write("config/chatrooms.cfg", std::string("[Room]\r\nPassword=") + c.stored + "\r\n");
    EXPECT_EQ(Load().Password(0), c.expected);
  }
}

TEST_F(ChatroomStore, RoomsWithBracketsAndLongDescriptionsSurviveTheFile) {
  const std::string description(200, 'd');
  const std::string longName = std::string(37, 'n') + "[x]";  // 40 characters, 46 escaped
  ASSERT_EQ(CreateChatroom(rooms, "a[1]", description, "pw", true), "created");
  ASSERT_EQ(CreateChatroom(rooms, longName, "", "", true), "created");
  EXPECT_NE(File().find("[a<(>1<)>]\r\n"), std::string::npos);

  const RoomTable loaded = Load();
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.Name(0), "a[1]");
  EXPECT_EQ(loaded.Comment(0), description);
  EXPECT_EQ(loaded.Password(0), "pw");
  EXPECT_EQ(loaded.Name(1), longName);
}

TEST_F(ChatroomStore, CreateChatroomAnswers) {
  EXPECT_EQ(CreateChatroom(rooms, "Memory", "", "", false), "");
  EXPECT_EQ(rooms.GetChatroomID("Memory"), 0);
  EXPECT_TRUE(rooms.IsProtected(0));
  EXPECT_FALSE(dir.exists("config/chatrooms.cfg"));

  EXPECT_EQ(CreateChatroom(rooms, "  Saved  ", "About \"it\"", "secret", true), "created");
  EXPECT_EQ(rooms.Name(1), "Saved");
  EXPECT_EQ(rooms.Comment(1), "About 'it'");
  EXPECT_EQ(rooms.Password(1), "secret");
  EXPECT_NE(File().find("Description=About 'it' \r\n"), std::string::npos);
  EXPECT_EQ(ReadIniValue("Saved", "Password", "", Paths().chatroomsFile), Base64Encode("secret"));

  for (const char* taken : {"Memory", "SAVED", " saved "}) {
    EXPECT_EQ(CreateChatroom(rooms, taken, "", "", true), "exists") << taken;
  }
  for (const char* blank : {"", "    "}) {
    EXPECT_EQ(CreateChatroom(rooms, blank, "", "", true), "failed") << '"' << blank << '"';
  }
  EXPECT_EQ(rooms.Count(), 2);
}

TEST_F(ChatroomStore, ModifyChatroomAnswers) {
  CreateChatroom(rooms, "Room", "old", "", false);

  EXPECT_EQ(ModifyChatroom(rooms, "Nowhere", "description", true, "x"), "notfound");
  EXPECT_EQ(ModifyChatroom(rooms, "Room", "Description", true, "x"), "invalid");
  EXPECT_EQ(ModifyChatroom(rooms, "Room", "topic", true, "x"), "invalid");
  EXPECT_EQ(rooms.Comment(0), "old");
  EXPECT_FALSE(dir.exists("config/chatrooms.cfg"));

  EXPECT_EQ(ModifyChatroom(rooms, "room", "description", false, " new \"one\" "), "modified");
  EXPECT_EQ(rooms.Comment(0), "new 'one'");
  EXPECT_FALSE(dir.exists("config/chatrooms.cfg"));

  EXPECT_EQ(ModifyChatroom(rooms, "room", "password", true, "secret"), "modified");
  EXPECT_EQ(rooms.Password(0), "secret");
  // Written under the name as given, not as the room spells it.
  EXPECT_NE(File().find("[room]\r\nPassword=" + Base64Encode("secret") + "\r\n"), std::string::npos);

  EXPECT_EQ(ModifyChatroom(rooms, "Room", "description", true, "newer"), "modified");
  EXPECT_EQ(ReadIniValue("Room", "Description", "", Paths().chatroomsFile), "newer");
}

TEST_F(ChatroomStore, RemoveChatroomRefusesOccupiedRoomsUnlessForced) {
  rooms.Add("Room", "", "", true);
  rooms.AddUser(0, 3);
  rooms.AddUser(0, 7);

  EXPECT_EQ(RemoveChatroom(rooms, host, "Nowhere", false, true), "notfound");
  EXPECT_EQ(RemoveChatroom(rooms, host, "Room", false, false), "notempty");
  EXPECT_EQ(rooms.MemberCount(0), 2);
  EXPECT_TRUE(host.calls.empty());

  rooms.Add("Empty", "", "", true);
  EXPECT_EQ(RemoveChatroom(rooms, host, "empty", false, false), "removed");
  EXPECT_EQ(rooms.GetChatroomID("Empty"), -1);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(ChatroomStore, ForcedRemovalSendsEveryMemberOutInOrderAndRemovesTheRoomOnce) {
  for (const bool isProtected : {true, false}) {
    SCOPED_TRACE(isProtected);
    RoomTable table;
    FakeHost members;
    table.Add("Other", "", "", true);
    const long id = table.Add("Temp", "", "", isProtected);
    table.AddUser(id, 3);
    table.AddUser(id, 7);

    EXPECT_EQ(RemoveChatroom(table, members, "TEMP", false, true), "removed");
    EXPECT_EQ(members.calls, (std::vector<std::string>{
                                 "away 3 0", "closeChatroom 3 Temp", "room 3 -1",
                                 "away 7 0", "closeChatroom 7 Temp", "room 7 -1"}));
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.GetChatroomID("Other"), 0);
    EXPECT_EQ(table.MaxID(), 0);
  }
}

TEST_F(ChatroomStore, ForcedRemovalLeavesAloneARoomThatReusedTheSlotMeanwhile) {
  const long id = rooms.Add("Temp", "", "", false);
  rooms.AddUser(id, 3);
  rooms.AddUser(id, 7);
  FakeHost inner;
  // While the first member is told, a plugin removes the room itself and opens a new one, which
  // takes the freed slot; member 7 joins it.
  host.onClose = [&](long connection) {
    if (connection != 3 || rooms.GetChatroomID("Temp") < 0) return;
    RemoveChatroom(rooms, inner, "Temp", false, true);
    CreateChatroom(rooms, "New", "", "", false);
    rooms.AddUser(rooms.GetChatroomID("New"), 7);
  };

  EXPECT_EQ(RemoveChatroom(rooms, host, "Temp", false, true), "removed");
  EXPECT_EQ(rooms.Count(), 1);
  EXPECT_EQ(rooms.GetChatroomID("New"), id);
  EXPECT_EQ(rooms.UserList(id), "7");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"away 3 0", "closeChatroom 3 Temp"}));
}

TEST_F(ChatroomStore, PermanentRemovalDeletesTheSectionByTheStoredName) {
  dir.write("config/chatrooms.cfg", "[Keep]\r\nDescription=k\r\n[Gone]\r\nDescription=g\r\n");
  rooms = Load();
  rooms.AddUser(rooms.GetChatroomID("Gone"), 4);
  EXPECT_EQ(RemoveChatroom(rooms, host, "GONE", true, true), "removed");
  EXPECT_EQ(host.calls[1], "closeChatroom 4 Gone");
  EXPECT_EQ(File(), "[Keep]\r\nDescription=k\r\n");
}

TEST_F(ChatroomStore, ARoomNameEndingInATabLeavesNoSectionBehind) {
  rooms = Load();
  EXPECT_EQ(CreateChatroom(rooms, "Tabbed\t", "d", "", true), "created");
  // Control characters are no part of the stored name: the room they hide is the one edited.
  EXPECT_EQ(ModifyChatroom(rooms, "Tab\x01" "bed", "description", true, "e"), "modified");
  EXPECT_EQ(File().find("Tab\x01"), std::string::npos) << File();
  EXPECT_EQ(ReadIniValue("Tabbed", "Description", "", Paths().chatroomsFile), "e");
  EXPECT_EQ(RemoveChatroom(rooms, host, "Tabbed\t", true, true), "removed");
  EXPECT_EQ(File().find("Tabbed"), std::string::npos) << File();
}

TEST_F(ChatroomStore, SetStandardChatroomCleansTheNameWithoutCheckingIt) {
  EXPECT_EQ(SetStandardChatroom("  Main \"Hall\"  "), "");
  EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, "Main 'Hall'");
  SetStandardChatroom(std::string(50, 'x'));
  EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, std::string(40, 'x'));
}

}  // namespace
}  // namespace velmorin
