#pragma once
// A control command's answer, in a shape that both the JSON answer for scripts and the
// human-readable output of velmorin-ctl are made from: the result, named fields (shown as
// "name: value" lines) and an optional table (shown with aligned columns).

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

enum class ControlStatus {
  Done,     // velmorin-ctl exits 0
  Refused,  // the operation was refused with a notice; exits 1
  Usage,    // the words do not form a command; exits 2
};

struct ControlTable {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;  // each row has one cell per column
  // Protocol 2 writes the cells of these columns (by index) as JSON numbers.
  std::set<std::size_t> numericColumns;
};

struct ControlReply {
  ControlStatus status = ControlStatus::Done;
  std::string notice;   // the refusal's name (Refused) or empty
  std::string message;  // a line to show: what was done, why it was refused, or the usage
  std::vector<std::pair<std::string, std::string>> fields;
  ControlTable table;   // no columns: no table
  // Protocol 2 writes these fields as JSON numbers (durations in seconds; no value: null);
  // protocol 1 writes every field as its text.
  std::map<std::string, std::optional<double>> numbers;

  static ControlReply From(const AdminResult& result) {
    ControlReply reply;
    reply.status = result.done ? ControlStatus::Done : ControlStatus::Refused;
    reply.notice = result.notice;
    reply.message = result.message;
    return reply;
  }
  static ControlReply Usage(std::string usage) {
    ControlReply reply;
    reply.status = ControlStatus::Usage;
    reply.message = std::move(usage);
    return reply;
  }
};

}  // namespace velmorin
