// The connection table on its own: the phase of a connection is the one answer to "logged in",
// "waiting for a taken nickname" and "being removed", and the counts and indexes follow it
// through every step of a connection's life.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "chat/ConnectionTable.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogView.hpp"
#include "logging/LogWriter.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/PluginEvents.hpp"

namespace velmorin {
namespace {

class ConnectionTableTest : public ::testing::Test {
 protected:
  LogView view;
  LanguageFile language;
  LogWriter log{view, language};
  PluginEvents events;
  EncryptionPlugins ciphers;
  ConnectionTable table{log, events, ciphers};
};

struct Step {
  const char* what;
  std::function<void(ConnectionTable&, long)> action;
  ConnectionPhase phase;
  bool same;          // SameConnection with the serial read at the connect
  long users;         // UserCount
  long found;         // GetUserID("ANN"): the slot, or -1
  bool oldestIsThis;  // OldestConnectionNotLoggedIn
};

TEST_F(ConnectionTableTest, EachStepOfAConnectionSetsItsPhaseCountsAndIndexes) {
  const long index = table.Allocate();
  ASSERT_EQ(index, 1);
  const std::uint64_t serial = table.At(index).serial;
  const std::vector<Step> steps = {
      {"connected", [](ConnectionTable&, long) {}, ConnectionPhase::Accepted, true, 0, -1, true},
      {"a login waits for the nickname",
       [](ConnectionTable& t, long i) { t.WaitForNickname(i, "Ann", "proof", "2"); },
       ConnectionPhase::WaitingForNickname, true, 0, -1, true},
      {"the wait ends without a login", [](ConnectionTable& t, long i) { t.ClearPendingLogin(i); },
       ConnectionPhase::Accepted, true, 0, -1, true},
      {"the login is taken", [](ConnectionTable& t, long i) { t.SetNickname(i, "Ann"); }, ConnectionPhase::LoggedIn,
       true, 1, 1, false},
      // The nickname stays until the slot goes: the removal still tells plugins and the room.
      {"the removal starts", [](ConnectionTable& t, long i) { t.At(i).StartClosing(); }, ConnectionPhase::Closing,
       false, 1, 1, false},
      {"nothing leaves Closing",
       [](ConnectionTable& t, long i) {
         t.At(i).WaitForNickname();
         t.At(i).StopWaiting();
         t.At(i).LogIn();
       },
       ConnectionPhase::Closing, false, 1, 1, false},
  };
  for (const Step& step : steps) {
    step.action(table, index);
    SCOPED_TRACE(step.what);
    EXPECT_EQ(table.At(index).Phase(), step.phase);
    EXPECT_EQ(table.SameConnection(index, serial), step.same);
    EXPECT_TRUE(table.SlotHolds(index, serial));
    EXPECT_EQ(table.UserCount(), step.users);
    EXPECT_EQ(table.GetUserID("ANN"), step.found);
    EXPECT_EQ(table.OldestConnectionNotLoggedIn() == index, step.oldestIsThis);
    EXPECT_TRUE(table.CountsAgreeWithTable());
  }
  table.Release(index);
  EXPECT_FALSE(table.InUse(index));
  EXPECT_FALSE(table.SlotHolds(index, serial));
  EXPECT_EQ(table.ConnectionCount(), 0);
  EXPECT_EQ(table.UserCount(), 0);
  EXPECT_EQ(table.GetUserID("Ann"), -1);
  EXPECT_TRUE(table.CountsAgreeWithTable());
}

TEST_F(ConnectionTableTest, ASlotsNextConnectionIsANewOneAndTheTableShrinksBehindTheLastInUse) {
  const long first = table.Allocate();
  const long second = table.Allocate();
  const long third = table.Allocate();
  EXPECT_EQ(std::vector<long>({first, second, third}), std::vector<long>({1, 2, 3}));
  const std::uint64_t old = table.At(second).serial;
  table.Release(second);
  EXPECT_EQ(table.MaxIndex(), 3);
  EXPECT_EQ(table.Allocate(), second);  // the lowest free slot
  EXPECT_FALSE(table.SlotHolds(second, old));
  EXPECT_EQ(table.At(second).Phase(), ConnectionPhase::Accepted);
  table.Release(third);
  table.Release(second);
  EXPECT_EQ(table.MaxIndex(), 1);
  EXPECT_TRUE(table.CountsAgreeWithTable());
}

TEST_F(ConnectionTableTest, TheOldestNotLoggedInSkipsTheClosingAndTheLoggedIn) {
  const long closing = table.Allocate();
  const long user = table.Allocate();
  const long waiting = table.Allocate();
  table.SetNickname(user, "Ben");
  table.At(closing).StartClosing();
  table.WaitForNickname(waiting, "Ben", "", "2");
  EXPECT_EQ(table.OldestConnectionNotLoggedIn(), waiting);
  EXPECT_EQ(table.Waiting("ben").count(waiting), 1u);
  table.Release(closing);
  table.Release(waiting);
  EXPECT_TRUE(table.Waiting("ben").empty());
  EXPECT_EQ(table.OldestConnectionNotLoggedIn(), -1);
  EXPECT_TRUE(table.CountsAgreeWithTable());
}

TEST_F(ConnectionTableTest, ANicknameHeldTwiceIsFoundAtTheLowestSlotUntilThatOneGoes) {
  const long first = table.Allocate();
  const long second = table.Allocate();
  table.SetNickname(second, "cat");
  table.SetNickname(first, "Cat");
  EXPECT_EQ(table.GetUserID("CAT"), first);
  EXPECT_EQ(table.Holders("cat"), (std::set<long>{first, second}));
  table.Release(first);
  EXPECT_EQ(table.GetUserID("cat"), second);
  EXPECT_EQ(table.UserCount(), 1);
  EXPECT_TRUE(table.CountsAgreeWithTable());
}

TEST_F(ConnectionTableTest, AResetEmptiesTheTableWithoutCallingOut) {
  table.SetNickname(table.Allocate(), "Dan");
  table.WaitForNickname(table.Allocate(), "Dan", "", "1");
  table.Reset();
  EXPECT_EQ(table.MaxIndex(), 1);
  EXPECT_EQ(table.ConnectionCount(), 0);
  EXPECT_EQ(table.UserCount(), 0);
  EXPECT_EQ(table.GetUserID("Dan"), -1);
  EXPECT_TRUE(table.Waiting("dan").empty());
  EXPECT_EQ(table.Allocate(), 1);
  EXPECT_TRUE(table.CountsAgreeWithTable());
}

}  // namespace
}  // namespace velmorin
