#pragma once
// The first start in desktop mode: with more than one usable language file and no usable one
// configured, the administrator chooses in the language chooser (frmLanguage), and the choice is
// stored at once. Otherwise, or when the chooser is closed without a choice, nothing changes and
// the automatic choice of headless mode (by the system's locale) follows. Makes a QApplication
// of its own when none exists.
//
// No Qt header here: the entry point includes it, and Qt's keyword macros would clash with its
// names.

namespace velmorin {

void AskLanguageAtStart(const char* programName);

}  // namespace velmorin
