#pragma once
// Whether a plugin file can be handed to the dynamic loader without killing the server.
//
// The loader maps every loadable segment of a library from the file; a segment that reaches past
// the end of the file (a copy cut short) is mapped all the same, and the first touch of a page
// beyond the end raises SIGBUS inside dlopen, which ends the process. So before a library is
// loaded its header and program headers are read and checked against the file's real size: an
// ELF header for this system's class, byte order and machine, a shared object, a program header
// table inside the file, and every segment's file range inside the file.
//
// The input is hostile: nothing is trusted before it is checked, every sum is checked for
// overflow, and at most kMaxProgramHeaders headers are read.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velmorin {

// More program headers than any library has (they have about ten); a bigger table is refused.
inline constexpr std::uint32_t kMaxProgramHeaders = 1024;

// Reads exactly `length` bytes at `offset` into `into`; false when they cannot be read.
using ReadAt = std::function<bool(std::uint64_t offset, void* into, std::size_t length)>;

// Empty when an image of `fileSize` bytes read through `read` can be loaded safely; otherwise
// why not, in words for the log ("the file ends at byte 4096, its segment 2 at byte 14000").
std::string ElfImageProblem(std::uint64_t fileSize, const ReadAt& read);

// The same for bytes in memory.
std::string ElfImageProblem(std::string_view image);

// The same for an open file, read with pread; its size from fstat.
std::string ElfFileProblem(int fd);

}  // namespace velmorin
