#include <gtest/gtest.h>

#include "codec/Base64.hpp"
#include "codec/IniValues.hpp"
#include "codec/Sha256.hpp"
#include "config/Accounts.hpp"
#include "platform/ProgramPaths.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

class Accounts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("config/users.cfg",
              "[Alice]\r\nActive=1\r\nPassword=" + Base64Encode("secret") + "\r\nComment=" +
                  Base64Encode("boss") + "\r\n"
              "[bob]\r\nActive=0\r\n"
              "[Carl<(>x<)>]\r\n"                     // no Active key: active, but not "existing"
              "[Dora]\r\nActive=1\r\nPassword=plain\r\n"  // not Base64: no password
              "[ ]\r\nActive=1\r\n");  // a blank name is no account
    BuildActiveAccountList();
  }
  testing::TempProgramDir dir;
};

TEST_F(Accounts, ActiveListHoldsLowercaseActiveNamesBetweenNuls) {
  EXPECT_EQ(ActiveAccountList, "\0alice\0carl[x]\0dora\0"s);
  EXPECT_TRUE(IsActiveAccount("ALICE"));
  EXPECT_FALSE(IsActiveAccount("bob"));
  EXPECT_FALSE(IsActiveAccount("ali"));
  EXPECT_TRUE(AccountExists("bob"));           // inactive, so login refuses rather than admits a guest
  EXPECT_FALSE(AccountExists("Carl[x]"));
  EXPECT_EQ(GetActiveUserAccountList(), "alice\0carl[x]\0dora"s);
  EXPECT_EQ(GetUserAccountList(), "Alice\0bob\0Carl[x]\0Dora"s);
}

// A plugin's names and fields must not reach past their account: a field named like a
// section would create a password-less active account, a name cut at NUL would overwrite another.
TEST_F(Accounts, NamesAndFieldsTheFileCannotHoldAreRefused) {
  const std::string before = dir.read("config/users.cfg");
  EXPECT_EQ(CreateUserAccount("alice\0x"s), "failed");
  EXPECT_EQ(CreateUserAccount("bob\r\n[root]"), "failed");
  EXPECT_EQ(CreateUserAccount(" \t"), "failed");
  EXPECT_EQ(ModifyUserAccount("Alice", "[root]", "x"), "failed");
  EXPECT_EQ(ModifyUserAccount("Alice", "Password=", "x"), "failed");
  EXPECT_EQ(ModifyUserAccount("Alice", "x\nActive", "1"), "failed");
  EXPECT_EQ(dir.read("config/users.cfg"), before);
  BuildActiveAccountList();
  EXPECT_EQ(ActiveAccountList, "\0alice\0carl[x]\0dora\0"s);
  EXPECT_EQ(GetPassword("Alice"), "secret");
}

// A NUL in a hand-written section name would split the NUL-separated list of active names.
TEST_F(Accounts, ASectionNameHoldingANulIsNoAccount) {
  dir.write("config/users.cfg", "[x\0root]\r\nActive=0\r\n"s);
  BuildActiveAccountList();
  EXPECT_FALSE(IsActiveAccount("root"));
  EXPECT_EQ(GetUserAccountList(), "");
}

TEST_F(Accounts, ANameWithOuterBlanksIsTheTrimmedAccount) {
  EXPECT_EQ(CreateUserAccount(" bob"), "exists");
  EXPECT_EQ(CreateUserAccount(" Eve "), "created");
  EXPECT_EQ(CreateUserAccount(" Eve "), "exists");
  EXPECT_EQ(RemoveUserAccount(" Eve "), "deleted");
  EXPECT_EQ(RemoveUserAccount(" Eve "), "notfound");
  EXPECT_EQ(dir.read("config/users.cfg").find("Eve"), std::string::npos);
}

TEST_F(Accounts, PasswordsAreStoredAsBase64AndTheLoginProofUsesThem) {
  EXPECT_EQ(GetPassword("alice"), "secret");
  EXPECT_EQ(GetPassword("Dora"), "");
  EXPECT_EQ(GetPassword("nobody"), "");
  EXPECT_EQ(SetPassword("Dora", "\xE9t\xE9"), 0);
  EXPECT_EQ(ReadIniValue("Dora", "Password", "", Paths().usersFile), "6XTp");
  EXPECT_EQ(SHA256Hex(GetPassword("Dora") + "KEY"), SHA256Hex("\xE9t\xE9KEY"));
}

TEST_F(Accounts, OneReadOfAnEntryAgreesWithTheSingleLookups) {
  for (const char* name : {"Alice", "bob", "Carl[x]", "Dora", "nobody", " ", "ALICE "}) {
    SCOPED_TRACE(name);
    const AccountEntry entry = ReadAccountEntry(name);
    EXPECT_EQ(entry.exists, AccountExists(name));
    EXPECT_EQ(entry.password, GetPassword(name));
  }
}

TEST_F(Accounts, PluginOperationsKeepFileAndActiveListInStep) {
  EXPECT_EQ(CreateUserAccount("Eve"), "created");
  EXPECT_EQ(CreateUserAccount("EVE"), "exists");
  EXPECT_EQ(GetUserAccountInfo("Eve", "Active"), "0");
  EXPECT_EQ(GetUserAccountInfo("Eve", "password"), "");
  EXPECT_FALSE(IsActiveAccount("eve"));

  EXPECT_EQ(ModifyUserAccount("Eve", "ACTIVE", "1"), "modified");
  EXPECT_TRUE(IsActiveAccount("Eve"));  // at once, without a rebuild
  EXPECT_EQ(ModifyUserAccount("eve", "active", "true"), "modified");
  EXPECT_EQ(ActiveAccountList.find("\0eve\0"s), ActiveAccountList.rfind("\0eve\0"s));  // not twice
  EXPECT_EQ(ModifyUserAccount("Eve", "Password", "pw"), "modified");
  EXPECT_EQ(ModifyUserAccount("Eve", "Email", "e@x"), "modified");
  EXPECT_EQ(ReadIniValue("Eve", "Email", "", Paths().usersFile), Base64Encode("e@x"));
  EXPECT_EQ(GetUserAccountInfo("Eve", "email"), "e@x");
  EXPECT_EQ(GetUserAccountInfo("Eve", "Password"), "pw");
  EXPECT_EQ(GetUserAccountInfo("Alice", "Comment"), "boss");
  EXPECT_EQ(ModifyUserAccount("nobody", "active", "1"), "notfound");
  EXPECT_EQ(GetUserAccountInfo("nobody", "active"), "");

  EXPECT_EQ(ModifyUserAccount("Alice", "active", "0"), "modified");
  EXPECT_FALSE(IsActiveAccount("alice"));
  EXPECT_EQ(RemoveUserAccount("eve"), "deleted");
  EXPECT_EQ(RemoveUserAccount("eve"), "notfound");
  EXPECT_FALSE(IsActiveAccount("eve"));
  EXPECT_EQ(ActiveAccountList, "\0carl[x]\0dora\0"s);
  BuildActiveAccountList();
  EXPECT_EQ(ActiveAccountList, "\0carl[x]\0dora\0"s);
}

TEST(AccountsWithoutFile, EveryoneIsAGuest) {
  testing::TempProgramDir dir;
  BuildActiveAccountList();
  EXPECT_EQ(ActiveAccountList, "\0"s);
  EXPECT_EQ(GetActiveUserAccountList(), "");
  EXPECT_EQ(GetUserAccountList(), "");
  EXPECT_FALSE(AccountExists("x"));
}

}  // namespace
}  // namespace velmorin
