#pragma once
// Standard input as lines, read without blocking so that the session can go on showing what
// the server sends. From a terminal the keys go through the line editor; from a pipe or a
// file the bytes are cut at line ends.

#include <string>
#include <vector>

#include "term/LineEditor.hpp"

namespace velmorin::term {

class Input {
 public:
  // `editor` may be null: plain lines, as from a pipe or a terminal in its own line mode.
  Input(int fd, LineEditor* editor) : fd_(fd), editor_(editor) {}

  // Waits up to `ms` for something to read.
  bool Ready(int ms) const;

  // One read: the finished lines, and kEnd once the input is over. A last line without its
  // line end still counts.
  std::vector<EditorInput> Read();

  bool Ended() const { return ended_; }

 private:
  int fd_;
  LineEditor* editor_;
  std::string partial_;
  bool ended_ = false;
};

}  // namespace velmorin::term
