#include "term/Input.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace velmorin::term {

bool Input::Ready(int ms) const {
  if (ended_) return false;
  if (editor_ != nullptr) editor_->CheckResize();
  pollfd entry{fd_, POLLIN, 0};
  return ::poll(&entry, 1, ms) > 0;
}

std::vector<EditorInput> Input::Read() {
  std::vector<EditorInput> done;
  if (ended_) return done;
  char chunk[4096];
  const ssize_t got = ::read(fd_, chunk, sizeof chunk);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return done;
  if (got <= 0) {
    ended_ = true;
    if (!partial_.empty()) done.push_back({EditorInput::Kind::kLine, std::move(partial_)});
    partial_.clear();
    done.push_back({EditorInput::Kind::kEnd, {}});
    return done;
  }
  const std::string_view bytes(chunk, static_cast<std::size_t>(got));
  if (editor_ != nullptr) {
    done = editor_->Feed(bytes);
    for (const EditorInput& input : done) {
      if (input.kind == EditorInput::Kind::kEnd) ended_ = true;
    }
    return done;
  }
  partial_.append(bytes);
  std::size_t start = 0;
  for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = partial_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    done.push_back({EditorInput::Kind::kLine, std::move(line)});
  }
  partial_.erase(0, start);
  return done;
}

}  // namespace velmorin::term
