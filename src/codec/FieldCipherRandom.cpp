#include "codec/FieldCipherRandom.hpp"

#include <sys/random.h>

#include <chrono>

namespace velmorin {
namespace {

std::uint32_t KernelRandomState() {
  std::uint32_t state = 0;
  if (getrandom(&state, sizeof state, 0) == static_cast<ssize_t>(sizeof state)) return state;
  return static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

FieldCipherRandom::FieldCipherRandom() : engine_(KernelRandomState()) {}

FieldCipherRandom::FieldCipherRandom(std::uint32_t initialState) : engine_(initialState) {}

}  // namespace velmorin
