#include "plugins/PluginLoadNote.hpp"

#include "logging/LogWriter.hpp"

namespace velmorin {
namespace {

constexpr long kBlack = 0;
constexpr long kRed = 255;

std::string WithReason(const std::string& what, const std::string& reason) {
  return reason.empty() ? what : what + ": " + reason;
}

}  // namespace

std::string PluginLoadNote::Line() const {
  std::string text = "Plugin " + file + ": ";
  switch (outcome) {
    case PluginOutcome::Listed: text += WithReason("found", reason); break;
    case PluginOutcome::Skipped: text += WithReason("not loaded", reason); break;
    case PluginOutcome::Started: text += WithReason("loaded", reason); break;
    case PluginOutcome::InitialiseFailed:
      text += WithReason("initialise failed", reason) + "; it runs all the same and receives its events";
      break;
    case PluginOutcome::Disabled: text += "disabled in the Plugins section of the settings, not started"; break;
    case PluginOutcome::NotStarted: text += WithReason("not started", reason); break;
  }
  return text + ".";
}

void WriteLoadNotes(LogWriter& log, const std::vector<PluginLoadNote>& notes) {
  for (const PluginLoadNote& note : notes) {
    const bool bad = note.Failed() || note.outcome == PluginOutcome::InitialiseFailed;
    log.WriteLogLine(note.Line() + "\r\n", bad ? kRed : kBlack);
  }
}

}  // namespace velmorin
