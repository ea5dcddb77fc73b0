// velmorin-load: a load generator for the chat server. See --help.

#include <sys/resource.h>

#include <cstdio>
#include <exception>

#include "LoadRun.hpp"
#include "Options.hpp"
#include "Report.hpp"

namespace {

// Thousands of clients need as many descriptors; the soft limit is often only 1024.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmorin::load;
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.options) return parsed.exitCode;
  const Options& options = *parsed.options;
  RaiseDescriptorLimit();
  try {
    LoadRun run(options);
    const RunResult result = run.Run();
    if (options.json) PrintJson(options, result);
    else PrintText(options, result);
    std::fflush(stdout);
    return result.exitCode;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velmorin-load: %s\n", error.what());
    return 1;
  }
}
