#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chat/clsChatrooms.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

TEST(Chatrooms, IdsTakeTheLowestFreeSlotAndTheTableShrinksToTheHighestRoom) {
  clsChatrooms rooms;
  EXPECT_EQ(rooms.Add("A", "", "", true), 0);
  EXPECT_EQ(rooms.Add("B", "", "", true), 1);
  EXPECT_EQ(rooms.Add("C", "", "", true), 2);
  rooms.Remove(1);
  EXPECT_EQ(rooms.MaxID(), 2);
  EXPECT_EQ(rooms.Add("D", "", "", true), 1);
  rooms.Remove(2);
  EXPECT_EQ(rooms.MaxID(), 1);
  EXPECT_EQ(rooms.count(), 2);

  // Several free slots at the end go at once, and growing starts right after the last room.
  rooms.Add("E", "", "", true);  // 2
  rooms.Add("F", "", "", true);  // 3
  rooms.Remove(2);
  rooms.Remove(3);
  EXPECT_EQ(rooms.MaxID(), 1);
  EXPECT_EQ(rooms.Add("G", "", "", true), 2);
}

TEST(Chatrooms, RemovingTheOnlyRoomLeavesOneFreeSlot) {
  clsChatrooms rooms;
  EXPECT_EQ(rooms.MaxID(), 0);
  rooms.Add("A", "", "", true);
  rooms.Remove(0);
  EXPECT_EQ(rooms.MaxID(), 0);
  EXPECT_EQ(rooms.count(), 0);
  EXPECT_EQ(rooms.name(0), "");
  EXPECT_EQ(rooms.Add("B", "", "", true), 0);
}

TEST(Chatrooms, OutOfRangeIdsAndFreeSlotsReadEmptyAndIgnoreWriters) {
  clsChatrooms rooms;
  rooms.Add("A", "about A", "pw", true);
  rooms.AddUser(0, 5);
  rooms.Add("B", "", "", true);
  rooms.Add("C", "", "", true);
  rooms.Remove(1);  // 1 is now a free slot inside the table

  for (long id : {-1L, 1L, 3L, 1000L}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(rooms.name(id), "");
    EXPECT_EQ(rooms.comment(id), "");
    EXPECT_EQ(rooms.pwd(id), "");
    EXPECT_FALSE(rooms.isProtected(id));
    EXPECT_EQ(rooms.users(id), 0);
    EXPECT_FALSE(rooms.PasswordRequired(id));
    EXPECT_EQ(rooms.userlist(id), "");
    EXPECT_TRUE(rooms.members(id).empty());
    EXPECT_EQ(rooms.serial(id), 0u);

    rooms.AddUser(id, 9);
    rooms.RemoveUser(id, 9);
    rooms.comment(id, "x");
    rooms.pwd(id, "x");
    rooms.Remove(id);
    EXPECT_EQ(rooms.count(), 2);
    EXPECT_EQ(rooms.MaxID(), 2);
    EXPECT_EQ(rooms.name(id), "");
  }
  EXPECT_EQ(rooms.users(0), 1);
  EXPECT_EQ(rooms.comment(0), "about A");
}

TEST(Chatrooms, LastMemberLeavingRemovesOnlyUnprotectedRooms) {
  struct Case {
    bool isProtected;
    long countAfter;
  };
  for (const Case c : {Case{true, 2}, Case{false, 1}}) {
    SCOPED_TRACE(c.isProtected);
    clsChatrooms rooms;
    rooms.Add("Keep", "", "", true);
    const long id = rooms.Add("Room", "", "", c.isProtected);
    rooms.AddUser(id, 3);
    rooms.AddUser(id, 7);
    rooms.RemoveUser(id, 3);
    EXPECT_EQ(rooms.count(), 2);
    rooms.RemoveUser(id, 7);
    EXPECT_EQ(rooms.count(), c.countAfter);
    EXPECT_EQ(rooms.GetChatroomID("Room"), c.isProtected ? id : -1);
    EXPECT_EQ(rooms.users(id), 0);
  }
}

TEST(Chatrooms, MembersKeepJoiningOrderAndLeaveOneEntryAtATime) {
  clsChatrooms rooms;
  const long id = rooms.Add("Room", "", "", false);
  rooms.AddUser(id, 3);
  rooms.AddUser(id, 7);
  EXPECT_EQ(rooms.userlist(id), "3\0"s "7");
  EXPECT_EQ(rooms.members(id), (std::vector<long>{3, 7}));
  EXPECT_EQ(rooms.users(id), 2);

  rooms.RemoveUser(id, 5);  // not a member
  EXPECT_EQ(rooms.users(id), 2);

  // A connection listed twice leaves once per call, and the room stays while it is listed.
  rooms.AddUser(id, 3);
  rooms.RemoveUser(id, 3);
  EXPECT_EQ(rooms.userlist(id), "7\0"s "3");
  rooms.RemoveUser(id, 7);
  EXPECT_EQ(rooms.userlist(id), "3");
  EXPECT_EQ(rooms.count(), 1);
  rooms.RemoveUser(id, 3);
  EXPECT_EQ(rooms.count(), 0);
}

TEST(Chatrooms, RoomsAreFoundByNameWithoutRegardToCase) {
  clsChatrooms rooms;
  rooms.Add("Lobby", "", "", true);
  rooms.Add("\xC4rger", "", "", true);  // Windows-1252 capital A with diaeresis
  EXPECT_EQ(rooms.GetChatroomID("lobby"), 0);
  EXPECT_EQ(rooms.GetChatroomID("LOBBY"), 0);
  EXPECT_EQ(rooms.GetChatroomID("\xE4RGER"), 1);
  EXPECT_EQ(rooms.GetChatroomID("Lob"), -1);
  EXPECT_EQ(rooms.GetChatroomID(""), -1);

  rooms.Remove(0);
  rooms.Add("Other", "", "", true);  // takes slot 0
  EXPECT_EQ(rooms.GetChatroomID("lobby"), -1);
  EXPECT_EQ(rooms.GetChatroomID("other"), 0);
}

TEST(Chatrooms, TheFirstOfTwoEqualNamesIsFoundUntilItGoes) {
  // Add itself does not refuse a name in use; lookups must still answer the lowest ID.
  clsChatrooms rooms;
  rooms.Add("Spare", "", "", true);
  rooms.Add("Twin", "", "", true);  // 1
  rooms.Remove(0);
  rooms.Add("twin", "", "", true);  // 0
  EXPECT_EQ(rooms.GetChatroomID("TWIN"), 0);
  rooms.Remove(0);
  EXPECT_EQ(rooms.GetChatroomID("TWIN"), 1);
}

TEST(Chatrooms, OnlyChatroomNamesTheSoleRoom) {
  clsChatrooms rooms;
  EXPECT_EQ(rooms.OnlyChatroom(), "");
  rooms.Add("A", "", "", true);
  EXPECT_EQ(rooms.OnlyChatroom(), "A");
  rooms.Add("B", "", "", true);
  EXPECT_EQ(rooms.OnlyChatroom(), "");
  rooms.Remove(0);
  EXPECT_EQ(rooms.OnlyChatroom(), "B");
}

TEST(Chatrooms, AnEmptyNameAddsNoRoom) {
  clsChatrooms rooms;
  EXPECT_EQ(rooms.Add("", "c", "p", true), -1);
  EXPECT_EQ(rooms.count(), 0);
  EXPECT_EQ(rooms.Add("A", "", "", true), 0);
}

TEST(Chatrooms, FieldsAndSettersRoundTrip) {
  clsChatrooms rooms;
  const long id = rooms.Add("A", "about", "", true);
  EXPECT_FALSE(rooms.PasswordRequired(id));
  rooms.pwd(id, "secret");
  rooms.comment(id, "new");
  EXPECT_TRUE(rooms.PasswordRequired(id));
  EXPECT_EQ(rooms.pwd(id), "secret");
  EXPECT_EQ(rooms.comment(id), "new");
  EXPECT_TRUE(rooms.isProtected(id));
}

TEST(Chatrooms, ChangeCallbackSeesTheTableAlreadyChanged) {
  clsChatrooms rooms;
  std::vector<long> countsSeen;
  rooms.SetChangeCallback([&] { countsSeen.push_back(rooms.count()); });
  const long id = rooms.Add("A", "", "", false);
  rooms.comment(id, "x");
  rooms.pwd(id, "y");
  rooms.AddUser(id, 3);
  rooms.RemoveUser(id, 3);  // removes the unprotected room
  EXPECT_EQ(countsSeen, (std::vector<long>{1, 1, 1, 0}));
}

TEST(Chatrooms, SerialTellsAReusedSlotFromTheRoomThatHeldIt) {
  clsChatrooms rooms;
  rooms.Add("A", "", "", true);
  const auto first = rooms.serial(0);
  EXPECT_NE(first, 0u);
  rooms.Remove(0);
  rooms.Add("A", "", "", true);
  EXPECT_NE(rooms.serial(0), first);
  EXPECT_NE(rooms.serial(0), 0u);
}

}  // namespace
}  // namespace velmorin
