#pragma once
// What a store's file held on disk when it was looked at, for the shutdown save's comparisons.

#include <string>
#include <utility>

namespace velmorin {

// A store's file on disk: missing, unreadable, or present with its content in text form. An
// unreadable file equals nothing, not even another unreadable file: its content is unknown.
struct FileContent {
  enum class State { Missing, Unreadable, Present };
  State state = State::Missing;
  std::string text;

  static FileContent Missing() { return {}; }
  static FileContent Unreadable() { return {State::Unreadable, {}}; }
  static FileContent Present(std::string text) { return {State::Present, std::move(text)}; }
  bool operator==(const FileContent& other) const {
    return state == other.state && state != State::Unreadable && text == other.text;
  }
};

}  // namespace velmorin
