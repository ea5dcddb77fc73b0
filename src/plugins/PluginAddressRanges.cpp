#include "plugins/PluginAddressRanges.hpp"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace velmorin {
namespace {

constexpr std::size_t kSlots = 64;
constexpr std::size_t kNameSize = 64;

struct Range {
  std::atomic<bool> used{false};
  void* handle = nullptr;
  std::uintptr_t start = 0, end = 0;
  char name[kNameSize] = {};
};

Range ranges[kSlots];
std::mutex changing;  // between the threads that note and forget; the handler reads without it

struct Search {
  std::uintptr_t base = 0;
  const char* name = nullptr;
  std::uintptr_t start = UINTPTR_MAX, end = 0;
};

int FindSegments(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  if (info->dlpi_addr != search->base || info->dlpi_name == nullptr ||
      std::strcmp(info->dlpi_name, search->name) != 0) {
    return 0;
  }
  for (ElfW(Half) index = 0; index < info->dlpi_phnum; ++index) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[index];
    if (segment.p_type != PT_LOAD) continue;
    search->start = std::min<std::uintptr_t>(search->start, info->dlpi_addr + segment.p_vaddr);
    search->end = std::max<std::uintptr_t>(search->end, info->dlpi_addr + segment.p_vaddr + segment.p_memsz);
  }
  return 1;
}

std::size_t Append(char* buffer, std::size_t size, std::size_t used, std::string_view text) {
  const std::size_t room = used < size ? size - used : 0;
  const std::size_t taken = std::min(room, text.size());
  std::memcpy(buffer + used, text.data(), taken);
  return used + taken;
}

std::size_t AppendRange(char* buffer, std::size_t size, std::size_t used, const Range& range) {
  used = Append(buffer, size, used, range.name);
  used = Append(buffer, size, used, " ");
  used = AppendHex(buffer, size, used, range.start);
  used = Append(buffer, size, used, "-");
  return AppendHex(buffer, size, used, range.end);
}

}  // namespace

void NotePluginRange(void* handle, std::string_view name) {
  link_map* map = nullptr;
  if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) return;
  Search search;
  search.base = map->l_addr;
  search.name = map->l_name;
  if (::dl_iterate_phdr(&FindSegments, &search) == 0 || search.end <= search.start) return;
  const std::lock_guard lock(changing);
  for (Range& range : ranges) {
    if (range.used.load(std::memory_order_relaxed)) continue;
    range.handle = handle;
    range.start = search.start;
    range.end = search.end;
    const std::size_t length = std::min(name.size(), kNameSize - 1);
    std::memcpy(range.name, name.data(), length);
    range.name[length] = '\0';
    range.used.store(true, std::memory_order_release);
    return;
  }
}

void ForgetPluginRange(void* handle) {
  const std::lock_guard lock(changing);
  for (Range& range : ranges) {
    if (range.used.load(std::memory_order_relaxed) && range.handle == handle) {
      range.used.store(false, std::memory_order_release);
    }
  }
}

std::size_t AppendHex(char* buffer, std::size_t size, std::size_t used, std::uintptr_t value) {
  char digits[2 + 2 * sizeof value];
  std::size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value & 0xf];
    value >>= 4;
  } while (value != 0);
  used = Append(buffer, size, used, "0x");
  while (count > 0) used = Append(buffer, size, used, std::string_view(&digits[--count], 1));
  return used;
}

std::size_t DescribeCodeAddress(std::uintptr_t address, char* buffer, std::size_t size) {
  std::size_t used = 0;
  const Range* holder = nullptr;
  for (const Range& range : ranges) {
    if (range.used.load(std::memory_order_acquire) && address >= range.start && address < range.end) holder = &range;
  }
  if (holder != nullptr) {
    used = Append(buffer, size, used, "in the code of plugin ");
    used = Append(buffer, size, used, holder->name);
    used = Append(buffer, size, used, ". Remove or replace that plugin");
  } else {
    used = Append(buffer, size, used, "outside the code of the loaded plugins");
  }
  bool first = true;
  for (const Range& range : ranges) {
    if (!range.used.load(std::memory_order_acquire)) continue;
    used = Append(buffer, size, used, first ? ". Loaded plugins: " : ", ");
    used = AppendRange(buffer, size, used, range);
    first = false;
  }
  return used;
}

}  // namespace velmorin
