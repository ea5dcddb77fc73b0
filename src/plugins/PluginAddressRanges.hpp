#pragma once
// Where the code of each loaded plugin library lies, for the crash report of a fault that no
// watched call covers (a plugin's own thread, a timer of its own): the fault's code address
// names the plugin whose range holds it, and the report lists every loaded plugin's range, so
// an address from a core dump or the kernel's log can be matched later.
//
// The table has a fixed size and is read by the signal handler without locks or allocation.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmorin {

// Notes the address range of a library dlopen gave `handle` for, under the file name `name`.
// Libraries beyond the table's size are not noted.
void NotePluginRange(void* handle, std::string_view name);

// Forgets the range of `handle`, before it is closed.
void ForgetPluginRange(void* handle);

// Async-signal-safe: writes into `buffer` which plugin's code holds `address` and the ranges of
// every loaded plugin, and answers the length written.
std::size_t DescribeCodeAddress(std::uintptr_t address, char* buffer, std::size_t size);

// Async-signal-safe: `value` as "0x..." hexadecimal at `buffer + used`; the new length.
std::size_t AppendHex(char* buffer, std::size_t size, std::size_t used, std::uintptr_t value);

}  // namespace velmorin
