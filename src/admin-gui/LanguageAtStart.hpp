#pragma once
// The first start in desktop mode: with more than one usable language file and no usable one
// configured, the administrator is asked for the language. The server does not wait for the
// answer: it starts in the automatic choice of headless mode (the system's locale, stored as the
// setting) and goes online, and the language chooser (LanguageDialog) opens over the main window
// once that is up. Being modal, the chooser runs a nested Qt loop, and CoreLoopDriver serves the
// clients and velmorin-ctl from it. A language other than the running one is stored and applied
// at once: to the process and the server (SettingsAdmin::ChooseLanguage) and to the main window
// and the windows it has open. Cancel keeps the automatic choice.
//
// No Qt header here: the entry point includes it, and Qt's keyword macros would clash with its
// names.

namespace velmorin {

class AdminService;
class MainWindow;

// Whether the question is due; to be asked before the automatic choice is stored.
bool LanguageQuestionDue();

// Asks over the window and applies the answer; returns when the chooser is closed.
void AskLanguageOverWindow(MainWindow& window, AdminService& admin);

}  // namespace velmorin
