#include "admin-gui/MainWindow.hpp"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QFontMetrics>
#include <QStyle>
#include <QTextDocument>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "admin-gui/AdminWindows.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/HelpMenu.hpp"
#include "admin-gui/Icons.hpp"
#include "admin-gui/ServerInfoWindow.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin-gui/SystemInfoWindow.hpp"
#include "admin-gui/Toolbar.hpp"
#include "admin-gui/ToolbarDialog.hpp"
#include "admin-gui/TrayIcon.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "admin/AdminService.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {
namespace {

// Sizes of the window in twips: the smallest, and the standard view's (each without the toolbar).
constexpr double kMinimumWidthTwips = 5000;
constexpr double kMinimumHeightTwips = 2000;
constexpr double kStandardWidthTwips = 6840;
constexpr double kStandardHeightTwips = 4050;
// A log line as long as the longer everyday ones (date, time and text), in characters.
constexpr int kTypicalLogLineCharacters = 100;
// The toolbar's height as the settings store it when it is shown.
constexpr long kShownToolbarHeight = 380;

// The menu action of each toolbar key.
const std::map<std::string, const char*>& ToolbarActionNames() {
  static const std::map<std::string, const char*> names{
      {"online", "mnuOnline"},          {"clear", "mnuClearLog"},           {"print", "mnuPrintLog"},
      {"save", "mnuSaveLog"},           {"font", "mnuLogFont"},             {"alwaysontop", "mnuAlwaysOnTop"},
      {"scroll", "mnuScrollLog"},       {"userinfos", "mnuUserInfos"},      {"chatroomsinfos", "mnuChatroomInfos"},
      {"showips", "mnuShowIPs"},        {"serverinfos", "mnuServerInfos"},  {"settings", "mnuSettings"},
      {"exit", "mnuExit"},
  };
  return names;
}

// "Description|*.ext|Description|*.ext" (the language file's filter form) as Qt's filters.
QStringList FileFilters(const QString& pairs) {
  const QStringList parts = pairs.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) filters << parts[i];
  if (filters.isEmpty()) filters << QStringLiteral("Rich Text Format (*.rtf)") << QStringLiteral("Text (*.txt)");
  return filters;
}

std::string WithCrLf(const std::string& text) { return ReplaceAll(text, "\n", "\r\n"); }

// A number of the Window setting; 0 when it is none (the text is not the locale's).
double WindowNumber(const std::string& text) {
  double value = 0;
  const std::string trimmed = TrimBlanks(text);
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error != std::errc() || !std::isfinite(value) || std::fabs(value) > 1e7) return 0;
  return value;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmServer");
  setWindowTitle("Velmorin Server");
  log_ = new LogViewWidget(this);
  log_->setObjectName("rtfLog");
  setCentralWidget(log_);
  toolbar_ = addToolBar("Toolbar");
  toolbar_->setObjectName("tlbToolbar");
  toolbar_->setMovable(false);
  toolbar_->setIconSize(QSize(24, 24));
  status_ = new QLabel(this);
  status_->setObjectName("lblStatus");
  statusBar()->addWidget(status_, 1);
  BuildMenus();
  // The toolbar's own menu: hide it, adjust it.
  toolbar_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(toolbar_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu;
    menu.addAction(Action("mnuShowToolbar"));
    menu.addAction(Action("mnuAdjustToolbar"));
    menu.exec(toolbar_->mapToGlobal(at));
  });
  log_->setContextMenuPolicy(Qt::ActionsContextMenu);
  for (const char* name : {"mnuScrollLog", "mnuClearLog", "mnuCopyAll", "mnuCopySelection", "mnuSaveLog", "mnuPrintLog",
                           "mnuLogFont"}) {
    log_->addAction(Action(name));
  }
  setWindowIcon(StatusIcon(2));
  AttachTray();
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::AddAction(QMenu& menu, const char* name, const QString& text, std::function<void(bool)> run,
                              bool checkable) {
  QAction* action = menu.addAction(text);
  action->setObjectName(name);
  action->setCheckable(checkable);
  if (run) {
    connect(action, &QAction::triggered, this, [run = std::move(run)](bool checked) { run(checked); });
  } else {
    action->setEnabled(false);  // its dialog is not there yet
  }
  actions_[name] = action;
  return action;
}

void MainWindow::BuildMenus() {
  QMenu* server = menuBar()->addMenu("&Server");
  server->setObjectName("mnuServer");
  AddAction(*server, "mnuOnline", "&Online", [this](bool) { ToggleOnline(); }, true);
  AddAction(*server, "mnuReload", "&Reload configuration", [this](bool) { ReloadConfiguration(); });
  server->addSeparator();
  AddAction(*server, "mnuExit", "E&xit", [this](bool) { close(); });

  QMenu* log = menuBar()->addMenu("&Log");
  log->setObjectName("mnuLog");
  AddAction(*log, "mnuScrollLog", "&Scroll automatically", [this](bool on) { ToggleScrolling(on); }, true);
  AddAction(*log, "mnuClearLog", "&Clear", [this](bool) { ClearLog(); });
  log->addSeparator();
  AddAction(*log, "mnuCopyAll", "Copy &all", [this](bool) { CopyLog(false); });
  AddAction(*log, "mnuCopySelection", "Copy s&election", [this](bool) { CopyLog(true); });
  AddAction(*log, "mnuSaveLog", "Sa&ve as...", [this](bool) { SaveLog(); });
  AddAction(*log, "mnuPrintLog", "&Print...", [this](bool) { PrintLog(); });
  log->addSeparator();
  AddAction(*log, "mnuLogFont", "&Font...", [this](bool) { ChooseFont(); });

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("mnuView");
  AddAction(*view, "mnuShowToolbar", "Show &toolbar", [this](bool on) { ToggleToolbar(on); }, true);
  AddAction(*view, "mnuAdjustToolbar", "&Adjust toolbar...", [this](bool) { ShowAdjustToolbar(*this, [this] { RebuildToolbar(); }); });
  AddAction(*view, "mnuStandardToolbar", "Standard tool&bar", [this](bool) { StandardToolbar(); });
  AddAction(*view, "mnuStandardView", "Standard &view", [this](bool) { StandardView(); });
  view->addSeparator();
  AddAction(*view, "mnuAlwaysOnTop", "Always on t&op", [this](bool on) { SetAlwaysOnTop(on); }, true);

  QMenu* extras = menuBar()->addMenu("E&xtras");
  extras->setObjectName("mnuExtras");
  AddAction(*extras, "mnuUserInfos", "&User information...", [this](bool) { if (admin_ != nullptr) ShowUserInfos(*admin_, *this); });
  AddAction(*extras, "mnuChatroomInfos", "&Chatroom information...", [this](bool) { if (admin_ != nullptr) ShowChatroomInfos(*admin_, *this); });
  AddAction(*extras, "mnuServerInfos", "&Server information...", [this](bool) { if (admin_ != nullptr) ShowServerInfos(*admin_, *this); });
  AddAction(*extras, "mnuSystemInfos", "S&ystem information...", [this](bool) { if (admin_ != nullptr) ShowSystemInfos(*admin_, *this); });
  AddAction(*extras, "mnuShowIPs", "&IP addresses...", [this](bool) { if (admin_ != nullptr) ShowIPs(*admin_, *this); });
  extras->addSeparator();
  AddAction(*extras, "mnuSettings", "S&ettings...", [this](bool) {
    if (admin_ != nullptr && ShowSettingsDialog(this, *admin_, texts_.CurrentFile())) RebuildToolbar();
  });

  QMenu* plugins = menuBar()->addMenu("&Plugins");
  plugins->setObjectName("mnuPlugins");
  plugins->setEnabled(false);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("mnuHelp");
  AddAction(*help, "mnuHelpContents", "&Contents", [this](bool) { ShowUserGuide(*this); });
  AddAction(*help, "mnuAbout", "&About...", [this](bool) { ShowAbout(*this); });

  for (const auto& [key, name] : ToolbarActionNames()) {
    QAction* action = Action(name);
    action->setIcon(ToolbarIcon(key));
    action->setIconVisibleInMenu(false);
  }
}

QAction* MainWindow::Action(const std::string& name) const {
  auto it = actions_.find(name);
  if (it != actions_.end()) return it->second;
  auto key = ToolbarActionNames().find(name);
  if (key == ToolbarActionNames().end()) return nullptr;
  return actions_.at(key->second);
}

void MainWindow::Attach(AdminService& admin, std::function<void()> unload) {
  admin_ = &admin;
  unload_ = std::move(unload);
}

std::string MainWindow::Text(const std::string& key) const { return texts_.Data(key); }

void MainWindow::Notice(const std::string& key) {
  QMessageBox::information(this, QtText(texts_.Data("notice")), QtText(Text(key)));
}

std::vector<std::string> MainWindow::SetLanguage(const std::string& languageFile) {
  std::vector<std::string> refused = ApplyWindowLanguage(*this, "frmServer", languageFile);
  // A fresh instance: an instance stays bound to the first file it was given.
  texts_ = LanguageFile();
  texts_.SetLanguage("frmServer", languageFile);
  for (std::string& key : tray_->SetLanguage(languageFile)) refused.push_back(std::move(key));
  for (const ToolbarButton& button : ToolbarButtons()) {
    const std::string tip = Text(button.tooltipKey);
    if (!tip.empty()) Action(button.key)->setToolTip(QtText(tip));
  }
  return refused;
}

std::vector<std::string> MainWindow::LoadWindow(const std::string& languageFile) {
  std::vector<std::string> refused = SetLanguage(languageFile);
  RebuildToolbar();
  RestoreWindowState();
  return refused;
}

void MainWindow::RebuildToolbar() {
  CreateToolbar(*toolbar_, ServerSettings.General.ToolbarOrder, [this](const std::string& key) { return Action(key); });
  const bool shown = ServerSettings.General.ToolbarHeight > 0 && !toolbar_->actions().isEmpty();
  toolbar_->setVisible(shown);
  Action("mnuShowToolbar")->setChecked(shown);
  ApplyMinimumSize();
}

// --- front end -------------------------------------------------------------------------------

void MainWindow::AppendLogLine(const std::string& line, long color) { log_->AppendLine(line, color); }

void MainWindow::ClearLogView() { log_->Clear(); }

void MainWindow::ShowStatus(long icon, const std::string& statusLine, const std::string& trayTip) {
  // Called at every login and logout: the status line is laid out at most once per interval,
  // and the window icon goes to the display only when it changes.
  shownStatus_ = QtText(statusLine);
  statusUpdates_.Request();
  tray_->SetStatus(icon, QtText(trayTip));
  if (icon != windowIcon_) {
    windowIcon_ = icon;
    setWindowIcon(StatusIcon(icon));
  }
}

void MainWindow::SetTitle(const std::string& title) { setWindowTitle(QtText(title)); }

void MainWindow::SetOnlineState(bool online) { Action("mnuOnline")->setChecked(online); }

bool MainWindow::AskYesNo(const std::string& question, const std::string& title, bool /*answerWhenUnattended*/) {
  return QMessageBox::question(this, QtText(title), QtText(question), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void MainWindow::ShowWindow() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

std::string MainWindow::LogText(bool rich) const {
  log_->FlushQueue();  // the lines of the current pass belong to the text
  return rich ? log_->RichText(false) : WithCrLf(ServerText(log_->PlainText(false)));
}

// --- closing ---------------------------------------------------------------------------------

void MainWindow::CloseWithoutQuestion() {
  askOnClose_ = false;
  // A dialog the administrator has open runs a loop of its own, and the process would wait in
  // it for the administrator. It is closed first; the window closes once its loop has returned.
  // Bounded, for a dialog that will not close.
  if (QWidget* dialog = QApplication::activeModalWidget(); dialog != nullptr && dialog != this &&
                                                            dialogsClosedForStop_ < kMaxDialogsClosedForStop) {
    ++dialogsClosedForStop_;
    dialog->close();
    QMetaObject::invokeMethod(this, [this] { CloseWithoutQuestion(); }, Qt::QueuedConnection);
    return;
  }
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (unloaded_) {
    event->accept();
    return;
  }
  // The question lets the loops run: a signal may have closed the window meanwhile.
  if (askOnClose_ && !QueryUnload() && !unloaded_) {
    event->ignore();
    return;
  }
  // A close that was not asked for (a signal, the session's end) has logged its own cause.
  if (askOnClose_ && admin_ != nullptr) admin_->Audit().RecordStop(admin_->Audit().StopByWindow());
  Unload();
  event->accept();
}

bool MainWindow::QueryUnload() {
  if (admin_ == nullptr) return true;
  const ServerFigures figures = admin_->State().Figures();
  if (!figures.online || figures.users < 1) return true;
  ShowWindow();
  const std::string question = ReplaceAll(texts_.Data("questionStopServer"), "%count", std::to_string(figures.users));
  return AskYesNo(question, texts_.Data("notice"), true);
}

void MainWindow::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  StoreWindowState();
  if (unload_) unload_();
  setWindowFlag(Qt::WindowStaysOnTopHint, false);
}

// --- window state ----------------------------------------------------------------------------

double MainWindow::TwipsPerPixel() const {
  const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  const double dpi = shown != nullptr && shown->logicalDotsPerInch() > 0 ? shown->logicalDotsPerInch() : 96.0;
  return 1440.0 / dpi;
}

void MainWindow::ApplyMinimumSize() {
  const double perPixel = TwipsPerPixel();
  const double toolbar = !toolbar_->isHidden() ? static_cast<double>(ServerSettings.General.ToolbarHeight) : 0.0;
  setMinimumSize(static_cast<int>(std::lround(kMinimumWidthTwips / perPixel)),
                 static_cast<int>(std::lround((toolbar + kMinimumHeightTwips) / perPixel)));
}

void MainWindow::RestoreWindowState() {
  const StartSettings& start = ServerSettings.Start;
  log_->SetScrolling(ServerSettings.General.ScrollLog);
  Action("mnuScrollLog")->setChecked(ServerSettings.General.ScrollLog);
  QFont font(QtText(ServerSettings.Log.FontName));
  if (ServerSettings.Log.FontSize > 0) font.setPointSize(static_cast<int>(std::min(ServerSettings.Log.FontSize, 72L)));
  font.setBold(ServerSettings.Log.FontBold);
  font.setItalic(ServerSettings.Log.FontItalic);
  log_->SetLogFont(font);

  StandardView();
  std::vector<double> rect;
  for (const std::string& part : Split(start.Window, ",")) rect.push_back(WindowNumber(part));
  const bool stored = rect.size() == 4 && (rect[0] != 0 || rect[1] != 0 || rect[2] != 0 || rect[3] != 0);
  if (stored) {
    const double perPixel = TwipsPerPixel();
    if (start.RestoreWindowSize && rect[2] > 0 && rect[3] > 0) {
      resize(static_cast<int>(std::lround(rect[2] / perPixel)), static_cast<int>(std::lround(rect[3] / perPixel)));
    }
    if (start.RestoreWindowPosition) {
      move(static_cast<int>(std::lround(rect[0] / perPixel)), static_cast<int>(std::lround(rect[1] / perPixel)));
    }
  } else {
    OpenWideEnoughForLogLines();
  }
  Action("mnuAlwaysOnTop")->setChecked(ServerSettings.General.AlwaysOnTop);
  setWindowFlag(Qt::WindowStaysOnTopHint, ServerSettings.General.AlwaysOnTop);
  if (start.AutoMinimizeAtStart) {
    showMinimized();
  } else if (start.Maximized) {
    showMaximized();
  } else {
    show();
  }
}

void MainWindow::StoreWindowState() {
  ServerSettings.Start.Maximized = isMaximized();
  // The rectangle of the normal state: the frame's position (what move() restores) and the size.
  QPoint position = pos();
  QSize size = this->size();
  if ((isMaximized() || isMinimized()) && normalGeometry().isValid()) {
    position = normalGeometry().topLeft();
    size = normalGeometry().size();
  }
  const double perPixel = TwipsPerPixel();
  const auto twips = [perPixel](int pixels) { return std::to_string(std::lround(pixels * perPixel)); };
  ServerSettings.Start.Window = twips(position.x()) + "," + twips(position.y()) + "," + twips(size.width()) + "," +
                                twips(size.height());
  ServerSettings.General.ToolbarHeight = !toolbar_->isHidden() ? kShownToolbarHeight : 0;
}

// --- actions ---------------------------------------------------------------------------------

void MainWindow::ToggleOnline() {
  if (admin_ == nullptr) return;
  ServerAdmin& state = admin_->State();
  if (!state.Figures().online) {
    admin_->Audit().RecordWindow("online", state.GoOnline());
  } else if (const AdminResult result = state.GoOffline(false); result.notice == "questionStopServer") {
    const long users = state.Figures().users;
    const std::string question = ReplaceAll(texts_.Data("questionStopServer"), "%count", std::to_string(users));
    if (AskYesNo(question, texts_.Data("notice"), true)) admin_->Audit().RecordWindow("offline --yes", state.GoOffline(true));
  } else {
    admin_->Audit().RecordWindow("offline", result);
  }
  // The tick shows what happened, not what was clicked.
  SetOnlineState(state.Figures().online);
}

void MainWindow::ReloadConfiguration() {
  if (admin_ == nullptr) return;
  const AdminResult result = admin_->Audit().RecordWindow("reload", admin_->Settings().ReloadFromDisk());
  if (!result.ok()) QMessageBox::warning(this, QtText(texts_.Data("notice")), QtText(result.message));
}

void MainWindow::ClearLog() {
  if (!AskYesNo(texts_.Data("questionDelLog"), texts_.Data("notice"), false)) return;
  // Through the log writer, so that its line count starts again with the view.
  if (admin_ != nullptr) {
    admin_->Audit().RecordWindow("log clear", admin_->State().ClearLog());
  } else {
    log_->Clear();
  }
}

void MainWindow::ToggleScrolling(bool on) {
  ServerSettings.General.ScrollLog = on;
  log_->SetScrolling(on);
  if (on) log_->FlushQueue();
}

void MainWindow::CopyLog(bool selectionOnly) {
  if (!selectionOnly) log_->FlushQueue();
  auto* data = new QMimeData;
  const std::string rtf = log_->RichText(selectionOnly);
  data->setData("text/rtf", QByteArray(rtf.data(), static_cast<qsizetype>(rtf.size())));
  data->setData("application/rtf", QByteArray(rtf.data(), static_cast<qsizetype>(rtf.size())));
  data->setText(log_->PlainText(selectionOnly));
  QGuiApplication::clipboard()->setMimeData(data);
}

void MainWindow::SaveLog() {
  log_->FlushQueue();
  const QStringList filters = FileFilters(QtText(texts_.Data("filterTextFormat")));
  QFileDialog dialog(this, QtText(texts_.Data("titleSaveLog")), QtText(Paths().programDirectory + "logs"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const bool rich = dialog.selectedNameFilter() == filters.front();
  const std::string content = rich ? log_->RichText(false) : WithCrLf(ServerText(log_->PlainText(false)));
  const QByteArray path = dialog.selectedFiles().front().toLocal8Bit();
  if (WriteFileAtomically(path.toStdString(), content) != 0) Notice("errorSaveLog");
}

void MainWindow::PrintLog() {
  log_->FlushQueue();
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) log_->document()->print(&printer);
}

void MainWindow::ChooseFont() {
  bool chosen = false;
  const QFont font = QFontDialog::getFont(&chosen, log_->font(), this);
  if (!chosen) return;
  ServerSettings.Log.FontName = ServerText(font.family());
  ServerSettings.Log.FontSize = std::max(1, font.pointSize());
  ServerSettings.Log.FontBold = font.bold();
  ServerSettings.Log.FontItalic = font.italic();
  log_->SetLogFont(font);
}

void MainWindow::ToggleToolbar(bool shown) {
  ServerSettings.General.ToolbarHeight = shown ? kShownToolbarHeight : 0;
  if (shown && ServerSettings.General.ToolbarOrder.empty()) {
    ServerSettings.General.ToolbarOrder = kStandardToolbarOrder;
    RebuildToolbar();
    Notice("noticeResetToolbar");
    return;
  }
  RebuildToolbar();
}

void MainWindow::StandardToolbar() {
  ServerSettings.General.ToolbarOrder = kStandardToolbarOrder;
  RebuildToolbar();
}

void MainWindow::StandardView() {
  const double perPixel = TwipsPerPixel();
  const double toolbar = !toolbar_->isHidden() ? static_cast<double>(ServerSettings.General.ToolbarHeight) : 0.0;
  if (isMaximized() || isMinimized()) showNormal();
  resize(static_cast<int>(std::lround(kStandardWidthTwips / perPixel)),
         static_cast<int>(std::lround((toolbar + kStandardHeightTwips) / perPixel)));
  if (const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen()) {
    const QRect area = shown->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void MainWindow::OpenWideEnoughForLogLines() {
  const QFontMetrics metrics(log_->font());
  // The log view's frame, margins and vertical scroll bar beside the text.
  const int chrome = 2 * log_->frameWidth() + 2 * static_cast<int>(log_->document()->documentMargin()) +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
  const int wanted = metrics.averageCharWidth() * kTypicalLogLineCharacters + chrome;
  const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  const QRect area = shown != nullptr ? shown->availableGeometry() : QRect(0, 0, wanted, height());
  resize(std::clamp(wanted, width(), std::max(width(), area.width())),
         std::min(height() + 8 * metrics.lineSpacing(), std::max(height(), area.height())));
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void MainWindow::SetAlwaysOnTop(bool on) {
  ServerSettings.General.AlwaysOnTop = on;
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) show();  // changing the flags hides the window
}

}  // namespace velmorin
