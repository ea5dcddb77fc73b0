#include "app/JournalStandardError.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace velmorin {

bool IsJournalStream(int fd) {
  // Set by the service manager for the stream it connected; a child that was given another
  // output inherits the variable but not the stream.
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  char rest = 0;
  if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) return false;
  struct stat status{};
  return ::fstat(fd, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

JournalStandardError::JournalStandardError() {
  if (IsJournalStream(STDERR_FILENO)) original_ = std::cerr.rdbuf(this);
}

JournalStandardError::~JournalStandardError() {
  if (original_ == nullptr) return;
  if (!line_.empty()) {
    line_ += '\n';
    WriteLine();
  }
  std::cerr.rdbuf(original_);
}

int JournalStandardError::overflow(int c) {
  if (c == traits_type::eof()) return traits_type::not_eof(c);
  line_ += static_cast<char>(c);
  if (c == '\n') WriteLine();
  return c;
}

// std::cerr flushes after every insertion; a line goes out whole, when it ends.
int JournalStandardError::sync() { return 0; }

void JournalStandardError::WriteLine() {
  const bool warning = line_.find(": warning: ") != std::string::npos;
  const std::string out = (warning ? "<4>" : "<3>") + line_;
  original_->sputn(out.data(), static_cast<std::streamsize>(out.size()));
  original_->pubsync();
  line_.clear();
}

}  // namespace velmorin
