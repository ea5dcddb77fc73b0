// Ban rules: the rules the server holds must be the rules the next start reads. The input's
// ban file is loaded, rules from the input are added, the lists are saved and loaded again and
// must be unchanged; every nickname rule bans its own nickname before and after.
//
// Input: a 16-bit little-endian length and that many bytes of config/ban.cfg, then rules to add:
// a byte (kind % 3: "ip", "nick", "nickrange") and the rule with a one-byte length. Each rule is
// also tested against the address and nickname checks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/ProfileFile.hpp"
#include "config/BanRules.hpp"
#include "platform/ProgramPaths.hpp"
#include "support/FuzzCheck.hpp"
#include "support/FuzzInput.hpp"
#include "support/TempProgramDir.hpp"

namespace {

bool SameRules(const velmorin::BanLists& a, const velmorin::BanLists& b) {
  if (a.addressRules != b.addressRules || a.nicknameRules != b.nicknameRules || a.nicknameRangeRules != b.nicknameRangeRules) return false;
  if (a.addressRangeRules.size() != b.addressRangeRules.size()) return false;
  for (std::size_t i = 0; i < a.addressRangeRules.size(); ++i) {
    if (a.addressRangeRules[i].from != b.addressRangeRules[i].from || a.addressRangeRules[i].to != b.addressRangeRules[i].to) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorin;
  static testing::TempProgramDir dir;
  static const char* const kKinds[] = {"ip", "nick", "nickrange"};
  fuzz::FuzzInput input(data, size);
  dir.write("config/ban.cfg", std::string(input.Bytes(input.Word())));
  LoadBanList();

  while (!input.empty()) {
    const char* kind = kKinds[input.Byte() % 3];
    const std::string rule(input.ShortText());
    AddBanRule(kind, rule);
    IsAddressBanned(rule);
    IsNicknameBanned(rule);
  }
  for (const std::string& nickname : Bans().nicknameRules) FUZZ_CHECK(IsNicknameBanned(nickname));

  const BanLists held = Bans();
  FUZZ_CHECK(SaveBanList() == 0);
  profile::Flush(Paths().banFile);
  LoadBanList();
  FUZZ_CHECK(SameRules(Bans(), held));
  for (const std::string& nickname : Bans().nicknameRules) FUZZ_CHECK(IsNicknameBanned(nickname));
  return 0;
}
