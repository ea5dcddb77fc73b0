#include <gtest/gtest.h>

#include "codec/IniValues.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/MachineAddresses.hpp"
#include "net/SocketError.hpp"
#include "net/WinsockErrors.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {


class InterfaceList : public ::testing::Test {
 protected:
  void TearDown() override { SetInterfaceSource(nullptr); }
  void Use(std::optional<std::vector<InterfaceAddress>> list) {
    SetInterfaceSource([list] { return list; });
  }
};

TEST_F(InterfaceList, LocalAddressesSkipLoopbackAndEmptyEntries) {
  Use(std::vector<InterfaceAddress>{{"127.0.0.1", "255.0.0.0"},
                                    {"192.168.1.10", "255.255.255.0"},
                                    {"0.0.0.0", "0.0.0.0"},
                                    {"", ""},
                                    {"10.0.0.7", "255.0.0.0"}});
  EXPECT_EQ(GetLocalIPs(), "192.168.1.10\r\n10.0.0.7");
  Use(std::vector<InterfaceAddress>{{"127.0.0.1", "255.0.0.0"}});
  EXPECT_EQ(GetLocalIPs(), "");
  Use(std::nullopt);  // the query failed
  EXPECT_EQ(GetLocalIPs(), "");
  EXPECT_FALSE(IsBroadcastAddress("192.168.1.255"));
  EXPECT_TRUE(IsBroadcastAddress("255.255.255.255"));
}

TEST_F(InterfaceList, BroadcastAddressesAreTheDirectedOnesOfEachInterface) {
  Use(std::vector<InterfaceAddress>{{"192.168.1.10", "255.255.255.0"}, {"127.0.0.1", "255.0.0.0"}});
  const std::pair<const char*, bool> cases[] = {
      {"192.168.1.255", true}, {"255.255.255.255", true}, {"192.168.1.10", false},
      {"192.168.2.255", false}, {"127.255.255.255", false}, {"not an address", false},
      {"", false},
  };
  for (const auto& [address, expected] : cases) EXPECT_EQ(IsBroadcastAddress(address), expected) << address;
}

TEST(SocketService, TheSystemInterfaceListNeverContainsLoopback) {
  for (const std::string& address : SplitLines(GetLocalIPs() + "\r\n")) EXPECT_NE(address, "127.0.0.1");
  EXPECT_EQ(LookupHostName("not an address"), "not an address");
}

TEST(SocketService, ErrorTextsComeFromTheLanguageAndEveryMappedNumberHasOne) {
  const std::string english = std::string(VELMORIN_SOURCE_DIR) + "/language/English.lng";
  CurrentLanguage().SetLanguage("modMain", english);
  EXPECT_EQ(WinsockErrorText(10048), ReadIniValue("frmServer.Data", "WinsockErr10048", "", english));
  EXPECT_FALSE(WinsockErrorText(10048).empty());
  EXPECT_EQ(WinsockErrorText(12345), "");
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    const std::string path = std::string(VELMORIN_SOURCE_DIR) + "/language/" + file;
    for (int number : KnownWinsockErrors()) {
      EXPECT_FALSE(ReadIniValue("frmServer.Data", "WinsockErr" + std::to_string(number), "", path).empty())
          << file << " lacks WinsockErr" << number;
    }
  }
}

}  // namespace
}  // namespace velmorin
