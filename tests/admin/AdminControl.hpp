#pragma once
// Runs control commands on a harness's server the way the control socket does: on the server
// thread, through the registry that AdminService fills.

#include <sstream>
#include <string>
#include <vector>

#include "admin/AdminService.hpp"
#include "admin/ControlRegistry.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin::testing {

inline std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The reply to `words`, run on the server thread.
inline ControlReply Control(ServerHarness& server, const std::vector<std::string>& words) {
  return server.Call([words](ChatServer& s) {
    AdminService service(s);
    ControlRegistry registry;
    service.RegisterControlCommands(registry);
    return registry.Run(words, "");
  });
}
inline ControlReply Control(ServerHarness& server, const std::string& line) { return Control(server, Words(line)); }

inline std::string Field(const ControlReply& reply, const std::string& name) {
  for (const auto& [key, value] : reply.fields) {
    if (key == name) return value;
  }
  return "<no field " + name + ">";
}

// The cells of the column in every row.
inline std::vector<std::string> Column(const ControlReply& reply, const std::string& name) {
  std::vector<std::string> cells;
  for (std::size_t column = 0; column < reply.table.columns.size(); ++column) {
    if (reply.table.columns[column] != name) continue;
    for (const auto& row : reply.table.rows) cells.push_back(row.at(column));
  }
  return cells;
}

}  // namespace velmorin::testing
