#pragma once
// Standard error for the journal: when it is the journal's stream (JOURNAL_STREAM names its device
// and inode), every line written to std::cerr is led by its priority, "<4>" for a warning
// ("velmorin-server: warning: ..."), "<3>" for the rest (why the server does not start or runs
// without something), so that `journalctl -p err` shows them. Elsewhere nothing changes.
//
//   JournalStandardError prefix;   for the life of main; restores std::cerr's buffer at its end

#include <sstream>
#include <streambuf>
#include <string>

namespace velmorin {

// True when JOURNAL_STREAM names the stream of this descriptor.
bool IsJournalStream(int fd);

class JournalStandardError : private std::streambuf {
 public:
  JournalStandardError();
  ~JournalStandardError() override;
  JournalStandardError(const JournalStandardError&) = delete;
  JournalStandardError& operator=(const JournalStandardError&) = delete;

 private:
  int overflow(int c) override;
  int sync() override;
  void WriteLine();

  std::streambuf* original_ = nullptr;
  std::string line_;
};

}  // namespace velmorin
