#include "admin/ServerControl.hpp"

#include <cstdio>
#include <ctime>

#include "admin/AdminService.hpp"
#include "admin/ControlRegistry.hpp"
#include "admin/SystemReport.hpp"
#include "server/ChatServer.hpp"
#include "server/StatusTexts.hpp"

namespace velmorin {
namespace {

// What the information window shows while the server is offline.
constexpr const char* kNone = "-";

// A moment as UTC in ISO 8601, "-" for none.
std::string TimeText(std::time_t moment) {
  if (moment == 0) return kNone;
  std::tm parts{};
  gmtime_r(&moment, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string Count(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", bytes);
  return text;
}

ControlReply Status(AdminService& service, const ControlRequest& request) {
  if (!request.words.empty()) return ControlReply::Usage("usage: status");
  const ServerFigures figures = service.State().Figures();
  const LanguageFile& language = service.Server().Language();
  const std::string onlineWord = figures.online ? "online" : "offline";
  ControlReply reply;
  reply.fields = {
      {"status", onlineWord},
      {"status_text", language.Data(onlineWord, "frmServerInfos")},
      {"server_status", std::to_string(figures.status)},
      {"port", figures.online ? std::to_string(figures.port) : kNone},
      {"users", std::to_string(figures.users)},
      {"max_users", std::to_string(figures.maxUsers)},
      {"connections", std::to_string(figures.connections)},
      {"chatrooms", std::to_string(figures.chatrooms)},
      {"bytes_in", Count(figures.bytesIn)},
      {"bytes_out", Count(figures.bytesOut)},
      {"data_in", FormatByteCount(figures.bytesIn, language)},
      {"data_out", FormatByteCount(figures.bytesOut, language)},
      {"program_start", TimeText(figures.programStart)},
      {"server_start", TimeText(figures.serverStart)},
      {"program_uptime", FormatUptime(figures.programUptime, language)},
      {"online_uptime", figures.online ? FormatUptime(figures.onlineUptime, language) : kNone},
      {"system_uptime", FormatUptime(figures.systemUptime, language)},
  };
  const auto seconds = [](long long value) { return static_cast<double>(value); };
  const std::optional<double> none;
  reply.numbers = {
      {"server_status", figures.status},
      {"port", figures.online ? std::optional<double>(figures.port) : none},
      {"users", figures.users},
      {"max_users", figures.maxUsers},
      {"connections", figures.connections},
      {"chatrooms", figures.chatrooms},
      {"bytes_in", figures.bytesIn},
      {"bytes_out", figures.bytesOut},
      {"program_uptime", seconds(figures.programUptime)},
      {"online_uptime", figures.online ? std::optional<double>(seconds(figures.onlineUptime)) : none},
      {"system_uptime", seconds(figures.systemUptime)},
  };
  return reply;
}

ControlReply Online(AdminService& service, const ControlRequest& request) {
  if (!request.words.empty()) return ControlReply::Usage("usage: online");
  return ControlReply::From(service.State().GoOnline());
}

ControlReply Offline(AdminService& service, const ControlRequest& request) {
  const bool confirmed = request.words.size() == 1 && request.words[0] == "--yes";
  if (!request.words.empty() && !confirmed) return ControlReply::Usage("usage: offline [--yes]");
  AdminResult result = service.State().GoOffline(confirmed);
  // The window asks its question; here the answer is the option that gives it.
  if (result.notice == "questionStopServer") {
    result.message = "Users logged in: " + std::to_string(service.State().Figures().users) +
                     ". Add --yes to disconnect them and take the server offline.";
  }
  return ControlReply::From(result);
}

ControlReply Addresses(AdminService& service, const ControlRequest& request) {
  if (!request.words.empty()) return ControlReply::Usage("usage: ips");
  ControlReply reply;
  reply.table.columns = {"address"};
  for (const std::string& address : service.State().LocalAddresses()) reply.table.rows.push_back({address});
  return reply;
}

ControlReply SystemInformation(AdminService& service, const ControlRequest& request) {
  if (!request.words.empty()) return ControlReply::Usage("usage: sysinfo");
  ControlReply reply;
  reply.fields = ReportEntries(BuildSystemReport(service.Server().InstalledPlugins()));
  return reply;
}

}  // namespace

void RegisterServerControl(ControlRegistry& registry, AdminService& service) {
  registry.Add("status", [&service](const ControlRequest& request) { return Status(service, request); });
  registry.Add("online", [&service](const ControlRequest& request) { return Online(service, request); });
  registry.Add("offline", [&service](const ControlRequest& request) { return Offline(service, request); });
  registry.Add("ips", [&service](const ControlRequest& request) { return Addresses(service, request); });
  registry.Add("sysinfo", [&service](const ControlRequest& request) { return SystemInformation(service, request); });
}

}  // namespace velmorin
