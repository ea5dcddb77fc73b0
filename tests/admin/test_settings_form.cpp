// The settings form's key view: the dialog's conversions on the way in, its units on the way
// out, and the refusal of anything that does not convert.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "admin/SettingsForm.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

SettingsForm Defaults() {
  SettingsForm form;
  form.settings.General.Port = 1000;
  form.settings.General.MaxUserCount = 256;
  form.settings.General.PingTimeout = 15000;
  form.settings.General.PingDelay = 300000;
  form.settings.Logging.LogPath = "/srv/velmorin/logs/";
  return form;
}

TEST(SettingsForm, ConvertsValuesAsTheDialogStoresAndShowsThem) {
  struct Case {
    const char* key;
    const char* typed;
    const char* shown;  // Get afterwards
    std::function<long(const ServerSettingsRecord&)> stored;
    long expected;
  };
  const auto port = [](const ServerSettingsRecord& r) { return r.General.Port; };
  const auto users = [](const ServerSettingsRecord& r) { return r.General.MaxUserCount; };
  const auto timeout = [](const ServerSettingsRecord& r) { return r.General.PingTimeout; };
  const auto delay = [](const ServerSettingsRecord& r) { return r.General.PingDelay; };
  const auto toolbar = [](const ServerSettingsRecord& r) { return r.General.ToolbarHeight; };
  const auto textLength = [](const ServerSettingsRecord& r) { return r.General.MaxTextLength; };
  const auto rate = [](const ServerSettingsRecord& r) { return r.General.MaxConnectionRate; };
  const Case cases[] = {
      {"General.Port", "2000", "2000", port, 2000},
      {"General.Port", "65535", "65535", port, 65535},
      {"General.Port", "65536", "1000", port, 1000},
      {"General.Port", "0", "1000", port, 1000},
      {"general.port", " 4321 ", "4321", port, 4321},
      {"General.MaxUserCount", "100000", "32768", users, 32768},
      {"General.MaxUserCount", "0", "256", users, 256},
      {"General.MaxUserCount", "12", "12", users, 12},
      {"General.PingTimeout", "20", "20", timeout, 20000},
      {"General.PingTimeout", "0.5", "0.5", timeout, 500},
      {"General.PingTimeout", "0", "15", timeout, 15000},
      {"General.PingDelay", "2.5", "2.5", delay, 150000},
      {"General.PingDelay", "1", "1", delay, 60000},
      {"General.PingDelay", "", "5", delay, 300000},
      {"General.ToolbarHeight", "0", "0", toolbar, 0},
      {"General.ToolbarHeight", "1", "380", toolbar, 380},
      {"General.ToolbarHeight", "500", "380", toolbar, 380},
      {"General.ToolbarHeight", "off", "0", toolbar, 0},
      {"General.MaxTextLength", "", "256", textLength, 256},
      {"General.MaxTextLength", "1024", "1024", textLength, 1024},
      // 0 turns the limit of new connections per address off; only empty is the default.
      {"General.MaxConnectionRate", "0", "0", rate, 0},
      {"General.MaxConnectionRate", "", "100", rate, 100},
      {"General.MaxConnectionRate", "7", "7", rate, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = '" + c.typed + "'");
    SettingsForm form = Defaults();
    ASSERT_FALSE(form.Set(c.key, c.typed));
    EXPECT_EQ(c.stored(form.settings), c.expected);
    EXPECT_EQ(form.Get(c.key), c.shown);
  }
}

TEST(SettingsForm, ConvertsTextsAsTheDialogStoresThem) {
  SettingsForm form = Defaults();
  ASSERT_FALSE(form.Set("General.Description", "first line\r\nsecond\nthird"));
  EXPECT_EQ(form.settings.General.Description, "first line<br>second<br>third");
  EXPECT_EQ(form.Get("General.Description"), "first line\nsecond\nthird");

  ASSERT_FALSE(form.Set("General.AdministratorName", std::string(100, 'a')));
  EXPECT_EQ(form.settings.General.AdministratorName, std::string(64, 'a'));
  ASSERT_FALSE(form.Set("Chatrooms.StandardChatroom", "  Lobby  "));
  EXPECT_EQ(form.settings.Chatrooms.StandardChatroom, "Lobby");
  ASSERT_FALSE(form.Set("General.ToolbarOrder", "online, ,exit"));
  EXPECT_EQ(form.settings.General.ToolbarOrder, "online,,exit");
  ASSERT_FALSE(form.Set("Log.Pattern", "%time %message"));
  EXPECT_EQ(form.settings.Log.Pattern, std::string("\x04 \x02"));
  EXPECT_EQ(form.Get("log.PATTERN"), "%time %message");
  ASSERT_FALSE(form.Set("Logging.LogPath", "/var/log/velmorin"));
  EXPECT_EQ(form.settings.Logging.LogPath, "/var/log/velmorin/");
  ASSERT_FALSE(form.Set("LogMessages.ClientJoinedChatroom", "yes"));
  EXPECT_TRUE(form.settings.LogMessages[5].Show);
  ASSERT_FALSE(form.Set("LogMessages.ErrorRaised_Color", "65280"));
  EXPECT_EQ(form.settings.LogMessages[13].Color, 65280);
  ASSERT_FALSE(form.Set("Start.Window", "-8,-8,1024,768"));
  EXPECT_EQ(form.settings.Start.Window, "-8,-8,1024,768");
}

TEST(SettingsForm, RefusesUnknownKeysReadOnlyKeysAndValuesThatDoNotConvert) {
  struct Case {
    const char* key;
    std::string typed;
    const char* notice;
  };
  const Case cases[] = {
      {"General.Nothing", "1", "noticeUnknownSetting"},
      {"Port", "2000", "noticeUnknownSetting"},
      {"", "", "noticeUnknownSetting"},
      {"Info.Version", "9.9.9", "noticeReadOnlySetting"},
      {"Info.Language", "../server.cfg", "noticeInvalidSetting"},
      {"General.Port", "12a", "noticeInvalidSetting"},
      {"General.Port", "-5", "noticeInvalidSetting"},
      {"General.Port", "99999999999", "noticeInvalidSetting"},
      {"General.MaxUserCount", "1e3", "noticeInvalidSetting"},
      {"General.PingTimeout", "1.2.3", "noticeInvalidSetting"},
      {"General.PingTimeout", "abc", "noticeInvalidSetting"},
      {"General.PingTimeout", "9999999", "noticeInvalidSetting"},  // past the file's 32-bit range in ms
      {"General.PingDelay", "-1", "noticeInvalidSetting"},
      {"General.AllowGuests", "maybe", "noticeInvalidSetting"},
      {"General.ToolbarHeight", "tall", "noticeInvalidSetting"},
      {"LogMessages.Connected_Color", "16777216", "noticeInvalidSetting"},
      {"LogMessages.Connected_Color", "", "noticeInvalidSetting"},
      {"Logging.LogPath", "logs/", "noticeInvalidSetting"},
      {"General.AdministratorName", "a\x01z", "noticeInvalidSetting"},
      {"General.Description", std::string(2000, 'd'), "noticeInvalidSetting"},
      {"Start.Window", "1,2,3", "noticeInvalidSetting"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = '" + c.typed.substr(0, 20) + "'");
    SettingsForm form = Defaults();
    const std::optional<SettingRefusal> refusal = form.Set(c.key, c.typed);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->notice, c.notice);
    EXPECT_EQ(form.Get("General.Port"), "1000");
    EXPECT_EQ(form.settings.General.PingTimeout, 15000);
    EXPECT_EQ(form.settings.Logging.LogPath, "/srv/velmorin/logs/");
  }
}

TEST(SettingsForm, EveryKeyIsReadableAndTheKeysAreUnique) {
  const SettingsForm form = Defaults();
  std::set<std::string> seen;
  for (const std::string& key : SettingsForm::Keys()) {
    EXPECT_TRUE(form.Get(key)) << key;
    EXPECT_TRUE(seen.insert(LowerCase(key)).second) << key;
  }
  EXPECT_EQ(SettingsForm::CanonicalKey("logmessages.sendinguserlist"), "LogMessages.SendingUserlist");
}

}  // namespace
}  // namespace velmorin
