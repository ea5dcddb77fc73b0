#include "store/StoreSnapshot.hpp"

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/AtomicFile.hpp"
#include "platform/ProfileFile.hpp"

namespace velmorin {

ShutdownChoice ChooseShutdownSave(const StoreSnapshot& taken, const std::string& memoryNow, const FileContent& diskNow) {
  const bool stillMissing = taken.disk.state == FileContent::State::Missing && diskNow == taken.disk;
  if (stillMissing) return ShutdownChoice::Write;
  if (memoryNow == taken.memory) return ShutdownChoice::Skip;
  if (diskNow == taken.disk) return ShutdownChoice::Write;
  if (diskNow == FileContent::Present(memoryNow)) return ShutdownChoice::Skip;
  return ShutdownChoice::WriteBeside;
}

std::string BesideName(const std::string& file) { return file + ".velmorin-new"; }

int StartBesideCopy(const std::string& file, const std::string& beside) {
  std::string content;
  if (std::ifstream in{file, std::ios::binary}) {
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const int error = WriteFileAtomically(beside, content);
  profile::Flush(beside);
  return error;
}

}  // namespace velmorin
