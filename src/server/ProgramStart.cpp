#include "server/ProgramStart.hpp"

namespace velmorin {

std::time_t StartTime = 0;

}  // namespace velmorin
