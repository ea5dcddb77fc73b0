// The check a plugin file passes before the loader maps it: a real test plugin cut short at
// every size that used to kill the server, and headers made hostile field by field.

#include <elf.h>
#include <link.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "plugins/ElfImageCheck.hpp"

namespace velmorin {
namespace {

std::string RealPlugin() {
  std::ifstream in(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/napping.so", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ElfW(Ehdr) HeaderOf(const std::string& image) {
  ElfW(Ehdr) header{};
  std::memcpy(&header, image.data(), sizeof header);
  return header;
}

// The image with its ELF header changed by `change`.
std::string WithHeader(std::string image, const std::function<void(ElfW(Ehdr)&)>& change) {
  ElfW(Ehdr) header = HeaderOf(image);
  change(header);
  std::memcpy(image.data(), &header, sizeof header);
  return image;
}

// The image with the program header of its first loadable segment changed by `change`.
std::string WithFirstLoad(std::string image, const std::function<void(ElfW(Phdr)&)>& change) {
  const ElfW(Ehdr) header = HeaderOf(image);
  for (std::size_t index = 0; index < header.e_phnum; ++index) {
    char* at = image.data() + header.e_phoff + index * sizeof(ElfW(Phdr));
    ElfW(Phdr) segment{};
    std::memcpy(&segment, at, sizeof segment);
    if (segment.p_type != PT_LOAD) continue;
    change(segment);
    std::memcpy(at, &segment, sizeof segment);
    break;
  }
  return image;
}

// Where the last loadable segment of an image ends in the file.
std::size_t LoadEnd(const std::string& image) {
  const ElfW(Ehdr) header = HeaderOf(image);
  std::size_t end = 0;
  for (std::size_t index = 0; index < header.e_phnum; ++index) {
    ElfW(Phdr) segment{};
    std::memcpy(&segment, image.data() + header.e_phoff + index * sizeof segment, sizeof segment);
    if (segment.p_type == PT_LOAD) end = std::max<std::size_t>(end, segment.p_offset + segment.p_filesz);
  }
  return end;
}

TEST(ElfImageCheck, ARealPluginIsAcceptedWholeAndRefusedCutShortAtAnySizeUpTo16KiB) {
  const std::string image = RealPlugin();
  ASSERT_GT(image.size(), sizeof(ElfW(Ehdr)));
  EXPECT_EQ(ElfImageProblem(image), "");
  // Every size a copy can stop at in its first 16 KiB (short of its last segment's end).
  const std::size_t last = std::min<std::size_t>(16 * 1024, LoadEnd(image) - 1);
  for (std::size_t size = 0; size <= last; ++size) {
    const std::string problem = ElfImageProblem(std::string_view(image).substr(0, size));
    ASSERT_NE(problem.find("the file ends at byte " + std::to_string(size) + ", "), std::string::npos) << problem;
    ASSERT_NE(problem.find("not copied in full"), std::string::npos) << size << " bytes: " << problem;
  }
}

TEST(ElfImageCheck, HostileHeadersAreRefusedWithTheirReason) {
  const std::string image = RealPlugin();
  const struct {
    const char* what;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"text", std::string(200, 'x'), "not an ELF file"},
      {"zeros", std::string(4096, '\0'), "not an ELF file"},
      {"32 bits", WithHeader(image, [](auto& h) { h.e_ident[EI_CLASS] = ELFCLASS32; }), "built for 32"},
      {"other byte order", WithHeader(image, [](auto& h) { h.e_ident[EI_DATA] = ELFDATA2MSB; }), "byte order"},
      {"other processor", WithHeader(image, [](auto& h) { h.e_machine = EM_SPARC; }), "another processor"},
      {"program", WithHeader(image, [](auto& h) { h.e_type = ET_EXEC; }), "not a shared library"},
      {"version", WithHeader(image, [](auto& h) { h.e_version = 7; }), "version"},
      {"header entry size", WithHeader(image, [](auto& h) { h.e_phentsize = 12; }), "wrong size"},
      {"no program headers", WithHeader(image, [](auto& h) { h.e_phnum = 0; }), "no program headers"},
      {"too many program headers", WithHeader(image, [](auto& h) { h.e_phnum = 60000; }), "more program headers"},
      {"table past the end", WithHeader(image, [&](auto& h) { h.e_phoff = image.size() - 8; }), "program header table"},
      {"table offset overflows", WithHeader(image, [](auto& h) { h.e_phoff = UINT64_MAX - 8; }), "outside any file"},
      {"segment past the end", WithFirstLoad(image, [&](auto& p) { p.p_filesz = p.p_memsz = image.size() + 1; }),
       "not copied in full"},
      {"memory-only segment past the end", WithFirstLoad(image, [&](auto& p) {
         p.p_filesz = 0;
         p.p_offset = image.size();
       }),
       "not copied in full"},
      {"segment offset overflows", WithFirstLoad(image, [](auto& p) { p.p_offset = UINT64_MAX - 4; }),
       "outside any file"},
      {"more in the file than in memory", WithFirstLoad(image, [](auto& p) { p.p_memsz = p.p_filesz - 1; }),
       "larger in the file"},
  };
  for (const auto& one : cases) {
    const std::string problem = ElfImageProblem(one.bytes);
    EXPECT_NE(problem, "") << one.what;
    EXPECT_NE(problem.find(one.says), std::string::npos) << one.what << ": " << problem;
  }
}

}  // namespace
}  // namespace velmorin
