#pragma once
// Profile files: the INI layer under every configuration file.
//
// Sections and keys are found without regard to case (Windows-1252). Lines this layer does not
// own (comments, text before the first section, lines without "=") are kept, and so is the order
// of everything else. Values are read with surrounding blanks removed. Every change is written
// atomically (temporary file, fsync, rename), so a crash leaves the old or the new file.
//
// Parsed files are cached by path. A cached file is re-read when its size, time or inode change
// on disk; Flush drops the cache entry. Inside a ProfileBatch, changes collect in the cache and
// each touched file is written once when the outermost batch ends.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin::profile {

// The value of key in section; nothing when the file, the section or the key is missing.
std::optional<std::string> ReadValue(const std::string& path, std::string_view section,
                                     std::string_view key);

// The values of several keys of one section, in the order of `keys`, from one look at the file.
std::vector<std::optional<std::string>> ReadValues(const std::string& path, std::string_view section,
                                                   std::initializer_list<std::string_view> keys);

// Every section name in file order (first spelling of each); empty for a missing file. Names
// that cannot be looked up (see below: empty, holding a NUL) are not listed.
std::vector<std::string> SectionNames(const std::string& path);

// Every key of the section in file order; empty when the section is missing.
std::vector<std::string> KeyNames(const std::string& path, std::string_view section);

// Names are taken as the file gives them back: blanks (space, tab) at both ends are removed, on
// write, lookup and delete alike. A name the file could not give back is refused: an empty name,
// one holding CR, LF or NUL, a section name holding "]", a key starting with "[" or ";" or
// holding "=". Lookups of a refused name find nothing; writes and deletes fail with EINVAL.
// The trimmed name, or nothing when refused.
std::optional<std::string> SectionNameAsStored(std::string_view name);
std::optional<std::string> KeyNameAsStored(std::string_view name);

// Writers return 0 on success or the errno of the failed write (EINVAL for a refused name); on
// failure the file and the cache are unchanged. In values, carriage returns and line feeds
// become spaces and text after a NUL is dropped, so a value can never break the file's structure.
// The value as a read gives it back after a write: one line, blanks at both ends removed.
std::string ValueAsStored(std::string_view value);

int WriteValue(const std::string& path, std::string_view section, std::string_view key,
               std::string_view value);
int DeleteKey(const std::string& path, std::string_view section, std::string_view key);
// Deletes every section of that name with all its lines.
int DeleteSection(const std::string& path, std::string_view section);

// Drops the cached copy of the file.
void Flush(const std::string& path);

// 0 when the file can be read or does not exist (nor its directory), else the errno of opening or reading it. Writes
// to a file that exists but cannot be read fail with that error rather than replace it.
int ReadError(const std::string& path);

// Defers writing until the outermost batch ends, then writes each changed file once.
class ProfileBatch {
 public:
  ProfileBatch();
  ~ProfileBatch();
  ProfileBatch(const ProfileBatch&) = delete;
  ProfileBatch& operator=(const ProfileBatch&) = delete;

  // Ends the batch now; returns 0 or the first errno of a failed write. Called by the destructor
  // when not called before.
  int Commit();

 private:
  bool committed_ = false;
};

}  // namespace velmorin::profile
