// The check of a plugin file before the loader maps it: any bytes give an answer without reading
// outside the input, the answer does not depend on bytes after what the headers name, and an
// accepted image has every segment inside it, so cutting it before a segment's end refuses it.
//
// Input: the bytes of a file.

#include <elf.h>
#include <link.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "plugins/ElfImageCheck.hpp"
#include "support/FuzzCheck.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorin;
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  const std::string problem = ElfImageProblem(image);
  if (!problem.empty()) return 0;

  // Accepted: more bytes after the end change nothing.
  FUZZ_CHECK(ElfImageProblem(std::string(image) + std::string(64, '\0')).empty());
  ElfW(Ehdr) header{};
  FUZZ_CHECK(size >= sizeof header);
  std::memcpy(&header, data, sizeof header);
  FUZZ_CHECK(header.e_phoff + std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)) <= size);
  std::uint64_t furthest = header.e_phoff + std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
  for (std::size_t index = 0; index < header.e_phnum; ++index) {
    ElfW(Phdr) segment{};
    std::memcpy(&segment, data + header.e_phoff + index * sizeof segment, sizeof segment);
    if (segment.p_type == PT_LOAD && segment.p_filesz == 0 && segment.p_memsz > 0) {
      FUZZ_CHECK(segment.p_offset < size);
      if (segment.p_offset + 1 > furthest) furthest = segment.p_offset + 1;
    }
    if (segment.p_filesz == 0) continue;
    FUZZ_CHECK(segment.p_offset + segment.p_filesz <= size);
    if (segment.p_offset + segment.p_filesz > furthest) furthest = segment.p_offset + segment.p_filesz;
  }
  // One byte short of what the headers need is a file cut short.
  FUZZ_CHECK(furthest > 0);
  const std::string shorter = ElfImageProblem(image.substr(0, furthest - 1));
  FUZZ_CHECK(shorter.find("not copied in full") != std::string::npos);
  return 0;
}
