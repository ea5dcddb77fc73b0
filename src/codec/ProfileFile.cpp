#include "codec/ProfileFile.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <set>
#include <unordered_map>

#include "platform/AtomicFile.hpp"
#include "platform/Text.hpp"

namespace velmorin::profile {
namespace {

constexpr std::string_view kBlanks = " \t";

// Identity of a file on disk; a cached parse is valid while the identity is unchanged.
struct FileStamp {
  bool exists = false;
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& info) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.regular = S_ISREG(info.st_mode);
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.mtimeNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  return stamp;
}

FileStamp StampOfPath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return StampOf(info);
}

struct Entry {
  std::string key;
  std::string value;
};

struct Section {
  std::string name;
  std::size_t headerLine = 0;
  std::size_t endLine = 0;  // one past the section's last line
  std::vector<Entry> entries;
  std::unordered_map<std::string, std::size_t> entryByKey;  // lowercase key -> first entry
  std::unordered_map<std::string, std::size_t> lineByKey;   // lowercase key -> line index
};

struct ParsedFile {
  std::vector<std::string> lines;
  std::vector<Section> sections;
  std::unordered_map<std::string, std::size_t> sectionByName;  // lowercase -> first section
  FileStamp stamp;
  int readError = 0;   // the file exists but could not be read: it must not be written over
  bool dirty = false;  // changed inside a batch and not yet written
};

std::optional<std::string> SectionHeaderName(std::string_view line) {
  const std::string trimmed = Trim(line, kBlanks);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const std::size_t close = trimmed.find(']');
  const std::string_view inner = std::string_view(trimmed).substr(
      1, close == std::string::npos ? std::string::npos : close - 1);
  return Trim(inner, kBlanks);
}

std::optional<Entry> EntryOf(std::string_view line) {
  const std::string trimmed = Trim(line, kBlanks);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string::npos) return std::nullopt;
  Entry entry{Trim(std::string_view(trimmed).substr(0, equals), kBlanks),
              Trim(std::string_view(trimmed).substr(equals + 1), kBlanks)};
  if (entry.key.empty()) return std::nullopt;
  return entry;
}

// Rebuilds the section index from the lines.
void Index(ParsedFile& file) {
  file.sections.clear();
  file.sectionByName.clear();
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    if (std::optional<std::string> name = SectionHeaderName(file.lines[i])) {
      if (!file.sections.empty()) file.sections.back().endLine = i;
      Section section;
      section.name = *name;
      section.headerLine = i;
      file.sectionByName.try_emplace(LowerCase(*name), file.sections.size());
      file.sections.push_back(std::move(section));
      continue;
    }
    if (file.sections.empty()) continue;
    if (std::optional<Entry> entry = EntryOf(file.lines[i])) {
      Section& section = file.sections.back();
      const std::string lowerKey = LowerCase(entry->key);
      if (section.entryByKey.try_emplace(lowerKey, section.entries.size()).second) {
        section.lineByKey.emplace(lowerKey, i);
      }
      section.entries.push_back(std::move(*entry));
    }
  }
  if (!file.sections.empty()) file.sections.back().endLine = file.lines.size();
}

ParsedFile Parse(const std::string& path, const FileStamp& stamp) {
  ParsedFile file;
  file.stamp = stamp;
  if (!stamp.exists) return file;
  if (!stamp.regular) {  // a directory in its place, a device, a pipe
    file.readError = EISDIR;
    return file;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    file.readError = errno != 0 ? errno : EACCES;
    return file;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    file.lines.push_back(std::move(line));
  }
  if (in.bad()) {  // a directory, or an I/O error
    file.lines.clear();
    file.readError = EIO;
    return file;
  }
  Index(file);
  return file;
}

int depth = 0;  // open ProfileBatch scopes
std::map<std::string, ParsedFile> cache;

// The parsed file for path, re-read when it changed on disk. A file changed inside a batch is
// taken from the cache as it stands: it holds changes not yet written.
ParsedFile& Load(const std::string& path) {
  auto it = cache.find(path);
  if (it != cache.end() && it->second.dirty) return it->second;
  const FileStamp stamp = StampOfPath(path);
  // A file that could not be read is tried again: fixing its permissions changes no stamp field.
  if (it != cache.end() && it->second.stamp == stamp && it->second.readError == 0) return it->second;
  ParsedFile parsed = Parse(path, stamp);
  if (it != cache.end()) {
    it->second = std::move(parsed);
    return it->second;
  }
  return cache.emplace(path, std::move(parsed)).first->second;
}

const Section* FindSection(const ParsedFile& file, std::string_view name) {
  auto it = file.sectionByName.find(LowerCase(name));
  return it == file.sectionByName.end() ? nullptr : &file.sections[it->second];
}

bool HasLineBreakOrNul(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Values keep to one line: CR and LF become spaces, text after a NUL is dropped.
std::string OneLine(std::string_view text) {
  std::string result(text.substr(0, text.find('\0')));
  for (char& c : result) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return result;
}

// Writes the lines with CR LF endings; on success the stamp of the new file.
int WriteAtomically(const std::string& path, const std::vector<std::string>& lines, FileStamp& stamp) {
  std::string content;
  for (const std::string& line : lines) {
    content += line;
    content += "\r\n";
  }
  struct stat written {};
  const int error = WriteFileAtomically(path, content, &written);
  if (error == 0) stamp = StampOf(written);
  return error;
}

int firstBatchError = 0;

// Applies a change to a copy of the parsed file and stores it: at once outside a batch, at the
// end of the batch inside one. A failed write leaves file and cache as they were.
template <typename Change>
int Modify(const std::string& path, Change change) {
  ParsedFile updated = Load(path);
  // Writing what was read of a file that could not be read would replace it with nothing.
  if (updated.readError != 0) return updated.readError;
  if (!change(updated)) return 0;
  Index(updated);
  if (depth > 0) {
    updated.dirty = true;
    cache[path] = std::move(updated);
    return 0;
  }
  const int error = WriteAtomically(path, updated.lines, updated.stamp);
  if (error != 0) return error;
  cache[path] = std::move(updated);
  return 0;
}

void WriteDirtyFiles() {
  for (auto it = cache.begin(); it != cache.end();) {
    ParsedFile& file = it->second;
    if (!file.dirty) {
      ++it;
      continue;
    }
    file.dirty = false;
    const int error = WriteAtomically(it->first, file.lines, file.stamp);
    if (error != 0) {
      if (firstBatchError == 0) firstBatchError = error;
      it = cache.erase(it);  // the disk holds the truth again
      continue;
    }
    ++it;
  }
}

}  // namespace

std::optional<std::string> SectionNameAsStored(std::string_view name) {
  std::string trimmed = Trim(name, kBlanks);
  if (trimmed.empty() || HasLineBreakOrNul(trimmed) || trimmed.find(']') != std::string::npos) return std::nullopt;
  return trimmed;
}

std::optional<std::string> KeyNameAsStored(std::string_view name) {
  std::string trimmed = Trim(name, kBlanks);
  if (trimmed.empty() || trimmed.front() == '[' || trimmed.front() == ';' || HasLineBreakOrNul(trimmed) ||
      trimmed.find('=') != std::string::npos) {
    return std::nullopt;
  }
  return trimmed;
}

std::string ValueAsStored(std::string_view value) { return Trim(OneLine(value), kBlanks); }

std::optional<std::string> ReadValue(const std::string& path, std::string_view sectionName,
                                     std::string_view keyName) {
  const std::optional<std::string> section = SectionNameAsStored(sectionName);
  const std::optional<std::string> key = KeyNameAsStored(keyName);
  if (!section || !key) return std::nullopt;
  const ParsedFile& file = Load(path);
  const Section* found = FindSection(file, *section);
  if (found == nullptr) return std::nullopt;
  auto entry = found->entryByKey.find(LowerCase(*key));
  if (entry == found->entryByKey.end()) return std::nullopt;
  return found->entries[entry->second].value;
}

std::vector<std::optional<std::string>> ReadValues(const std::string& path, std::string_view sectionName,
                                                   std::initializer_list<std::string_view> keys) {
  std::vector<std::optional<std::string>> values(keys.size());
  const std::optional<std::string> section = SectionNameAsStored(sectionName);
  if (!section) return values;
  const Section* found = FindSection(Load(path), *section);
  if (found == nullptr) return values;
  std::size_t i = 0;
  for (std::string_view keyName : keys) {
    const std::optional<std::string> key = KeyNameAsStored(keyName);
    if (key) {
      auto entry = found->entryByKey.find(LowerCase(*key));
      if (entry != found->entryByKey.end()) values[i] = found->entries[entry->second].value;
    }
    ++i;
  }
  return values;
}

std::vector<std::string> SectionNames(const std::string& path) {
  const ParsedFile& file = Load(path);
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const Section& section : file.sections) {
    // A hand-written name the layer cannot look up (empty, holding a NUL) is not listed.
    if (!SectionNameAsStored(section.name)) continue;
    if (seen.insert(LowerCase(section.name)).second) names.push_back(section.name);
  }
  return names;
}

std::vector<std::string> KeyNames(const std::string& path, std::string_view sectionName) {
  std::vector<std::string> keys;
  const std::optional<std::string> section = SectionNameAsStored(sectionName);
  if (!section) return keys;
  const ParsedFile& file = Load(path);
  const Section* found = FindSection(file, *section);
  if (found == nullptr) return keys;
  std::set<std::string> seen;
  for (const Entry& entry : found->entries) {
    if (!KeyNameAsStored(entry.key)) continue;
    if (seen.insert(LowerCase(entry.key)).second) keys.push_back(entry.key);
  }
  return keys;
}

int WriteValue(const std::string& path, std::string_view sectionName, std::string_view keyName,
               std::string_view valueText) {
  const std::optional<std::string> storedSection = SectionNameAsStored(sectionName);
  const std::optional<std::string> storedKey = KeyNameAsStored(keyName);
  if (!storedSection || !storedKey) return EINVAL;
  const std::string& section = *storedSection;
  const std::string& key = *storedKey;
  const std::string line = key + "=" + OneLine(valueText);
  return Modify(path, [&](ParsedFile& file) {
    const Section* found = FindSection(file, section);
    if (found == nullptr) {
      file.lines.push_back("[" + section + "]");
      file.lines.push_back(line);
      return true;
    }
    auto existing = found->lineByKey.find(LowerCase(key));
    if (existing != found->lineByKey.end()) {
      if (file.lines[existing->second] == line) return false;
      file.lines[existing->second] = line;
      return true;
    }
    // New keys go after the section's last non-blank line, before any blank lines that
    // separate it from the next section.
    std::size_t insertAt = found->endLine;
    while (insertAt > found->headerLine + 1 && Trim(file.lines[insertAt - 1], kBlanks).empty()) {
      --insertAt;
    }
    file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
    return true;
  });
}

int DeleteKey(const std::string& path, std::string_view sectionName, std::string_view keyName) {
  const std::optional<std::string> section = SectionNameAsStored(sectionName);
  const std::optional<std::string> key = KeyNameAsStored(keyName);
  if (!section || !key) return EINVAL;
  return Modify(path, [&](ParsedFile& file) {
    const Section* found = FindSection(file, *section);
    if (found == nullptr) return false;
    // Remove every line of the section that carries this key, from the back.
    bool removed = false;
    const std::string lowerKey = LowerCase(*key);
    for (std::size_t i = found->endLine; i > found->headerLine + 1; --i) {
      std::optional<Entry> entry = EntryOf(file.lines[i - 1]);
      if (entry && LowerCase(entry->key) == lowerKey) {
        file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(i - 1));
        removed = true;
      }
    }
    return removed;
  });
}

int DeleteSection(const std::string& path, std::string_view sectionName) {
  const std::optional<std::string> section = SectionNameAsStored(sectionName);
  if (!section) return EINVAL;
  return Modify(path, [&](ParsedFile& file) {
    const std::string lowerName = LowerCase(*section);
    bool removed = false;
    for (std::size_t s = file.sections.size(); s > 0; --s) {
      const Section& candidate = file.sections[s - 1];
      if (LowerCase(candidate.name) != lowerName) continue;
      file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(candidate.headerLine),
                       file.lines.begin() + static_cast<std::ptrdiff_t>(candidate.endLine));
      removed = true;
    }
    return removed;
  });
}

int ReadError(const std::string& path) {
  // A stat that fails for another reason than absence (a directory without search permission)
  // is a file that cannot be read either.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 && errno != ENOENT && errno != ENOTDIR) return errno;
  return Load(path).readError;
}

void Flush(const std::string& path) {
  auto it = cache.find(path);
  if (it == cache.end()) return;
  if (it->second.dirty) {
    // Inside a batch the cache holds unwritten changes; write them before dropping them.
    FileStamp stamp;
    const int error = WriteAtomically(path, it->second.lines, stamp);
    if (error != 0 && firstBatchError == 0) firstBatchError = error;
  }
  cache.erase(it);
}

ProfileBatch::ProfileBatch() {
  if (depth++ == 0) firstBatchError = 0;
}

ProfileBatch::~ProfileBatch() { Commit(); }

int ProfileBatch::Commit() {
  if (committed_) return 0;
  committed_ = true;
  if (--depth > 0) return 0;
  WriteDirtyFiles();
  return firstBatchError;
}

}  // namespace velmorin::profile
