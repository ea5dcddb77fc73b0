#pragma once
// Command-line options of the soak driver.
//
//   Options       — one run, already validated.
//   ParseOptions  — reads argv; the first plain word is the run's length in minutes.

#include <cstdint>
#include <optional>
#include <string>

namespace velmorin::soak {

struct Options {
  std::string server;              // the velmorin-server executable to copy and start
  double minutes = 10;             // length of the mixed load
  std::uint32_t workers = 12;      // threads that play short sessions, one after the other
  std::uint32_t residents = 4;     // clients that stay logged in for the whole run
  double sampleSeconds = 5;        // between two samples of the server's figures
  double rssDriftPercent = 10;     // allowed growth of RSS from the first to the last third
  std::uint64_t rssDriftFloorKb = 1024;  // growth below this many kB never counts as drift
  double settleSeconds = 15;       // bound for descriptors and users to return after the load
  bool keep = false;               // keep the temporary program directory
};

struct ParsedOptions {
  std::optional<Options> options;  // empty: do not run
  int exitCode = 0;                // when empty: 0 after --help, 2 after a usage error
};

ParsedOptions ParseOptions(int argc, char** argv);

}  // namespace velmorin::soak
