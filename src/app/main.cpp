// Entry point of velmorin-server.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/HeadlessFrontEnd.hpp"
#include "core/clsServer.hpp"
#include "core/modMain.hpp"
#include "net/LingeringSockets.hpp"
#include "plugins/clsPlugins.hpp"
#include "i18n/clsLanguage.hpp"
#include "i18n/modLangID.hpp"
#include "platform/EventLoop.hpp"
#include "store/modPaths.hpp"
#include "store/modSettings.hpp"

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
            << "program directory (the directory of this executable).\n";
}

// Runs the server until SIGTERM or SIGINT, then closes it down as closing the window would.
int RunHeadless() {
  using namespace velmorin;
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
  EventLoop& loop = MainLoop();
  const EventLoop::WatchId signalWatch = loop.Watch(signalFd, true, false, [&loop, signalFd](std::uint32_t) {
    signalfd_siginfo info{};
    while (read(signalFd, &info, sizeof info) > 0) {
    }
    loop.Stop();
  });

  HeadlessFrontEnd frontEnd(std::cout, isatty(STDOUT_FILENO) == 1);
  {
    clsServer server(frontEnd);
    server.Load();
    loop.Run();
    server.Unload();
    // Give closing connections a moment to deliver what they still hold.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (LingeringSocketCount() > 0 && std::chrono::steady_clock::now() < deadline) loop.RunOnce(50);
  }
  loop.Unwatch(signalWatch);
  close(signalFd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmorin;
  std::setlocale(LC_ALL, "");
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
  const CommandLine commandLine = ParseCommandLine(classic);
  if (commandLine.word == "unregister") {
    UnregisterPlugins(Paths().programDirectory);
    return 0;
  }
  if (commandLine.word == "port") ServerSettings.General.ActivePort = PortOfCommandLine(commandLine.value);

  CreateProgramDirectories();
  LoadSettings();
  if (!ChooseLanguageWithoutAsking(SystemDefaultLocaleId())) {
    std::cerr << "Velmorin - Fehler/Error...: " << kNoLanguageMessage << "\n";
    return 1;
  }
  CurrentLanguage().SetLanguage("modMain", Paths().languageDirectory + ServerSettings.Info.Language);
  StartTime = std::time(nullptr);
  const bool display = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
  if (!headless && display) std::cout << "The desktop window is not part of this build; running headless.\n";
  if (ServerSettings.General.ActivePort == 0) ServerSettings.General.ActivePort = ServerSettings.General.Port;
  return RunHeadless();
}
