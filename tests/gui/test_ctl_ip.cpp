// The address entry control as typed into, key by key, and the address ban editor that reads it.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>

#include "admin-gui/AddressEdit.hpp"
#include "admin-gui/BanRuleDialog.hpp"
#include "gui/DialogServer.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

std::string Typed(const std::string& keys, bool wildcards) {
  AddressEdit ip;
  ip.SetWildcards(wildcards);
  ip.show();
  for (const char key : keys) QTest::keyClick(ip.CurrentField(), key);
  return ip.Address();
}

TEST(AddressEdit, TypedKeysMakeTheAddressOrNothingWhileIncomplete) {
  struct Case {
    const char* keys;
    bool wildcards;
    const char* address;
  };
  for (const Case& c : {
           Case{"192.168.1.20", false, "192.168.1.20"},
           Case{"192.168.1.*", true, "192.168.1.*"},
           Case{"*.*.*.*", true, "*.*.*.*"},
           Case{"192.168.1.*", false, ""},  // no wildcard: the last part stays empty
           Case{"10.0.0", false, ""},       // incomplete
           Case{"300.1.2.3", false, "255.1.2.3"},  // above 255; three digits move on
           Case{"1..2.3.4", false, "1.2.3.4"},     // "." in an empty part stays there
           Case{"1a2.3-4.5 6", false, ""},  // only digits are kept: still incomplete
           Case{"1a2.3-4.5 6.7", false, "12.34.56.7"},
           Case{"007.1.2.3", false, "7.1.2.3"},
           Case{"10.*.0.1", true, "10.*.0.1"},  // "*" moves on by itself; the "." after it is spare
       }) {
    EXPECT_EQ(Typed(c.keys, c.wildcards), c.address) << c.keys << (c.wildcards ? " (wildcards)" : "");
  }
}

TEST(AddressEdit, SetAddressKeepsWhatTypingWouldKeep) {
  struct Case {
    const char* text;
    bool wildcards;
    const char* address;
  };
  for (const Case& c : {Case{" 010.001.000.255 ", false, "10.1.0.255"}, Case{"10.*.0.1", true, "10.*.0.1"},
                        Case{"10.*.0.1", false, ""}, Case{"1.2.3", false, ""}, Case{"1.2.3.4.5", false, ""},
                        Case{"1.2.3.999", false, "1.2.3.255"}}) {
    AddressEdit ip;
    ip.SetWildcards(c.wildcards);
    ip.SetAddress(c.text);
    EXPECT_EQ(ip.Address(), c.address) << c.text;
  }
}

TEST(BanRuleDialog, RefusesIncompleteEntriesAndHandsOnAddressesAndRanges) {
  testing::TempProgramDir dir;
  testing::CopyLanguageFiles(dir.path("language"));
  std::vector<std::string> accepted;
  BanRuleDialog editor([&accepted](const std::string& entry) {
    accepted.push_back(entry);
    return AdminResult::Done();
  });
  editor.SetLanguage(dir.path("language/English.lng"));
  editor.show();
  {
    testing::ModalAnswerer ok(QMessageBox::Ok);
    editor.From().SetAddress("10.0.0");
    EXPECT_FALSE(editor.Confirm().ok());
    editor.SetRange(true);
    editor.From().SetAddress("10.0.0.1");
    EXPECT_FALSE(editor.Confirm().ok());
    EXPECT_EQ(ok.texts, (std::vector<std::string>{"Please enter a complete IP address.",
                                                  "Please enter both addresses of the range completely."}));
  }
  EXPECT_TRUE(accepted.empty());
  EXPECT_TRUE(editor.isVisible());
  editor.To().SetAddress("10.0.0.50");
  EXPECT_TRUE(editor.Confirm().ok());
  editor.SetEntry("192.168.*.*");
  EXPECT_TRUE(editor.Confirm().ok());
  EXPECT_EQ(accepted, (std::vector<std::string>{"10.0.0.1-10.0.0.50", "192.168.*.*"}));
}

}  // namespace
}  // namespace velmorin
