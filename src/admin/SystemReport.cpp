#include "admin/SystemReport.hpp"

#include <gnu/libc-version.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/Settings.hpp"
#include "plugins/PluginRegistry.hpp"
#include "server/StatusTexts.hpp"

namespace velmorin {
namespace {

// /proc files are small, but a line or a file larger than this is not read further.
constexpr std::size_t kMaxProcLines = 65536;
constexpr std::size_t kMaxLineLength = 4096;

// The lines of a /proc file, each cut at kMaxLineLength, at most kMaxProcLines of them.
std::vector<std::string> ProcLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  std::string line;
  while (lines.size() < kMaxProcLines && std::getline(file, line)) {
    if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);
    lines.push_back(line);
  }
  return lines;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "name : value" lines as /proc/cpuinfo and /proc/meminfo write them.
bool NamedValue(const std::string& line, const std::string& name, std::string& value) {
  const auto colon = line.find(':');
  if (colon == std::string::npos || Trim(line.substr(0, colon)) != name) return false;
  value = Trim(line.substr(colon + 1));
  return true;
}

long long LeadingNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

void ReadProcessor(SystemReport& report) {
  std::string value;
  for (const std::string& line : ProcLines("/proc/cpuinfo")) {
    if (NamedValue(line, "processor", value)) ++report.processorCores;
    if (report.processorModel.empty() && NamedValue(line, "model name", value)) report.processorModel = value;
  }
}

void ReadMemory(SystemReport& report) {
  std::string value;
  for (const std::string& line : ProcLines("/proc/meminfo")) {
    if (NamedValue(line, "MemTotal", value)) report.memoryTotalKb = LeadingNumber(value);
    if (NamedValue(line, "MemAvailable", value)) report.memoryAvailableKb = LeadingNumber(value);
  }
}

void ReadLoadAndUptime(SystemReport& report) {
  const std::vector<std::string> load = ProcLines("/proc/loadavg");
  if (!load.empty()) {
    std::istringstream figures(load.front());
    std::string one, five, fifteen;
    if (figures >> one >> five >> fifteen) report.loadAverage = one + " " + five + " " + fifteen;
  }
  // The same figure the server information shows.
  report.systemUptime = SystemUptimeSeconds();
}

void ReadSystem(SystemReport& report) {
  utsname names{};
  if (uname(&names) != 0) return;
  report.systemName = names.sysname;
  report.hostName = names.nodename;
  report.kernelRelease = names.release;
  report.kernelVersion = names.version;
  report.machine = names.machine;
}

std::string CompilerVersion() {
#if defined(__clang__)
  return std::string("clang ") + __clang_version__;
#elif defined(__GNUC__)
  return std::string("gcc ") + __VERSION__;
#else
  return "unknown";
#endif
}

}  // namespace

SystemReport BuildSystemReport(const PluginRegistry& plugins) {
  SystemReport report;
  ReadProcessor(report);
  ReadMemory(report);
  ReadLoadAndUptime(report);
  ReadSystem(report);
  report.programVersion = ServerSettings.Info.Version;
  report.libcVersion = std::string("glibc ") + gnu_get_libc_version();
  report.compilerVersion = CompilerVersion();
  for (long index = 0; index < plugins.Count(); ++index) report.pluginFiles.push_back(plugins.Component(index));
  return report;
}

std::vector<std::pair<std::string, std::string>> ReportEntries(const SystemReport& report) {
  std::string pluginFiles;
  for (const std::string& file : report.pluginFiles) pluginFiles += (pluginFiles.empty() ? "" : ", ") + file;
  return {
      {"General.processor", report.processorModel},
      {"General.cores", std::to_string(report.processorCores)},
      {"General.memory_total_kb", std::to_string(report.memoryTotalKb)},
      {"General.memory_available_kb", std::to_string(report.memoryAvailableKb)},
      {"General.load_average", report.loadAverage},
      {"General.system_uptime", std::to_string(report.systemUptime)},
      {"Velmorin.version", report.programVersion},
      {"Velmorin.libc", report.libcVersion},
      {"Velmorin.compiler", report.compilerVersion},
      {"Velmorin.plugins", pluginFiles},
      {"System.name", report.systemName},
      {"System.host", report.hostName},
      {"System.kernel_release", report.kernelRelease},
      {"System.kernel_version", report.kernelVersion},
      {"System.machine", report.machine},
  };
}

}  // namespace velmorin
