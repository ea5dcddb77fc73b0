// Entry point of velmorin-server.

#include <signal.h>
#include <sys/stat.h>
#include <sysexits.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "admin/AdminService.hpp"
#include "admin/ProcessControl.hpp"
#include "app/HeadlessFrontEnd.hpp"
#include "app/JournalStandardError.hpp"
#include "app/StartupSteps.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "i18n/LocaleIds.hpp"
#include "platform/AdminGroup.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/EventLoop.hpp"
#include "platform/InstanceLock.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/ServiceNotify.hpp"
#include "plugins/PluginRegistry.hpp"
#include "server/ChatServer.hpp"
#include "server/ProgramStart.hpp"
#if VELMORIN_GUI
#include "admin-gui/LanguageAtStart.hpp"
#include "admin-gui/WindowMode.hpp"
#include "app/DisplayCheck.hpp"
#endif

namespace {

void PrintHelp(const char* program) {
  std::cout << "Usage: " << program << " [--headless] [--help] [--version] [/port:N | /unregister]\n"
            << "\n"
            << "Velmorin Server " << velmorin::RunningVersion()
            << ", a chat server for local networks and the internet.\n"
            << "\n"
            << "  --headless   run without a window (also chosen when no display is available)\n"
            << "  --help       show this text and exit\n"
            << "  --version    show the version and exit\n"
            << "  /port:N      listen on port N instead of the configured port (not stored)\n"
            << "  /unregister  unregister every plugin and exit\n"
            << "\n"
            << "Settings live in config/, logs in logs/ and language files in language/ of the\n"
            << "program directory (the directory of this executable).\n"
            << "\n"
            << "Exit status: 0 stopped, 1 could not start, 2 usage error, 69 cannot listen on the port.\n";
}

// The exit status of a server that cannot listen: a status of its own, so that a service manager
// can be told not to restart it again and again (the port stays taken or reserved until someone
// acts).
constexpr int kExitCannotListen = EX_UNAVAILABLE;

// Says that the server cannot listen, and what to do about it; the log above says why.
void ExplainListenFailure(long port) {
  std::cerr << "velmorin-server: cannot listen on port " << port << "; the server ends.\n"
            << "Start it with /port:N to use another port (for example /port:2000), set Port in "
            << velmorin::Paths().settingsFile << ", or end the program that holds port " << port << ".\n";
}

// Takes the program directory for this process. False (and why on standard error) when another
// server runs there or the lock cannot be taken.
bool LockProgramDirectory(velmorin::InstanceLock& lock) {
  const std::string& run = velmorin::Paths().runDirectory;
  const int error = lock.Acquire(run, velmorin::AdminGroupOf(velmorin::Paths().programDirectory));
  if (error == 0) return true;
  if (error == EWOULDBLOCK) {
    std::cerr << "velmorin-server: another server (process " << velmorin::InstanceLock::HolderOf(run)
              << ") already runs in " << velmorin::Paths().programDirectory
              << "; one program directory serves one server. Stop it first, or use velmorin-ctl to manage it.\n";
  } else if (error == ELOOP || error == EPERM || error == ENOTDIR || error == EINVAL) {
    std::cerr << "velmorin-server: " << run << " or " << run << velmorin::kLockFileName
              << " is a symbolic link, not a directory or file, or belongs to another user ("
              << std::strerror(error) << "). The server does not follow or use it and does not start. "
              << "Remove it if you did not make it (the server makes both again), and start the server as "
              << "the user the program directory belongs to.\n";
  } else {
    std::cerr << "velmorin-server: cannot lock " << run << velmorin::kLockFileName << ": " << std::strerror(error) << "\n";
  }
  return false;
}

// Root running in another user's program directory runs what that user puts there: plugins,
// settings. Said once at start; the administrator decides.
void WarnWhenRootInAnotherUsersDirectory() {
  if (::geteuid() != 0) return;
  const std::string& directory = velmorin::Paths().programDirectory;
  struct stat status{};
  if (::stat(directory.c_str(), &status) != 0 || status.st_uid == 0) return;
  std::cerr << "velmorin-server: warning: running as root in " << directory << ", which belongs to user "
            << status.st_uid << ": that user can change the plugins and settings this server uses as root. "
            << "Run the server as that user, or give the directory to root.\n";
}

// Runs the server until SIGTERM or SIGINT, then closes it down as closing the window would.
// SIGHUP re-reads the configuration files and applies them, as daemons do. Returns the exit status:
// kExitCannotListen when the server could not go online at start, for a service manager to see.
int RunHeadless() {
  using namespace velmorin;
  const int signalFd = BlockControlSignals();
  EventLoop& loop = MainLoop();

  HeadlessFrontEnd frontEnd(std::cout, isatty(STDOUT_FILENO) == 1, HeadlessFlush::EachPass,
                            HeadlessFrontEnd::StdoutIsJournal());
  int status = 0;
  {
    ChatServer server(frontEnd);
    AdminService admin(server);
    ProcessControl control(loop, signalFd, server, admin, [&loop] { loop.Stop(); });
    server.Load();
    if (server.IsOnline()) {
      NotifyServiceManager("READY=1");
      loop.Run();
    } else {
      std::cout.flush();  // the log lines before the explanation on standard error
      ExplainListenFailure(ServerSettings.General.ActivePort);
      status = kExitCannotListen;
    }
    control.Close();
    server.Unload();
    LetClosingConnectionsFinish(loop);
  }
  std::cout.flush();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmorin;
  std::setlocale(LC_ALL, "");
  const JournalStandardError journalErrors;
  RaiseDescriptorLimit();

  std::string classic;
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help") {
      PrintHelp(argv[0]);
      return 0;
    }
    if (argument == "--version") {
      std::cout << "velmorin-server " << RunningVersion() << "\n";
      return 0;
    }
    if (argument == "--headless") {
      headless = true;
      continue;
    }
    if (argument.rfind("--", 0) == 0) {
      std::cerr << argv[0] << ": unknown option " << argument << " (see --help)\n";
      return 2;
    }
    if (!classic.empty()) classic += ' ';
    classic += argument;
  }

  SetProgramDirectory(ExecutableDirectory());
  WarnWhenRootInAnotherUsersDirectory();
  InstanceLock lock;
  if (!LockProgramDirectory(lock)) return 1;
  const CommandLine commandLine = ParseCommandLine(classic);
  if (commandLine.word == "unregister") {
    UnregisterPlugins(Paths().programDirectory);
    return 0;
  }
  if (commandLine.word == "port") ServerSettings.General.ActivePort = PortOfCommandLine(commandLine.value);

  if (const int error = CreateProgramDirectories(); error != 0) {
    std::cerr << "velmorin-server: warning: " << Paths().configDirectory
              << " or the password files in it may be readable by other users: " << std::strerror(error) << "\n";
  }
  // Left by a save that was killed before its rename.
  RemoveStaleTemporaryFiles(Paths().configDirectory);
  if (const int error = LoadSettings(); error != 0) {
    std::cerr << "velmorin-server: cannot read " << Paths().settingsFile << ": " << std::strerror(error) << "\n"
              << "The server does not start, so that the file is not replaced with default settings. "
              << "Give the server's user read and write access to it, or move it away to start with defaults.\n";
    return 1;
  }
  const bool display = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
#if VELMORIN_GUI
  // Desktop mode asks the administrator once the server is online (before the choice by the
  // system's locale below is stored, which would answer the question).
  const bool askLanguage = !headless && display && UnreachableDisplay().empty() && LanguageQuestionDue();
#endif
  if (!ChooseLanguageWithoutAsking(SystemDefaultLocaleId())) {
    std::cerr << "Velmorin - Fehler/Error...: " << kNoLanguageMessage << "\n";
    return 1;
  }
  CurrentLanguage().SetLanguage("modMain", Paths().languageDirectory + ServerSettings.Info.Language);
  StartTime = std::time(nullptr);
  if (ServerSettings.General.ActivePort == 0) ServerSettings.General.ActivePort = ServerSettings.General.Port;
#if VELMORIN_GUI
  if (!headless && display) {
    const std::string unreachable = UnreachableDisplay();
    if (unreachable.empty()) return RunWindowMode(argc, argv, askLanguage);
    std::cout << "No display can be reached (" << unreachable << "); running headless.\n";
  }
#else
  if (!headless && display) std::cout << "The desktop window is not part of this build; running headless.\n";
#endif
  return RunHeadless();
}
