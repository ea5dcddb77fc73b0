#include <gtest/gtest.h>

#include "plugins/PluginMenu.hpp"

namespace velmorin {
namespace {

PluginMenuEntry Entry(const std::string& owner, const std::string& name, const std::string& caption) {
  return PluginMenuEntry{true, false, name, owner, caption};
}

// Plugin "ab" and plugin "a" with an entry "bc": the joined texts are equal, the pairs are not.
class PluginMenuOwnership : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(menu.Add(Entry("a", "bc", "A's entry"))); }
  PluginMenu menu;
};

TEST_F(PluginMenuOwnership, AnotherPluginCannotReachAnEntryThroughTheJoinedName) {
  EXPECT_EQ(menu.Find("ab", "c"), nullptr);
  EXPECT_FALSE(menu.Edit("ab", "c", false, true, "taken over"));
  EXPECT_FALSE(menu.Remove("ab", "c"));
  ASSERT_EQ(menu.Entries().size(), 1u);
  EXPECT_EQ(menu.Entries()[0].caption, "A's entry");
  EXPECT_TRUE(menu.Entries()[0].enabled);

  // Its own entry of that joined name is a separate entry.
  EXPECT_TRUE(menu.Add(Entry("ab", "c", "AB's entry")));
  EXPECT_TRUE(menu.Remove("ab", "c"));
  ASSERT_EQ(menu.Entries().size(), 1u);
  EXPECT_EQ(menu.Entries()[0].owner, "a");
}

TEST_F(PluginMenuOwnership, TheOwnerReachesItsEntryWithoutRegardToCase) {
  EXPECT_FALSE(menu.Add(Entry("A", "BC", "again")));
  EXPECT_TRUE(menu.Edit("A", "Bc", false, true, "renamed"));
  ASSERT_NE(menu.Find("a", "bc"), nullptr);
  EXPECT_EQ(menu.Find("a", "bc")->caption, "renamed");
  EXPECT_TRUE(menu.Remove("a", "BC"));
  EXPECT_TRUE(menu.Entries().empty());
}

}  // namespace
}  // namespace velmorin
