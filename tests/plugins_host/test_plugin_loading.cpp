// Plugin libraries as the server meets them: the start-up scan with registration and the
// interface-version rule, loading the enabled general plugins, calls in both directions, the
// end of the run and unregistration. The plugins are the real libraries of tests/plugins/.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "codec/IniValues.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "plugins/PluginRegistry.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// Short enough to keep the suite fast, long enough for a loaded machine to run a registration.
constexpr auto kTestLimit = 2000ms;
// The hanging plugin sleeps 60 s; a run far below that did not wait for it.
constexpr auto kDidNotHang = 30s;

// The server side of the callback: records every call and answers "host:" + word + "|" + first.
class RecordingHost : public ICallback {
 public:
  struct Call {
    std::string sender, word, first, second;
    bool operator==(const Call&) const = default;
  };
  std::string command(const std::string& sender, const std::string& word, const std::string& first,
                      const std::string& second) override {
    calls.push_back({sender, word, first, second});
    if (onCall) onCall(calls.back());
    return "host:" + word + "|" + first;
  }
  std::vector<std::string> WordsFrom(const std::string& sender) const {
    std::vector<std::string> words;
    for (const Call& call : calls) {
      if (call.sender == sender) words.push_back(call.word);
    }
    return words;
  }

  std::vector<Call> calls;
  std::function<void(const Call&)> onCall;
};

class PluginTest : public ::testing::Test {
 protected:
  // Copies the built test plugin into plugins/ as <component>.so.
  void Install(const std::string& plugin, const std::string& component = "") {
    CopyAs(plugin, (component.empty() ? plugin : component) + ".so");
  }
  void CopyAs(const std::string& plugin, const std::string& fileName) {
    std::filesystem::create_directories(dir.path("plugins"));
    std::filesystem::copy_file(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/" + plugin + ".so",
                               dir.path("plugins/" + fileName), std::filesystem::copy_options::overwrite_existing);
  }
  std::string PluginPath(const std::string& component) { return dir.path("plugins/" + component + ".so"); }
  std::set<std::string> Listed(const PluginRegistry& plugins) {
    std::set<std::string> names;
    for (long index = 0; index < plugins.Count(); ++index) names.insert(plugins.Component(index));
    return names;
  }

  testing::TempProgramDir dir;
};

// ---- The interface-version rule -------------------------------------------------------------

TEST(PluginVersionRule, OnlyMajorOneWithMinorZeroIsAccepted) {
  for (const char* accepted : {"1", "1.0", "1.", "01.00", " 1 . 0 ", "1.0.7", "1.-1"}) {
    EXPECT_TRUE(AcceptsInterfaceVersion(accepted)) << accepted;
  }
  for (const char* refused : {"1.1", "2.0", "2", "0.9", "0", "", ".0", "1.01", "3.0.0", "one.zero"}) {
    EXPECT_FALSE(AcceptsInterfaceVersion(refused)) << refused;
  }
}

// ---- The start-up scan ----------------------------------------------------------------------

using PluginScan = PluginTest;

TEST_F(PluginScan, AMissingOrEmptyPluginDirectoryListsNothing) {
  EXPECT_EQ(PluginRegistry(dir.root(), kTestLimit).Count(), 0);
  std::filesystem::create_directories(dir.path("plugins"));
  const PluginRegistry plugins(dir.root(), kTestLimit);
  EXPECT_EQ(plugins.Count(), 0);
  EXPECT_EQ(plugins.GetIndex("echo"), -1);
  EXPECT_EQ(plugins.PluginIdent(0), "");
  EXPECT_EQ(plugins.Create(0), nullptr);
}

TEST_F(PluginScan, KeepsTheSevenFieldsOfEachAcceptedPlugin) {
  Install("echo");
  const PluginRegistry plugins(dir.root(), kTestLimit);
  ASSERT_EQ(plugins.Count(), 1);
  EXPECT_EQ(plugins.PluginAuthor(0), "Velmorin tests");
  EXPECT_EQ(plugins.Component(0), "echo");
  EXPECT_EQ(plugins.PluginIdent(0), "echo-test");
  EXPECT_EQ(plugins.PluginName(0), "Echo");
  EXPECT_EQ(plugins.PluginInternalVersion(0), "1.0");
  EXPECT_EQ(plugins.PluginType(0), "general");
  EXPECT_EQ(plugins.PluginVersion(0), "2.5.1");
  for (long outside : {-1L, 1L}) {
    EXPECT_EQ(plugins.Component(outside), "");
    EXPECT_EQ(plugins.PluginType(outside), "");
    EXPECT_EQ(plugins.PluginVersion(outside), "");
  }
}

TEST_F(PluginScan, ListsOnlyInterfaceVersionOneZero) {
  for (const char* component : {"ver-1", "ver-1.0", "ver-1.1", "ver-2.0", "ver-0.9"}) Install("versioned", component);
  const PluginRegistry plugins(dir.root(), kTestLimit);
  EXPECT_EQ(Listed(plugins), (std::set<std::string>{"ver-1", "ver-1.0"}));
}

TEST_F(PluginScan, SkipsWhatCannotBeRegisteredOrCreatedButNotAFailedRegistrationStatus) {
  Install("unregistrable");  // no registration export
  Install("foreign_abi");    // another ABI number
  Install("failing");        // registration reports failure: not examined
  Install("echo", ".hidden");
  CopyAs("echo", "echo.so.bak");  // not a plugin library name
  CopyAs("echo", ".so");          // no component name
  dir.write("plugins/junk.so", "not a library");
  std::filesystem::create_directories(dir.path("plugins/folder.so"));
  const PluginRegistry plugins(dir.root(), kTestLimit);
  EXPECT_EQ(Listed(plugins), (std::set<std::string>{"failing", ".hidden"}));
}

TEST_F(PluginScan, GetIndexIgnoresCaseAndFindsTheLastOfEqualNames) {
  Install("echo", "Echo");
  Install("echo", "ECHO");
  Install("versioned", "ver-1");
  const PluginRegistry plugins(dir.root(), kTestLimit);
  ASSERT_EQ(plugins.Count(), 3);
  // File-name order, byte by byte: upper case before lower case.
  EXPECT_EQ(plugins.Component(0), "ECHO");
  EXPECT_EQ(plugins.Component(1), "Echo");
  EXPECT_EQ(plugins.Component(2), "ver-1");
  const long versioned = 2;
  const long lastEcho = 1;
  EXPECT_EQ(plugins.GetIndex("echo"), lastEcho);
  EXPECT_EQ(plugins.GetIndex("eCHo"), lastEcho);
  EXPECT_EQ(plugins.GetIndex("VER-1"), versioned);
  EXPECT_EQ(plugins.GetIndex("ech"), -1);
  EXPECT_EQ(plugins.GetIndex("echo.so"), -1);
}

TEST_F(PluginScan, LoadsPrivateCopiesThatLeaveNothingBehindAndRemovesThoseADeadProcessLeft) {
  Install("echo");
  // A server that died during a load (no process has pid 2^22 + 1 or more), and this process.
  dir.write("run/plugins/4194305-AbCdEf/echo.so", "left behind");
  const std::string own = "run/plugins/" + std::to_string(::getpid()) + "-XyZ123/echo.so";
  dir.write(own, "in use");
  const PluginRegistry plugins(dir.root(), kTestLimit);
  ASSERT_EQ(plugins.Count(), 1);
  const std::unique_ptr<LoadedPlugin> running = plugins.Create(0);
  ASSERT_NE(running, nullptr);
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path("run/plugins"))) {
    left.insert(entry.path().string().substr(dir.root().size()));
  }
  EXPECT_EQ(left, (std::set<std::string>{own.substr(0, own.rfind('/')), own}));
  EXPECT_EQ(running->PluginIdent(), "echo-test") << "the unlinked copy stays mapped";
}

TEST_F(PluginScan, RegistersEveryLibraryAndAHangingRegistrationNeitherBlocksNorCounts) {
  Install("hanging");
  Install("echo");
  const auto start = std::chrono::steady_clock::now();
  const PluginRegistry plugins(dir.root(), 200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kDidNotHang);
  EXPECT_EQ(Listed(plugins), (std::set<std::string>{"echo"}));
  EXPECT_EQ(dir.read("plugins/echo.so.log"), "register\n");
}

// ---- Registration and unregistration --------------------------------------------------------

using PluginRegistration = PluginTest;

TEST_F(PluginRegistration, ResultsOfRegisterLibrary) {
  Install("echo");
  Install("failing");
  Install("unregistrable");
  Install("hanging");
  dir.write("plugins/junk.so", "not a library");
  EXPECT_EQ(RegisterLibrary(PluginPath("echo"), true, kTestLimit), 0);
  EXPECT_EQ(RegisterLibrary(PluginPath("echo"), false, kTestLimit), 0);
  EXPECT_EQ(dir.read("plugins/echo.so.log"), "register\nunregister\n");
  EXPECT_EQ(RegisterLibrary(PluginPath("failing"), true, kTestLimit), 0);
  EXPECT_EQ(RegisterLibrary(PluginPath("unregistrable"), true, kTestLimit), kRegisterNoExport);
  EXPECT_EQ(RegisterLibrary(PluginPath("junk"), true, kTestLimit), kRegisterNotLoaded);
  EXPECT_EQ(RegisterLibrary(PluginPath("absent"), true, kTestLimit), kRegisterNotLoaded);
  EXPECT_EQ(RegisterLibrary(PluginPath("hanging"), true, 200ms), kRegisterTimedOut);
}

TEST_F(PluginRegistration, UnregisterRunsEveryLibrarysExportWithoutWaitingForAHangingOne) {
  Install("hanging");
  Install("echo");
  Install("failing");
  const auto start = std::chrono::steady_clock::now();
  UnregisterPlugins(dir.root(), 200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kDidNotHang);
  EXPECT_EQ(dir.read("plugins/echo.so.log"), "unregister\n");
}

// ---- Loading, calling and terminating general plugins ---------------------------------------

class PluginLoading : public PluginTest {
 protected:
  void Load(long localeId = 1031, bool alwaysOnTop = true) {
    plugins = PluginRegistry(dir.root(), kTestLimit);
    LoadGeneralPlugins(plugins, objects, host, localeId, alwaysOnTop);
  }
  std::vector<std::string> Loaded() const {
    std::vector<std::string> idents;
    for (const auto& [ident, plugin] : objects.Snapshot()) idents.push_back(ident);
    return idents;
  }
  LoadedPlugin& Echo() {
    LoadedPlugin* echo = objects.Find("echo-test");
    if (echo == nullptr) throw std::runtime_error("echo is not loaded");
    return *echo;
  }

  RecordingHost host;
  PluginRegistry plugins;
  PluginObjects objects;  // after the host: released before it
};

TEST_F(PluginLoading, LoadsEnabledGeneralPluginsOnlyAndWritesNoKeys) {
  Install("echo");
  Install("failing");
  Install("identity_cipher");
  dir.write("config/server.cfg", "[Plugins]\r\nfailing=0\r\n");
  Load();
  EXPECT_EQ(Loaded(), std::vector<std::string>{"echo-test"});
  EXPECT_GE(plugins.GetIndex("failing"), 0) << "a disabled plugin stays listed";
  EXPECT_EQ(dir.read("config/server.cfg"), "[Plugins]\r\nfailing=0\r\n");
}

TEST_F(PluginLoading, OnlyAKeyThatConvertsToFalseDisablesAPlugin) {
  for (const char* component : {"zero-1", "false-1", "one-1", "true-1", "word-1", "empty-1", "missing-1"}) {
    Install("versioned", component);
  }
  dir.write("config/server.cfg",
            "[Plugins]\r\nzero-1=0\r\nfalse-1=False\r\none-1=1\r\ntrue-1=true\r\nword-1=yes\r\nempty-1=\r\n");
  Load();
  const std::vector<std::string> loaded = Loaded();
  EXPECT_EQ(std::set<std::string>(loaded.begin(), loaded.end()),
            (std::set<std::string>{"one-1", "true-1", "word-1", "empty-1", "missing-1"}));
}

TEST_F(PluginLoading, InitialiseGetsTheServersValuesAndMayCallBack) {
  Install("echo");
  Load(1031, true);
  std::string first, second;
  EXPECT_EQ(Echo().Command("Initialised", first, second), "1031\0"s + dir.root() + "\0server\0"s + "1");
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0], (RecordingHost::Call{"echo-test", "AddEventHandler", "NewMessage", ""}));

  TerminatePlugins(objects, host);
  Load(1033, false);
  EXPECT_EQ(Echo().Command("Initialised", first, second), "1033\0"s + dir.root() + "\0server\0"s + "0");
}

TEST_F(PluginLoading, ASecondPluginWithATakenIdentityIsInitialisedButNotAdded) {
  Install("echo");
  Install("echo", "echo_copy");
  Load();
  EXPECT_EQ(Loaded(), std::vector<std::string>{"echo-test"});
  EXPECT_EQ(host.WordsFrom("echo-test"), (std::vector<std::string>{"AddEventHandler", "AddEventHandler"}));
  EXPECT_EQ(objects.Find("ECHO-TEST"), objects.Find("echo-test")) << "identities are keys without regard to case";
}

TEST_F(PluginLoading, CommandCarriesNulBytesAndReturnsChangedParameters) {
  Install("echo");
  Load();
  std::string first = "a\0b"s, second = "\0c\0"s;
  EXPECT_EQ(Echo().Command("Echo", first, second), "a\0b|\0c\0"s);
  EXPECT_EQ(first, "a\0b"s) << "untouched parameters stay as they were";
  EXPECT_EQ(second, "\0c\0"s);

  EXPECT_EQ(Echo().Command("Swap", first, second), "swapped");
  EXPECT_EQ(first, "\0c\0<"s);
  EXPECT_EQ(second, "a\0b>"s);

  EXPECT_EQ(Echo().Command("Clear", first, second), "");
  EXPECT_EQ(first, "") << "a parameter set to empty differs from one left alone";
  EXPECT_EQ(second, "a\0b>"s);

  EXPECT_EQ(Echo().Command("NoSuchWord", first, second), "");
}

TEST_F(PluginLoading, APluginCallsTheServerWithItsIdentityAndGetsTheAnswerWhole) {
  Install("echo");
  Load();
  host.calls.clear();
  std::string first = "Add\0Line"s, second = "2\0"s;
  EXPECT_EQ(Echo().Command("CallHost", first, second), "host:Add\0Line|2\0"s);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0], (RecordingHost::Call{"echo-test", "Add\0Line"s, "2\0"s, "p2\0tail"s}));
}

TEST_F(PluginLoading, AFailedCallIsReportedAndChangesNothing) {
  Install("echo");
  Install("failing");
  Load();
  ASSERT_NE(objects.Find("failing-test"), nullptr) << "a plugin whose initialise failed still runs";

  std::string first = "one", second = "two";
  EXPECT_EQ(Echo().Command("Fail", first, second), std::nullopt);
  EXPECT_EQ(objects.Find("failing-test")->Command("NewMessage", first, second), std::nullopt);
  EXPECT_EQ(first, "one");
  EXPECT_EQ(second, "two");
  EXPECT_EQ(Echo().Command("Echo", first, second), "one|two") << "a failure does not disable the plugin";
}

TEST_F(PluginLoading, TerminateReachesEveryPluginWhileItIsStillInTheCollection) {
  Install("echo");
  Install("failing");
  Install("versioned", "ver-1");
  Load();
  ASSERT_EQ(objects.size(), 3u);
  bool echoWasReachable = false;
  host.onCall = [&](const RecordingHost::Call& call) {
    if (call.word == "Terminating") echoWasReachable = objects.Find(call.sender) != nullptr;
  };
  TerminatePlugins(objects, host);
  EXPECT_TRUE(objects.empty());
  EXPECT_TRUE(echoWasReachable);
  EXPECT_EQ(host.calls.back(), (RecordingHost::Call{"echo-test", "Terminating", "server", ""}));
}

TEST_F(PluginLoading, TheSettingsChoiceReplacesThePluginsSection) {
  dir.write("config/server.cfg", "[General]\r\nPort=1000\r\n[Plugins]\r\nremoved=1\r\necho=0\r\n");
  EXPECT_EQ(WritePluginsSection({{"echo", true}, {"failing", false}}), 0);
  EXPECT_EQ(SplitLines(ReadIniValue("Plugins", std::nullopt, "", Paths().settingsFile)),
            (std::vector<std::string>{"echo", "failing"}));
  EXPECT_EQ(ReadIniValue("Plugins", "echo", "", Paths().settingsFile), "1");
  EXPECT_EQ(ReadIniValue("Plugins", "failing", "", Paths().settingsFile), "0");
  EXPECT_EQ(ReadIniValue("General", "Port", "", Paths().settingsFile), "1000");
}

// ---- Encryption members ---------------------------------------------------------------------

using PluginEncryption = PluginTest;

TEST_F(PluginEncryption, TheIdentityCipherAnswersEveryMember) {
  Install("identity_cipher");
  const PluginRegistry plugins(dir.root(), kTestLimit);
  ASSERT_EQ(plugins.PluginType(plugins.GetIndex("IDENTITY_CIPHER")), "encryption");
  const std::unique_ptr<LoadedPlugin> cipher = plugins.Create(plugins.GetIndex("identity_cipher"));
  ASSERT_NE(cipher, nullptr);
  EXPECT_TRUE(cipher->InitialiseEncryption(dir.root(), 1033, false));
  EXPECT_EQ(cipher->Identity(), "identity");
  EXPECT_EQ(cipher->Encrypt(3, "a\0b"s), "a\0b"s);
  EXPECT_EQ(cipher->Decrypt(3, "\0"s), "\0"s);
  EXPECT_EQ(cipher->GetKey(3), "key3");
  EXPECT_TRUE(cipher->SetKey(3, "client\0key"s));
  EXPECT_EQ(cipher->GetKey(3), "key3:client\0key"s);
  EXPECT_EQ(cipher->GetKey(4), "key4");
  EXPECT_TRUE(cipher->Reset(3));
  EXPECT_EQ(cipher->GetKey(3), "key3");
  EXPECT_TRUE(cipher->ShowAbout());
  EXPECT_TRUE(cipher->ShowConfiguration());
}

TEST_F(PluginEncryption, MembersAPluginDoesNotOfferFail) {
  Install("echo");
  Install("failing");
  Install("foreign_abi");
  const std::unique_ptr<LoadedPlugin> echo = LoadedPlugin::Create(PluginPath("echo"));
  const std::unique_ptr<LoadedPlugin> failing = LoadedPlugin::Create(PluginPath("failing"));
  ASSERT_NE(echo, nullptr);
  ASSERT_NE(failing, nullptr);
  EXPECT_EQ(echo->Encrypt(1, "text"), std::nullopt);
  EXPECT_EQ(echo->Identity(), std::nullopt);
  EXPECT_EQ(failing->Decrypt(1, "text"), std::nullopt);
  EXPECT_EQ(failing->GetKey(1), std::nullopt);
  EXPECT_FALSE(failing->SetKey(1, "key"));
  EXPECT_FALSE(failing->Reset(1));
  EXPECT_FALSE(failing->InitialiseEncryption(dir.root(), 1033, false));
  EXPECT_EQ(LoadedPlugin::Create(PluginPath("foreign_abi")), nullptr) << "another ABI is never created";
}

}  // namespace
}  // namespace velmorin
