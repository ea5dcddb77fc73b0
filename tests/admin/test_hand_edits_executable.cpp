// A configuration file edited by hand while the shipped server runs is never overwritten by a
// store through velmorin-ctl: the store is refused, naming the file and asking for a reload,
// and after the reload the same store keeps the hand edit.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using testing::Ctl;
using testing::CtlRun;
using testing::ServerUnderTest;

TEST(HandEdits, AStoreAfterAHandEditIsRefusedUntilTheFileIsReadAgain) {
  ServerUnderTest server;
  server.dir().write("config/ban.cfg", "[Nick]\r\n0=Evil1\r\n");
  server.dir().write("config/welcome.msg", "Hello\r\n");
  ASSERT_TRUE(server.Start()) << server.Output();

  const struct {
    const char* file;
    std::string handEdit;
    std::vector<std::string> store;
    std::vector<std::string> kept;  // in the file at the end: the hand edit and the store
  } cases[] = {
      {"ban.cfg", "[Nick]\r\n0=Evil1\r\n1=HandBan\r\n", {"ban", "add", "nick", "Evil2"}, {"HandBan", "Evil2"}},
      {"server.cfg", "", {"settings", "set", "General.MaxUserCount", "2"}, {"AdministratorName=Hand", "MaxUserCount=2"}},
      {"welcome.msg", "Hand text\r\n", {"welcome", "set", "Robot", "text"}, {"Robot text"}},
  };
  std::size_t refusals = 0;
  const auto logged = [&] {
    std::size_t count = 0;
    const std::string output = server.Output();
    for (std::size_t at = output.find("changed on disk"); at != std::string::npos;
         at = output.find("changed on disk", at + 1)) {
      ++count;
    }
    return count;
  };
  for (const auto& edit : cases) {
    SCOPED_TRACE(edit.file);
    const std::string file = std::string("config/") + edit.file;
    std::string handEdit = edit.handEdit;
    if (handEdit.empty()) {  // server.cfg: the running file with one value changed by hand
      handEdit = server.dir().read(file);
      const std::size_t at = handEdit.find("[General]");
      ASSERT_NE(at, std::string::npos) << handEdit;
      handEdit.insert(handEdit.find('\n', at) + 1, "AdministratorName=Hand\r\n");
    }
    server.dir().write(file, handEdit);

    const CtlRun refused = Ctl(server.dir(), edit.store);
    EXPECT_EQ(refused.exit, 1) << refused.output;
    EXPECT_NE(refused.output.find(edit.file), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("reload"), std::string::npos) << refused.output;
    EXPECT_EQ(server.dir().read(file), handEdit);
    EXPECT_FALSE(std::filesystem::exists(server.dir().path(file + ".velmorin-new")));
    ++refusals;
    EXPECT_TRUE(testing::PollUntil([&] { return logged() >= refusals; }, testing::kWait)) << server.Output();

    ASSERT_EQ(Ctl(server.dir(), {"reload"}).exit, 0);
    const CtlRun stored = Ctl(server.dir(), edit.store);
    EXPECT_EQ(stored.exit, 0) << stored.output;
    for (const std::string& part : edit.kept) {
      EXPECT_NE(server.dir().read(file).find(part), std::string::npos) << part << "\n" << server.dir().read(file);
    }
  }
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(server.dir().path("config/ban.cfg.velmorin-new")));
}

}  // namespace
}  // namespace velmorin
