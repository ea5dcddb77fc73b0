// Replays a fuzz target's corpus: every file of fuzz/corpus/<target>/ is one input, run through
// the target's own entry point. Built once per target (see CMakeLists.txt beside this file), so
// each target's process-wide set-up stays in its own process. A target reports a broken
// invariant by aborting; the message names the input file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/FuzzCheck.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORIN_FUZZ_CORPUS)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzCorpus, EveryInputRunsThroughTheTargetCleanly) {
  ASSERT_TRUE(std::filesystem::is_directory(VELMORIN_FUZZ_CORPUS)) << VELMORIN_FUZZ_CORPUS;
  const std::vector<std::filesystem::path> files = CorpusFiles();
  EXPECT_FALSE(files.empty()) << "no inputs for " << VELMORIN_FUZZ_TARGET;
  for (const std::filesystem::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = file.string();
    velmorin::fuzz::currentInput = name.c_str();
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0) << name;
  }
  velmorin::fuzz::currentInput = nullptr;
}

}  // namespace
