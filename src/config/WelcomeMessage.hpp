#pragma once
// The welcome text new clients receive, stored in config/welcome.msg (plain lines, CR LF).

#include <functional>
#include <string>
#include <vector>

#include "config/ReloadRefusal.hpp"
#include "config/StoreSnapshot.hpp"

namespace velmorin {

// The raw text with its placeholders, lines separated by CR LF.
extern std::string WelcomeText;

// Reads the file; without one, the language's default text (no file is created).
void LoadWelcomeMessage();
// Writes WelcomeText and one CR LF; 0, the errno of the failed write, or kFileChangedOnDisk
// (nothing written) when the file changed on disk since it was last loaded or saved.
int SaveWelcomeMessage();
// Whether a reload may read the file over the running text: refused when it cannot be read, and
// when it is missing but was there when last read or written (the language's standard text
// would replace the running one).
ReloadRefusal CheckWelcomeFileForReload();
// The save at program close: writes only when the text changed in memory since it was loaded or
// saved (or the file is still missing); when the file changed on disk too, the file stays and
// the server's text goes beside it (see StoreSnapshot.hpp).
ShutdownSave SaveWelcomeMessageAtShutdown();

// The server's current figures for the placeholders.
struct WelcomeFigures {
  long users = 0;                       // logged-in clients
  long port = 0;                        // the port the listening socket is bound to
  std::vector<std::string> addresses;   // the machine's local addresses
  long long onlineSeconds = 0;          // 0 while the server is offline
};

// Lets plugins see or rewrite the text before its placeholders are filled in.
using WelcomeMessageEvent = std::function<std::string(const std::string&)>;

// WelcomeText through the event, with %version, %users, %port, %maxusers, %maxtextlen, %ip,
// %adminname, %adminmail, %ondays, %onhours and %onminutes replaced in that order.
std::string BuildWelcomeText(const WelcomeFigures& figures, const WelcomeMessageEvent& event = {});

}  // namespace velmorin
