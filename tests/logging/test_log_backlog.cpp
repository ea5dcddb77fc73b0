// The log's backlog for "log follow --lines N": the newest lines, bounded by count and by bytes.

#include <gtest/gtest.h>

#include <string>

#include "logging/LogBacklog.hpp"

namespace velmorin {
namespace {

TEST(LogBacklog, KeepsTheNewestLinesWithinItsByteBound) {
  LogBacklog backlog;
  const std::string longLine(LogBacklog::kMaxBytes / 4, 'x');
  for (int i = 0; i < 10; ++i) backlog.Add(LogMessageType::Connected, i, longLine + std::to_string(i));
  // Four such lines are over the bound: three stay, the newest last.
  ASSERT_EQ(backlog.size(), 3u);
  const auto last = backlog.Last(100);
  ASSERT_EQ(last.size(), 3u);
  EXPECT_EQ(last.back().text, longLine + "9");
  EXPECT_EQ(last.back().color, 9);
  EXPECT_EQ(backlog.Last(1).front().text, longLine + "9");
  EXPECT_TRUE(backlog.Last(0).empty());

  // A line over the whole bound replaces the rest and is kept alone.
  backlog.Add(std::nullopt, 0, std::string(LogBacklog::kMaxBytes + 1, 'y'));
  EXPECT_EQ(backlog.size(), 1u);
}

}  // namespace
}  // namespace velmorin
