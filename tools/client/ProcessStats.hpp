#pragma once
// What /proc tells about a process (the server, or the generator itself).

#include <cstdint>
#include <optional>

namespace velmorin::client {

// Resident set size in kB (VmRSS of /proc/PID/status).
std::optional<std::uint64_t> ReadRssKb(int pid);

// Open descriptors (entries of /proc/PID/fd).
std::optional<long> CountDescriptors(int pid);

// User plus system CPU time in microseconds (utime + stime of /proc/PID/stat). The kernel
// counts in clock ticks (usually 10 ms), so short intervals are coarse.
std::optional<std::uint64_t> ReadCpuMicroseconds(int pid);

// CPU time this process has used so far, in microseconds.
std::uint64_t OwnCpuMicroseconds();

}  // namespace velmorin::client
