// The profile-file layer: the input is parsed as a file, then values are written, keys and
// sections deleted, and everything read back. A write that succeeds must read back as written
// (cut at NUL, line breaks as spaces, blanks trimmed); a deleted key must be gone; and after the
// cache is dropped the file on disk must give exactly what the cache gave.
//
// Input: a 16-bit little-endian length and that many bytes of file, then operations: a byte
// (kind % 3: write, delete the key, delete the section), a section name, a key and (for a write)
// a value, each with a one-byte length.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec/ProfileFile.hpp"
#include "platform/Text.hpp"
#include "support/FuzzCheck.hpp"
#include "support/FuzzInput.hpp"
#include "support/TempProgramDir.hpp"

namespace {

using velmorin::fuzz::FuzzInput;
namespace profile = velmorin::profile;

// What a written value reads back as.
std::string AsRead(std::string_view value) {
  std::string line(value.substr(0, value.find('\0')));
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return velmorin::Trim(line, " \t");
}

struct View {
  std::vector<std::string> sections;
  std::vector<std::vector<std::string>> keys;
  std::vector<std::vector<std::optional<std::string>>> values;
  bool operator==(const View&) const = default;
};

// Every section, key and value, as the layer reads them.
View Read(const std::string& path) {
  View view;
  view.sections = profile::SectionNames(path);
  for (const std::string& section : view.sections) {
    view.keys.push_back(profile::KeyNames(path, section));
    std::vector<std::optional<std::string>> values;
    for (const std::string& key : view.keys.back()) values.push_back(profile::ReadValue(path, section, key));
    view.values.push_back(std::move(values));
  }
  return view;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velmorin::testing::TempProgramDir dir;
  const std::string path = dir.path("config/fuzz.ini");
  FuzzInput input(data, size);
  dir.write("config/fuzz.ini", std::string(input.Bytes(input.Word())));
  Read(path);

  while (!input.empty()) {
    const int kind = input.Byte() % 3;
    const std::string section(input.ShortText());
    const std::string key(input.ShortText());
    if (kind == 0) {
      const std::string value(input.ShortText());
      if (profile::WriteValue(path, section, key, value) == 0) {
        FUZZ_CHECK(profile::ReadValue(path, section, key) == AsRead(value));
      }
    } else if (kind == 1) {
      if (profile::DeleteKey(path, section, key) == 0) FUZZ_CHECK(!profile::ReadValue(path, section, key));
    } else {
      if (profile::DeleteSection(path, section) == 0) FUZZ_CHECK(!profile::ReadValue(path, section, key));
    }
  }

  // The file as written parses to what the cache held.
  const View cached = Read(path);
  profile::Flush(path);
  FUZZ_CHECK(Read(path) == cached);
  return 0;
}
