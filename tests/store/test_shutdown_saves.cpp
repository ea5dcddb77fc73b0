// The saves at program close: a store is written only when the server changed it since it was
// loaded or saved, and an administrator's hand edit made meanwhile is never written over.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "codec/IniValues.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "config/StoreSnapshot.hpp"
#include "config/WelcomeMessage.hpp"
#include "platform/ProgramPaths.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

TEST(ShutdownChoice, OnlyAChangeInMemoryIsWrittenAndNeverOverAChangeOnDisk) {
  const FileContent loaded = FileContent::Present("a");
  struct Case {
    const char* what;
    StoreSnapshot taken;
    std::string memory;
    FileContent disk;
    ShutdownChoice choice;
  };
  const Case cases[] = {
      {"nothing changed", {"a", loaded, ""}, "a", loaded, ShutdownChoice::Skip},
      {"only the disk changed", {"a", loaded, ""}, "a", FileContent::Present("b"), ShutdownChoice::Skip},
      {"the file was deleted by hand", {"a", loaded, ""}, "a", FileContent::Missing(), ShutdownChoice::Skip},
      {"only memory changed", {"a", loaded, ""}, "m", loaded, ShutdownChoice::Write},
      {"both changed", {"a", loaded, ""}, "m", FileContent::Present("b"), ShutdownChoice::WriteBeside},
      {"both changed alike", {"a", loaded, ""}, "m", FileContent::Present("m"), ShutdownChoice::Skip},
      {"deleted by hand, changed in memory", {"a", loaded, ""}, "m", FileContent::Missing(), ShutdownChoice::WriteBeside},
      {"missing at load and now", {"d", FileContent::Missing(), ""}, "d", FileContent::Missing(), ShutdownChoice::Write},
      {"created by hand", {"d", FileContent::Missing(), ""}, "d", FileContent::Present("b"), ShutdownChoice::Skip},
      {"unreadable, changed in memory", {"a", FileContent::Unreadable(), ""}, "m", FileContent::Unreadable(),
       ShutdownChoice::WriteBeside},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseShutdownSave(c.taken, c.memory, c.disk), c.choice) << c.what;
  }
  EXPECT_NE(FileContent::Unreadable(), FileContent::Unreadable());
}

// One store as the shutdown sees it: how to load it, change it in memory, edit its file by hand,
// save it at shutdown, and find a change of each kind in a file.
struct StoreUnderTest {
  const char* name;
  const char* file;
  const char* initial;
  std::function<void()> load;
  std::function<void()> changeInMemory;
  const char* handEdit;
  std::function<ShutdownSave()> save;
  const char* memoryMark;  // text the in-memory change puts into the file
};

std::vector<StoreUnderTest> Stores() {
  return {
      {"settings", "config/server.cfg", "[General]\r\nPort=1000\r\n", [] { LoadSettings(); },
       [] { ServerSettings.General.MaxUserCount = 7; }, "[General]\r\nPort=2345\r\n; by hand\r\n",
       SaveSettingsAtShutdown, "MaxUserCount=7"},
      {"ban rules", "config/ban.cfg", "[Nick]\r\n0=Old\r\n", [] { LoadBanList(); },
       [] { AddBanRule("nick", "FromPlugin"); }, "[Nick]\r\n0=Old\r\n1=ByHand\r\n", SaveBanListAtShutdown,
       "FromPlugin"},
      {"welcome text", "config/welcome.msg", "Hello\r\n", [] { LoadWelcomeMessage(); },
       [] { WelcomeText = "Changed by a plugin"; }, "Edited by hand\r\n", SaveWelcomeMessageAtShutdown,
       "Changed by a plugin"},
  };
}

class ShutdownSaves : public ::testing::Test {
 protected:
  ShutdownSaves() {
    ServerSettings = ServerSettingsRecord{};
    Bans() = {};
  }
  ~ShutdownSaves() override { Bans() = {}; }

  testing::TempProgramDir dir;
};

TEST_F(ShutdownSaves, AHandEditIsKeptWhenTheServerChangedNothing) {
  for (const StoreUnderTest& store : Stores()) {
    SCOPED_TRACE(store.name);
    dir.write(store.file, store.initial);
    store.load();
    dir.write(store.file, store.handEdit);
    const ShutdownSave save = store.save();
    EXPECT_EQ(save.choice, ShutdownChoice::Skip);
    EXPECT_EQ(dir.read(store.file), store.handEdit);
  }
}

TEST_F(ShutdownSaves, AChangeInMemoryIsWrittenWhenTheFileIsAsLoaded) {
  for (const StoreUnderTest& store : Stores()) {
    SCOPED_TRACE(store.name);
    dir.write(store.file, store.initial);
    store.load();
    store.changeInMemory();
    const ShutdownSave save = store.save();
    EXPECT_EQ(save.choice, ShutdownChoice::Write);
    EXPECT_EQ(save.error, 0);
    EXPECT_NE(dir.read(store.file).find(store.memoryMark), std::string::npos) << dir.read(store.file);
    // Saved is the new baseline: a second close has nothing to write.
    EXPECT_EQ(store.save().choice, ShutdownChoice::Skip);
  }
}

TEST_F(ShutdownSaves, WhenBothChangedTheHandEditStaysAndTheServersVersionGoesBeside) {
  for (const StoreUnderTest& store : Stores()) {
    SCOPED_TRACE(store.name);
    dir.write(store.file, store.initial);
    store.load();
    store.changeInMemory();
    dir.write(store.file, store.handEdit);
    const ShutdownSave save = store.save();
    EXPECT_EQ(save.choice, ShutdownChoice::WriteBeside);
    EXPECT_EQ(save.error, 0);
    EXPECT_EQ(save.file, dir.path(store.file));
    EXPECT_EQ(save.besideFile, dir.path(std::string(store.file) + ".velmorin-new"));
    EXPECT_EQ(dir.read(store.file), store.handEdit);
    EXPECT_NE(dir.read(std::string(store.file) + ".velmorin-new").find(store.memoryMark), std::string::npos);
  }
}

TEST_F(ShutdownSaves, AFailedWriteReportsItsError) {
  dir.write("config/welcome.msg", "Hello\r\n");
  LoadWelcomeMessage();
  WelcomeText = "new";
  dir.write("config/welcome.msg", "by hand\r\n");
  // A directory where the server's version would go: the rename fails, for root too.
  std::filesystem::create_directories(dir.path("config/welcome.msg.velmorin-new/blocker"));
  const ShutdownSave save = SaveWelcomeMessageAtShutdown();
  EXPECT_EQ(save.choice, ShutdownChoice::WriteBeside);
  EXPECT_NE(save.error, 0);
  EXPECT_EQ(dir.read("config/welcome.msg"), "by hand\r\n");
}

TEST_F(ShutdownSaves, AMissingWelcomeFileIsCreatedAsBefore) {
  LoadWelcomeMessage();
  const ShutdownSave save = SaveWelcomeMessageAtShutdown();
  EXPECT_EQ(save.choice, ShutdownChoice::Write);
  EXPECT_TRUE(dir.exists("config/welcome.msg"));
}

}  // namespace
}  // namespace velmorin
