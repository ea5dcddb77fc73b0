#pragma once
// ByteBuffer: bytes consumed from the front and added at the back, as a connection's input and
// output are. Consuming moves an offset; the consumed bytes are dropped only when room is
// needed and they are at least as many as the unconsumed ones, so each byte is moved a bounded
// number of times however the reads and writes are cut. A buffer that runs empty gives back what
// a burst made it grow to beyond its kept capacity, so an idle owner does not hold the memory
// of its largest read.
//
// Filled in place by a receive:
//   const std::span<char> tail = buffer.WritableTail(wanted);
//   const ssize_t got = ::recv(fd, tail.data(), wanted, 0);
//   if (got > 0) buffer.Commit(static_cast<std::size_t>(got));
// Read in place: parse View(), then Consume() what was handled.

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

namespace velmorin {

class ByteBuffer {
 public:
  static constexpr std::size_t kDefaultKeptCapacity = 64 * 1024;

  // keptCapacity: the allocation an emptied buffer keeps for reuse; a larger one is given back.
  explicit ByteBuffer(std::size_t keptCapacity = kDefaultKeptCapacity) : keptCapacity_(keptCapacity) {}
  // A copy holds the unconsumed bytes only.
  ByteBuffer(const ByteBuffer& other);
  ByteBuffer& operator=(const ByteBuffer& other);
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ~ByteBuffer() = default;

  // The unconsumed bytes. Valid until the next call that adds, consumes or clears.
  std::string_view View() const { return {storage_.get() + begin_, end_ - begin_}; }
  const char* data() const { return storage_.get() + begin_; }
  std::size_t size() const { return end_ - begin_; }
  bool empty() const { return end_ == begin_; }
  // The allocation, consumed and free parts included.
  std::size_t capacity() const { return capacity_; }

  void Append(std::string_view bytes);
  void Append(std::size_t count, char fill);

  // At least `count` writable bytes after the unconsumed ones (the span may be longer); what was
  // written there becomes part of the buffer with Commit. Other calls in between void the span.
  std::span<char> WritableTail(std::size_t count);
  // Adds `count` bytes written into the tail; count is at most the tail's size.
  void Commit(std::size_t count);

  // Keeps only the first `count` unconsumed bytes (all of them when count is larger).
  void Truncate(std::size_t count) {
    if (count < size()) end_ = begin_ + count;
  }
  // Drops `count` bytes from the front (all of them when count is larger).
  void Consume(std::size_t count);
  // Drops everything; keeps an allocation up to the kept capacity.
  void Clear();
  // Drops everything and gives back the whole allocation.
  void Release();
  // Gives back the allocation beyond the unconsumed bytes.
  void ShrinkToFit();

 private:
  // Makes room for `count` more bytes at the back.
  void Reserve(std::size_t count);
  void Reallocate(std::size_t capacity);

  std::unique_ptr<char[]> storage_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // first unconsumed byte
  std::size_t end_ = 0;    // one past the last byte
  std::size_t keptCapacity_;
};

}  // namespace velmorin
