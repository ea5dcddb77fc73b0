#pragma once
// Start-up steps of the entry point, shared by the headless and the windowed program: the
// command line, the program's directories, the language chosen without asking. When the
// program started (StartTime) is in server/ProgramStart.hpp, as the layers below read it.

#include <string>

namespace velmorin {

// The classic command line: its first character is dropped (a "/" or "-" switch character),
// the rest is trimmed; "word:value" splits at the first ":" and the word is lower-cased.
struct CommandLine {
  std::string word;
  std::string value;
};
CommandLine ParseCommandLine(const std::string& line);

// The value of the "port" word: the leading numeric part rounded to a whole number, 0 without one.
long PortOfCommandLine(const std::string& value);

// Creates config/ (0700) and logs/ of the program directory with every missing parent, and
// takes from group and others every permission on config/, users.cfg and chatrooms.cfg.
// 0, or the errno of a mode that could not be set.
int CreateProgramDirectories();

// The message shown when no language file is found.
extern const char* const kNoLanguageMessage;

// Chooses the language as start-up does without asking: one usable file is taken (and stored);
// with several, a configured usable file is kept, otherwise the file whose languageIDs hold the
// system locale, else the first file in name order, and the choice is stored in Info/Language.
// Returns false when there is no usable language file.
bool ChooseLanguageWithoutAsking(long systemLocaleId);

}  // namespace velmorin
