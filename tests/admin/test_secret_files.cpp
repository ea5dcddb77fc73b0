// The passwords on disk: users.cfg and chatrooms.cfg hold them recoverably, so they and config/
// are for the server's own account alone, whatever the umask, after start-up and after a save.

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using testing::Ctl;
using testing::ServerUnderTest;

// The permission bits of a path; -1 when it is missing.
int ModeOf(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

// The umask the server inherits while the object lives.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

TEST(SecretFiles, ThePasswordFilesAndConfigAreOwnerOnlyAfterStartUpAndAfterASave) {
  const ScopedUmask permissive(0);
  ServerUnderTest server;
  ::chmod(server.dir().path("config").c_str(), 0777);
  ASSERT_TRUE(server.Start()) << server.Output();
  EXPECT_EQ(ModeOf(server.dir().path("config")), 0700);

  ASSERT_EQ(Ctl(server.dir(), {"account", "add", "Ann", "--password-stdin"}, {.input = "s3cret\n"}).exit, 0);
  ASSERT_EQ(Ctl(server.dir(), {"room", "add", "Loft", "--password", "up", "--store"}).exit, 0);
  EXPECT_EQ(ModeOf(server.dir().path("config/users.cfg")), 0600);
  EXPECT_EQ(ModeOf(server.dir().path("config/chatrooms.cfg")), 0600);
  EXPECT_EQ(ModeOf(server.dir().path("config")), 0700);
}

// Files of an older version (0644 in a 0755 config/) are tightened at start-up; a stricter mode
// the administrator chose stays, through start-up and saves.
TEST(SecretFiles, LooseModesAreTightenedAtStartUpAndAStricterOneIsKept) {
  const ScopedUmask usual(022);
  ServerUnderTest server;
  server.dir().write("config/users.cfg", "");
  server.dir().write("config/chatrooms.cfg", "");
  ::chmod(server.dir().path("config").c_str(), 0755);
  ::chmod(server.dir().path("config/users.cfg").c_str(), 0644);
  ::chmod(server.dir().path("config/chatrooms.cfg").c_str(), 0400);
  ASSERT_TRUE(server.Start()) << server.Output();
  EXPECT_EQ(ModeOf(server.dir().path("config")), 0700);
  EXPECT_EQ(ModeOf(server.dir().path("config/users.cfg")), 0600);
  EXPECT_EQ(ModeOf(server.dir().path("config/chatrooms.cfg")), 0400);

  ASSERT_EQ(Ctl(server.dir(), {"account", "add", "Ann", "--password-stdin"}, {.input = "s3cret\n"}).exit, 0);
  ASSERT_EQ(Ctl(server.dir(), {"room", "add", "Loft", "--password", "up", "--store"}).exit, 0);
  EXPECT_EQ(ModeOf(server.dir().path("config/users.cfg")), 0600);
  EXPECT_EQ(ModeOf(server.dir().path("config/chatrooms.cfg")), 0400);
  EXPECT_NE(server.dir().read("config/chatrooms.cfg").find("Loft"), std::string::npos);
}

}  // namespace
}  // namespace velmorin
