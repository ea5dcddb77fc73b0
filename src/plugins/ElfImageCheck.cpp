#include "plugins/ElfImageCheck.hpp"

#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace velmorin {
namespace {

using Header = ElfW(Ehdr);
using ProgramHeader = ElfW(Phdr);

#if defined(__x86_64__)
constexpr int kHostMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kHostMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int kHostMachine = EM_386;
#elif defined(__arm__)
constexpr int kHostMachine = EM_ARM;
#elif defined(__riscv)
constexpr int kHostMachine = EM_RISCV;
#elif defined(__powerpc64__)
constexpr int kHostMachine = EM_PPC64;
#else
#error "the machine number of this system's libraries is not known"
#endif

constexpr unsigned char kHostClass = __ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char kHostByteOrder = __BYTE_ORDER == __LITTLE_ENDIAN ? ELFDATA2LSB : ELFDATA2MSB;

std::string Number(std::uint64_t value) { return std::to_string(value); }

// The end of the range [offset, offset + length), or nothing when the sum overflows.
bool EndOf(std::uint64_t offset, std::uint64_t length, std::uint64_t& end) {
  if (length > UINT64_MAX - offset) return false;
  end = offset + length;
  return true;
}

std::string HeaderProblem(const Header& header) {
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "it is not an ELF file";
  if (header.e_ident[EI_CLASS] != kHostClass) {
    return "it is built for " + std::string(header.e_ident[EI_CLASS] == ELFCLASS32 ? "32" : "another number of") +
           " bits, not for " + Number(__ELF_NATIVE_CLASS);
  }
  if (header.e_ident[EI_DATA] != kHostByteOrder) return "it is built for the other byte order";
  if (header.e_ident[EI_VERSION] != EV_CURRENT || header.e_version != EV_CURRENT) return "its ELF version is unknown";
  if (header.e_type != ET_DYN) return "it is not a shared library";
  if (header.e_machine != kHostMachine) {
    return "it is built for another processor (machine " + Number(header.e_machine) + ", this system is " +
           Number(kHostMachine) + ")";
  }
  if (header.e_ehsize < sizeof(Header)) return "its ELF header is too short";
  if (header.e_phentsize != sizeof(ProgramHeader)) return "its program headers have the wrong size";
  if (header.e_phnum == 0) return "it has no program headers";
  if (header.e_phnum == PN_XNUM || header.e_phnum > kMaxProgramHeaders) {
    return "it has more program headers than " + Number(kMaxProgramHeaders);
  }
  return {};
}

std::string CutShort(std::uint64_t fileSize, const std::string& what, std::uint64_t end) {
  return "the file ends at byte " + Number(fileSize) + ", " + what + " at byte " + Number(end) +
         ": it was not copied in full";
}

}  // namespace

std::string ElfImageProblem(std::uint64_t fileSize, const ReadAt& read) {
  Header header{};
  if (fileSize < sizeof header) return CutShort(fileSize, "its ELF header", sizeof header);
  if (!read(0, &header, sizeof header)) return "its ELF header cannot be read";
  if (std::string problem = HeaderProblem(header); !problem.empty()) return problem;

  std::uint64_t tableEnd = 0;
  if (!EndOf(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ProgramHeader), tableEnd)) {
    return "its program header table lies outside any file";
  }
  if (tableEnd > fileSize) return CutShort(fileSize, "its program header table", tableEnd);
  std::vector<ProgramHeader> table(header.e_phnum);
  if (!read(header.e_phoff, table.data(), table.size() * sizeof(ProgramHeader))) {
    return "its program headers cannot be read";
  }
  bool loadable = false;
  for (std::size_t index = 0; index < table.size(); ++index) {
    const ProgramHeader& segment = table[index];
    if (segment.p_type == PT_LOAD) {
      loadable = true;
      if (segment.p_filesz > segment.p_memsz) return "its segment " + Number(index) + " is larger in the file than in memory";
    }
    // A loadable segment with nothing from the file still has the page at its offset mapped
    // and cleared past its start: that page must be in the file.
    if (segment.p_type == PT_LOAD && segment.p_filesz == 0 && segment.p_memsz > 0 && segment.p_offset >= fileSize) {
      return CutShort(fileSize, "its segment " + Number(index), segment.p_offset + 1);
    }
    // Whatever the loader reads or maps from the file must be in it.
    if (segment.p_filesz == 0) continue;
    std::uint64_t end = 0;
    if (!EndOf(segment.p_offset, segment.p_filesz, end)) return "its segment " + Number(index) + " lies outside any file";
    if (end > fileSize) return CutShort(fileSize, "its segment " + Number(index), end);
  }
  if (!loadable) return "it has no loadable segment";
  return {};
}

std::string ElfImageProblem(std::string_view image) {
  return ElfImageProblem(image.size(), [image](std::uint64_t offset, void* into, std::size_t length) {
    if (offset > image.size() || length > image.size() - offset) return false;
    std::memcpy(into, image.data() + offset, length);
    return true;
  });
}

std::string ElfFileProblem(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::string("the file cannot be examined: ") + std::strerror(errno);
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  return ElfImageProblem(static_cast<std::uint64_t>(status.st_size), [fd](std::uint64_t offset, void* into,
                                                                          std::size_t length) {
    auto* bytes = static_cast<char*>(into);
    while (length > 0) {
      const ssize_t got = ::pread(fd, bytes, length, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      bytes += got;
      offset += static_cast<std::uint64_t>(got);
      length -= static_cast<std::size_t>(got);
    }
    return true;
  });
}

}  // namespace velmorin
