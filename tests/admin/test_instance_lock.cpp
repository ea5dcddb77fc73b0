// The instance lock: one holder per program directory, and a lock that is given back (or whose
// process ended) can be taken again.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/InstanceLock.hpp"

namespace velmorin {
namespace {

TEST(InstanceLock, OneHolderAtATimeAndTheRunDirectoryIsPrivate) {
  std::string pattern = "/tmp/velmorin-lock-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::string run = pattern + "/run/";

  InstanceLock first;
  ASSERT_EQ(first.Acquire(run), 0);
  struct stat status{};
  ASSERT_EQ(::stat(run.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_EQ(InstanceLock::HolderOf(run), ::getpid());

  // flock belongs to the open file, so a second open in this process is refused like another
  // process would be.
  InstanceLock second;
  EXPECT_EQ(second.Acquire(run), EWOULDBLOCK);
  EXPECT_FALSE(second.Held());

  first.Release();
  EXPECT_EQ(second.Acquire(run), 0);

  // A file where the run directory belongs is not a directory to lock in.
  const std::string file = pattern + "/file";
  std::filesystem::create_directories(pattern);
  ::close(::creat(file.c_str(), 0600));
  InstanceLock third;
  EXPECT_NE(third.Acquire(file), 0);
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace velmorin
