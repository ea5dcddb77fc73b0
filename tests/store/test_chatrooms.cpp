#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chat/RoomTable.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

TEST(Chatrooms, IdsTakeTheLowestFreeSlotAndTheTableShrinksToTheHighestRoom) {
  RoomTable rooms;
  EXPECT_EQ(rooms.Add("A", "", "", true), 0);
  EXPECT_EQ(rooms.Add("B", "", "", true), 1);
  EXPECT_EQ(rooms.Add("C", "", "", true), 2);
  rooms.Remove(1);
  EXPECT_EQ(rooms.MaxID(), 2);
  EXPECT_EQ(rooms.Add("D", "", "", true), 1);
  rooms.Remove(2);
  EXPECT_EQ(rooms.MaxID(), 1);
  EXPECT_EQ(rooms.Count(), 2);

  // Several free slots at the end go at once, and growing starts right after the last room.
  rooms.Add("E", "", "", true);  // 2
  rooms.Add("F", "", "", true);  // 3
  rooms.Remove(2);
  rooms.Remove(3);
  EXPECT_EQ(rooms.MaxID(), 1);
  EXPECT_EQ(rooms.Add("G", "", "", true), 2);
}

TEST(Chatrooms, RemovingTheOnlyRoomLeavesOneFreeSlot) {
  RoomTable rooms;
  EXPECT_EQ(rooms.MaxID(), 0);
  rooms.Add("A", "", "", true);
  rooms.Remove(0);
  EXPECT_EQ(rooms.MaxID(), 0);
  EXPECT_EQ(rooms.Count(), 0);
  EXPECT_EQ(rooms.Name(0), "");
  EXPECT_EQ(rooms.Add("B", "", "", true), 0);
}

TEST(Chatrooms, OutOfRangeIdsAndFreeSlotsReadEmptyAndIgnoreWriters) {
  RoomTable rooms;
  rooms.Add("A", "about A", "pw", true);
  rooms.AddUser(0, 5);
  rooms.Add("B", "", "", true);
  rooms.Add("C", "", "", true);
  rooms.Remove(1);  // 1 is now a free slot inside the table

  for (long id : {-1L, 1L, 3L, 1000L}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(rooms.Name(id), "");
    EXPECT_EQ(rooms.Comment(id), "");
    EXPECT_EQ(rooms.Password(id), "");
    EXPECT_FALSE(rooms.IsProtected(id));
    EXPECT_EQ(rooms.MemberCount(id), 0);
    EXPECT_FALSE(rooms.PasswordRequired(id));
    EXPECT_EQ(rooms.UserList(id), "");
    EXPECT_TRUE(rooms.Members(id).empty());
    EXPECT_EQ(rooms.Serial(id), 0u);

    rooms.AddUser(id, 9);
    rooms.RemoveUser(id, 9);
    rooms.SetComment(id, "x");
    rooms.SetPassword(id, "x");
    rooms.Remove(id);
    EXPECT_EQ(rooms.Count(), 2);
    EXPECT_EQ(rooms.MaxID(), 2);
    EXPECT_EQ(rooms.Name(id), "");
  }
  EXPECT_EQ(rooms.MemberCount(0), 1);
  EXPECT_EQ(rooms.Comment(0), "about A");
}

TEST(Chatrooms, LastMemberLeavingRemovesOnlyUnprotectedRooms) {
  struct Case {
    bool isProtected;
    long countAfter;
  };
  for (const Case c : {Case{true, 2}, Case{false, 1}}) {
    SCOPED_TRACE(c.isProtected);
    RoomTable rooms;
    rooms.Add("Keep", "", "", true);
    const long id = rooms.Add("Room", "", "", c.isProtected);
    rooms.AddUser(id, 3);
    rooms.AddUser(id, 7);
    rooms.RemoveUser(id, 3);
    EXPECT_EQ(rooms.Count(), 2);
    rooms.RemoveUser(id, 7);
    EXPECT_EQ(rooms.Count(), c.countAfter);
    EXPECT_EQ(rooms.GetChatroomID("Room"), c.isProtected ? id : -1);
    EXPECT_EQ(rooms.MemberCount(id), 0);
  }
}

TEST(Chatrooms, MembersKeepJoiningOrderAndLeaveOneEntryAtATime) {
  RoomTable rooms;
  const long id = rooms.Add("Room", "", "", false);
  rooms.AddUser(id, 3);
  rooms.AddUser(id, 7);
  EXPECT_EQ(rooms.UserList(id), "3\0"s "7");
  EXPECT_EQ(rooms.Members(id), (std::vector<long>{3, 7}));
  EXPECT_EQ(rooms.MemberCount(id), 2);

  rooms.RemoveUser(id, 5);  // not a member
  EXPECT_EQ(rooms.MemberCount(id), 2);

  // A connection listed twice leaves once per call, and the room stays while it is listed.
  rooms.AddUser(id, 3);
  rooms.RemoveUser(id, 3);
  EXPECT_EQ(rooms.UserList(id), "7\0"s "3");
  rooms.RemoveUser(id, 7);
  EXPECT_EQ(rooms.UserList(id), "3");
  EXPECT_EQ(rooms.Count(), 1);
  rooms.RemoveUser(id, 3);
  EXPECT_EQ(rooms.Count(), 0);
}

TEST(Chatrooms, RoomsAreFoundByNameWithoutRegardToCase) {
  RoomTable rooms;
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
  RoomTable rooms;
  rooms.Add("Spare", "", "", true);
  rooms.Add("Twin", "", "", true);  // 1
  rooms.Remove(0);
  rooms.Add("twin", "", "", true);  // 0
  EXPECT_EQ(rooms.GetChatroomID("TWIN"), 0);
  rooms.Remove(0);
  EXPECT_EQ(rooms.GetChatroomID("TWIN"), 1);
}

TEST(Chatrooms, OnlyChatroomNamesTheSoleRoom) {
  RoomTable rooms;
  EXPECT_EQ(rooms.OnlyChatroom(), "");
  rooms.Add("A", "", "", true);
  EXPECT_EQ(rooms.OnlyChatroom(), "A");
  rooms.Add("B", "", "", true);
  EXPECT_EQ(rooms.OnlyChatroom(), "");
  rooms.Remove(0);
  EXPECT_EQ(rooms.OnlyChatroom(), "B");
}

TEST(Chatrooms, AnEmptyNameAddsNoRoom) {
  RoomTable rooms;
  EXPECT_EQ(rooms.Add("", "c", "p", true), -1);
  EXPECT_EQ(rooms.Count(), 0);
  EXPECT_EQ(rooms.Add("A", "", "", true), 0);
}

TEST(Chatrooms, FieldsAndSettersRoundTrip) {
  RoomTable rooms;
  const long id = rooms.Add("A", "about", "", true);
  EXPECT_FALSE(rooms.PasswordRequired(id));
  rooms.SetPassword(id, "secret");
  rooms.SetComment(id, "new");
  EXPECT_TRUE(rooms.PasswordRequired(id));
  EXPECT_EQ(rooms.Password(id), "secret");
  EXPECT_EQ(rooms.Comment(id), "new");
  EXPECT_TRUE(rooms.IsProtected(id));
}

TEST(Chatrooms, ChangeCallbackSeesTheTableAlreadyChanged) {
  RoomTable rooms;
  std::vector<long> countsSeen;
  rooms.SetChangeCallback([&] { countsSeen.push_back(rooms.Count()); });
  const long id = rooms.Add("A", "", "", false);
  rooms.SetComment(id, "x");
  rooms.SetPassword(id, "y");
  rooms.AddUser(id, 3);
  rooms.RemoveUser(id, 3);  // removes the unprotected room
  EXPECT_EQ(countsSeen, (std::vector<long>{1, 1, 1, 0}));
}

TEST(Chatrooms, SerialTellsAReusedSlotFromTheRoomThatHeldIt) {
  RoomTable rooms;
  rooms.Add("A", "", "", true);
  const auto first = rooms.Serial(0);
  EXPECT_NE(first, 0u);
  rooms.Remove(0);
  rooms.Add("A", "", "", true);
  EXPECT_NE(rooms.Serial(0), first);
  EXPECT_NE(rooms.Serial(0), 0u);
}

}  // namespace
}  // namespace velmorin
