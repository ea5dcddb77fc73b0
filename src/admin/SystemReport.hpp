#pragma once
// The system report of the system information window, as plain data: the machine (processor,
// memory, load, uptime), the operating system (uname), and the program with the versions of the
// libraries it uses and the plugin files it found.

#include <string>
#include <utility>
#include <vector>

namespace velmorin {

class PluginRegistry;

struct SystemReport {
  // Machine, from /proc.
  std::string processorModel;   // "model name" of /proc/cpuinfo; empty when unknown
  long processorCores = 0;      // processors listed in /proc/cpuinfo
  long long memoryTotalKb = 0;  // MemTotal of /proc/meminfo
  long long memoryAvailableKb = 0;
  std::string loadAverage;      // the first three figures of /proc/loadavg
  long long systemUptime = 0;   // seconds, as the server information shows it
  // Operating system, from uname.
  std::string systemName, hostName, kernelRelease, kernelVersion, machine;
  // The program and what it is built on.
  std::string programVersion;
  std::string libcVersion;      // the C library running the program
  std::string compilerVersion;  // the compiler that built it
  std::vector<std::string> pluginFiles;  // component names of the installed plugins
};

// Reads the report now. The /proc files it reads are bounded; a file that cannot be read leaves
// its entries empty.
SystemReport BuildSystemReport(const PluginRegistry& plugins);

// The report as named entries under the headings "General", "Velmorin" and "System", in order.
std::vector<std::pair<std::string, std::string>> ReportEntries(const SystemReport& report);

}  // namespace velmorin
