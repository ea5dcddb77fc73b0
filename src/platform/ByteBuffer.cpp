#include "platform/ByteBuffer.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace velmorin {

ByteBuffer::ByteBuffer(const ByteBuffer& other) : keptCapacity_(other.keptCapacity_) { Append(other.View()); }

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
  if (this != &other) {
    begin_ = end_ = 0;
    keptCapacity_ = other.keptCapacity_;
    Append(other.View());
  }
  return *this;
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : storage_(std::move(other.storage_)),
      capacity_(std::exchange(other.capacity_, 0)),
      begin_(std::exchange(other.begin_, 0)),
      end_(std::exchange(other.end_, 0)),
      keptCapacity_(other.keptCapacity_) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    storage_ = std::move(other.storage_);
    capacity_ = std::exchange(other.capacity_, 0);
    begin_ = std::exchange(other.begin_, 0);
    end_ = std::exchange(other.end_, 0);
    keptCapacity_ = other.keptCapacity_;
  }
  return *this;
}

void ByteBuffer::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  Reserve(bytes.size());
  std::memcpy(storage_.get() + end_, bytes.data(), bytes.size());
  end_ += bytes.size();
}

void ByteBuffer::Append(std::size_t count, char fill) {
  if (count == 0) return;
  Reserve(count);
  std::memset(storage_.get() + end_, fill, count);
  end_ += count;
}

std::span<char> ByteBuffer::WritableTail(std::size_t count) {
  Reserve(count);
  return {storage_.get() + end_, capacity_ - end_};
}

void ByteBuffer::Commit(std::size_t count) { end_ += std::min(count, capacity_ - end_); }

void ByteBuffer::Consume(std::size_t count) {
  begin_ += std::min(count, size());
  if (begin_ == end_) Clear();
}

void ByteBuffer::Clear() {
  begin_ = end_ = 0;
  if (capacity_ > keptCapacity_) Release();
}

void ByteBuffer::Release() {
  storage_.reset();
  capacity_ = begin_ = end_ = 0;
}

void ByteBuffer::ShrinkToFit() {
  if (begin_ == 0 && end_ == capacity_) return;
  if (empty()) {
    Release();
    return;
  }
  Reallocate(size());
}

void ByteBuffer::Reserve(std::size_t count) {
  if (capacity_ - end_ >= count) return;
  const std::size_t live = size();
  // The consumed front is dropped rather than the allocation grown when it dominates and its
  // room is enough: moving the rest costs no more than what was consumed since.
  if (begin_ >= live && capacity_ - live >= count) {
    std::memmove(storage_.get(), storage_.get() + begin_, live);
    begin_ = 0;
    end_ = live;
    return;
  }
  Reallocate(std::max(live + count, 2 * capacity_));
}

void ByteBuffer::Reallocate(std::size_t capacity) {
  std::unique_ptr<char[]> storage(new char[capacity]);
  const std::size_t live = size();
  if (live > 0) std::memcpy(storage.get(), storage_.get() + begin_, live);
  storage_ = std::move(storage);
  capacity_ = capacity;
  begin_ = 0;
  end_ = live;
}

}  // namespace velmorin
