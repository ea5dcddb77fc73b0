#include "admin-gui/ServerInfoWindow.hpp"

#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <sys/utsname.h>

#include <mutex>
#include <thread>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "admin/AdminService.hpp"
#include "config/Settings.hpp"
#include "net/MachineAddresses.hpp"
#include "platform/Text.hpp"
#include "server/StatusTexts.hpp"

namespace velmorin {

namespace {

// The server's name: the reverse name of its address, or the machine's own host name where the
// address has none (the address itself is not a name).
std::string ServerName(const std::string& address) {
  std::string name = LookupHostName(address);
  if (name != address) return name;
  utsname names{};
  return uname(&names) == 0 ? std::string(names.nodename) : std::string("-");
}

}  // namespace

// The reverse lookup runs on its own thread; the window polls for its answer and may close first.
struct ServerInfoWindow::Lookup {
  std::mutex mutex;
  bool done = false;
  std::string name;
};

ServerInfoWindow::ServerInfoWindow(AdminService& admin, QWidget* parent) : QDialog(parent), admin_(admin) {
  setObjectName("frmServerInfos");
  setWindowTitle("Server information");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  setLayout(layout);
  const std::pair<const char*, const char*> rows[] = {
      {"lblIPCaption", "IP address:"},        {"lblNameCaption", "Server name:"},
      {"lblStatusCaption", "Status:"},        {"lblPortCaption", "Port:"},
      {"lblPersonsCaption", "Persons:"},      {"lblChatroomsCaption", "Chatrooms:"},
      {"lblMaxTextCaption", "Longest text:"}, {"lblBytesInCaption", "Data in:"},
      {"lblBytesOutCaption", "Data out:"},    {"lblProgramUptimeCaption", "Program uptime:"},
      {"lblOnlineUptimeCaption", "Online uptime:"}, {"lblSystemUptimeCaption", "System uptime:"},
  };
  for (const auto& [name, text] : rows) {
    auto* caption = new QLabel(text, this);
    caption->setObjectName(name);
    auto* value = new QLabel(this);
    value->setObjectName(QString(name).replace("Caption", ""));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(caption, value);
  }
  QDialogButtonBox* buttons = DialogButtons(*this);
  QPushButton* close = AddDialogButton(*buttons, "cmdClose", "&Close", QDialogButtonBox::RejectRole);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(buttons);

  uptimeTimer_.setInterval(1000);
  connect(&uptimeTimer_, &QTimer::timeout, this, [this] { Refresh(); });
  uptimeTimer_.start();
  lookupPoll_.setInterval(100);
  connect(&lookupPoll_, &QTimer::timeout, this, [this] {
    std::lock_guard lock(lookup_->mutex);
    if (!lookup_->done) return;
    lookupPoll_.stop();
    findChild<QLabel*>("lblName")->setText(QtText(lookup_->name).toUpper());
    unsetCursor();
  });
}

ServerInfoWindow::~ServerInfoWindow() = default;

std::vector<std::string> ServerInfoWindow::SetLanguage(const std::string& languageFile) {
  // Fresh instances: an instance stays bound to the first file it was given.
  texts_ = LanguageFile();
  texts_.SetLanguage("frmServerInfos", languageFile);
  std::vector<std::string> refused = ApplyWindowLanguage(*this, "frmServerInfos", languageFile);
  Refresh();
  return refused;
}

QString ServerInfoWindow::Field(const char* name) const {
  const QLabel* label = findChild<QLabel*>(name);
  return label != nullptr ? label->text() : QString();
}

void ServerInfoWindow::LookUpName(const std::string& address) {
  lookedUp_ = address;
  lookup_ = std::make_shared<Lookup>();
  findChild<QLabel*>("lblName")->setText("...");
  setCursor(Qt::BusyCursor);
  std::thread([lookup = lookup_, address] {
    std::string name = ServerName(address);
    std::lock_guard lock(lookup->mutex);
    lookup->name = std::move(name);
    lookup->done = true;
  }).detach();
  lookupPoll_.start();
}

void ServerInfoWindow::Refresh() {
  const ServerFigures figures = admin_.State().Figures();
  const auto set = [this](const char* name, const std::string& text) { findChild<QLabel*>(name)->setText(QtText(text)); };
  const std::vector<std::string> addresses = admin_.State().LocalAddresses();
  const std::string address = addresses.empty() ? "127.0.0.1" : addresses.front();
  set("lblIP", address);
  if (address != lookedUp_) LookUpName(address);
  set("lblStatus", texts_.Data(figures.online ? "online" : "offline"));
  if (figures.online) {
    set("lblPort", std::to_string(figures.port));
    set("lblPersons", std::to_string(figures.users) + "/" + std::to_string(figures.maxUsers));
    set("lblChatrooms", std::to_string(figures.chatrooms));
    set("lblMaxText", std::to_string(ServerSettings.General.MaxTextLength));
  } else {
    set("lblPort", "-");
    set("lblPersons", "-/-");
    set("lblChatrooms", "-");
    set("lblMaxText", "-");
  }
  set("lblBytesIn", FormatByteCount(figures.bytesIn, texts_));
  set("lblBytesOut", FormatByteCount(figures.bytesOut, texts_));
  RefreshUptimes();
}

void ServerInfoWindow::RefreshUptimes() {
  const ServerFigures figures = admin_.State().Figures();
  const auto set = [this](const char* name, const std::string& text) { findChild<QLabel*>(name)->setText(QtText(text)); };
  set("lblProgramUptime", FormatUptime(figures.programUptime, texts_));
  set("lblOnlineUptime", figures.online ? FormatUptime(figures.onlineUptime, texts_) : "-");
  set("lblSystemUptime", FormatUptime(figures.systemUptime, texts_));
}

void ShowServerInfos(AdminService& admin, QWidget& parent) {
  auto* window = parent.findChild<ServerInfoWindow*>();
  if (window == nullptr) {
    window = new ServerInfoWindow(admin, &parent);
    window->SetLanguage(CurrentLanguage().CurrentFile());
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void RefreshServerInfosWindow(QWidget& parent) {
  if (auto* window = parent.findChild<ServerInfoWindow*>()) window->Refresh();
}

}  // namespace velmorin
