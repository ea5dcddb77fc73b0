// The settings dialog's pages of the log view, the log files and the welcome message.

#include <sys/stat.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr const char* kLogPatterns[] = {
    "%message",       ">> %message",        "%date/%time: %message",     "%date/%longtime: %message",
    "%time: %message", "%longtime: %message", "[%date/%time] %message", "[%date/%longtime] %message",
    "[%time] %message", "[%longtime] %message",
};

QPushButton* Button(QWidget* page, const char* name, const char* text) {
  auto* button = new QPushButton(QString::fromLatin1(text), page);
  button->setObjectName(name);
  return button;
}

void PaintSwatch(QPushButton* button, long bgr) {
  QPixmap swatch(32, 14);
  swatch.fill(QtColour(bgr));
  button->setIcon(QIcon(swatch));
  button->setIconSize(swatch.size());
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }
bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

long Bgr(const QColor& colour) { return colour.red() | (colour.green() << 8) | (colour.blue() << 16); }

}  // namespace

void SettingsDialog::BuildLogPage() {
  QWidget* page = AddPage("Log", "lstLog", "log");
  auto* layout = new QVBoxLayout(page);

  // The log font: four settings edited through one font dialog.
  auto font = std::make_shared<SettingsForm>();
  auto* fontRow = new QHBoxLayout;
  auto* fontName = new QLabel(page);
  fontName->setObjectName("lblFontName");
  QPushButton* chooseFont = Button(page, "cmdFont", "Font...");
  fontRow->addWidget(fontName, 1);
  fontRow->addWidget(chooseFont);
  layout->addLayout(fontRow);
  const auto showFont = [fontName, font] {
    const LogSettings& log = font->settings.Log;
    fontName->setText(QtText(log.FontName) + ", " + QString::number(log.FontSize) + (log.FontBold ? ", bold" : "") +
                      (log.FontItalic ? ", italic" : ""));
  };
  for (const char* key : {"Log.FontName", "Log.FontSize", "Log.FontBold", "Log.FontItalic"}) {
    bindings_.push_back({key,
                         [font, key, showFont](const std::string& text) {
                           font->Set(key, text);
                           showFont();
                         },
                         [font, key] { return font->Get(key).value_or(""); }});
  }
  connect(chooseFont, &QPushButton::clicked, this, [this, font, showFont] {
    const LogSettings& log = font->settings.Log;
    QFont current(QtText(log.FontName), static_cast<int>(std::min(log.FontSize, 72L)));
    current.setBold(log.FontBold);
    current.setItalic(log.FontItalic);
    bool chosen = false;
    const QFont picked = QFontDialog::getFont(&chosen, current, this);
    if (!chosen) return;
    font->Set("Log.FontName", ServerText(picked.family()));
    font->Set("Log.FontSize", std::to_string(std::max(1, picked.pointSize())));
    font->Set("Log.FontBold", picked.bold() ? "1" : "0");
    font->Set("Log.FontItalic", picked.italic() ? "1" : "0");
    showFont();
  });

  QCheckBox* atStart = new QCheckBox("Clear at start", page);
  atStart->setObjectName("chkClearLogAtStart");
  layout->addWidget(atStart);
  Bind("Log.ClearLogAtStart", atStart);
  auto* sizeRow = new QHBoxLayout;
  QCheckBox* atSize = new QCheckBox("Clear at size (lines)", page);
  atSize->setObjectName("chkClearLogAtSize");
  auto* size = new QLineEdit(page);
  size->setObjectName("txtClearLogSize");
  sizeRow->addWidget(atSize);
  sizeRow->addWidget(size);
  layout->addLayout(sizeRow);
  Bind("Log.ClearLogAtSize", atSize);
  BindNumber("Log.ClearLogSize", size, "1000");

  // The log message types: their colour and whether they are shown.
  auto* types = new QWidget;
  auto* grid = new QGridLayout(types);
  std::vector<QCheckBox*> shown;
  int row = 0;
  for (const std::string& key : SettingsForm::Keys()) {
    if (!StartsWith(key, "LogMessages.") || !EndsWith(key, "_Color")) continue;
    const std::string name = key.substr(12, key.size() - 12 - 6);
    const std::string showKey =
        SettingsForm::CanonicalKey("LogMessages." + name + "_Show").value_or("LogMessages." + name);
    auto* box = new QCheckBox(QString::fromStdString(name), types);
    box->setObjectName(QString::fromStdString("chkShow_" + std::to_string(row)));
    shown.push_back(box);
    Bind(showKey, box);
    auto* colour = new QPushButton(types);
    colour->setObjectName(QString::fromStdString("cmdColor_" + std::to_string(row)));
    colour->setFixedWidth(64);
    auto bgr = std::make_shared<long>(0);
    bindings_.push_back({key,
                         [colour, bgr](const std::string& text) {
                           *bgr = std::atol(text.c_str());
                           PaintSwatch(colour, *bgr);
                         },
                         [bgr] { return std::to_string(*bgr); }});
    connect(colour, &QPushButton::clicked, this, [this, colour, bgr] {
      const QColor picked = QColorDialog::getColor(QtColour(*bgr), this);
      if (!picked.isValid()) return;
      *bgr = Bgr(picked);
      PaintSwatch(colour, *bgr);
    });
    grid->addWidget(colour, row, 0);
    grid->addWidget(box, row, 1);
    ++row;
  }
  grid->setColumnStretch(1, 1);
  auto* scroll = new QScrollArea(page);
  scroll->setWidget(types);
  scroll->setWidgetResizable(true);
  layout->addWidget(scroll, 1);
  auto* showRow = new QHBoxLayout;
  QPushButton* all = Button(page, "cmdShowAll", "Show all");
  QPushButton* none = Button(page, "cmdShowNone", "Show none");
  connect(all, &QPushButton::clicked, this, [shown] {
    for (QCheckBox* box : shown) box->setChecked(true);
  });
  connect(none, &QPushButton::clicked, this, [shown] {
    for (QCheckBox* box : shown) box->setChecked(false);
  });
  showRow->addWidget(all);
  showRow->addWidget(none);
  showRow->addStretch(1);
  layout->addLayout(showRow);
}

void SettingsDialog::BuildLogPatternPage() {
  QWidget* page = AddPage("LogPattern", "lstLogPattern", "logpattern", "Log");
  auto* layout = new QVBoxLayout(page);
  auto* pattern = new QComboBox(page);
  pattern->setObjectName("cboLogPattern");
  pattern->setEditable(true);
  for (const char* entry : kLogPatterns) pattern->addItem(QString::fromLatin1(entry), QString::fromLatin1(entry));
  layout->addWidget(pattern);
  Bind("Log.Pattern", pattern);
  QPushButton* info = Button(page, "cmdLogPatternInfo", "Placeholders...");
  connect(info, &QPushButton::clicked, this, [this] {
    ShowPlaceholders("titleLogPattern", "textLogPattern", {"dataBr", "dataDate", "dataLongtime", "dataMessage", "dataTime"});
  });
  layout->addWidget(info, 0, Qt::AlignLeft);
  layout->addStretch(1);
}

void SettingsDialog::BuildLoggingPage() {
  QWidget* page = AddPage("Logging", "lstLogging", "logging");
  auto* layout = new QVBoxLayout(page);
  auto* enabled = new QCheckBox("Write log files", page);
  enabled->setObjectName("chkLogging");
  layout->addWidget(enabled);
  Bind("Logging.Enabled", enabled);
  auto* byDate = new QCheckBox("One file per day", page);
  byDate->setObjectName("chkLogNamingByDate");
  layout->addWidget(byDate);
  Bind("Logging.LogNamingByDate", byDate);
  auto* pathRow = new QHBoxLayout;
  auto* path = new QLineEdit(page);
  path->setObjectName("txtLogPath");
  QPushButton* browse = Button(page, "cmdLogPath", "Browse...");
  pathRow->addWidget(path, 1);
  pathRow->addWidget(browse);
  layout->addLayout(pathRow);
  Bind("Logging.LogPath", path);
  connect(browse, &QPushButton::clicked, this, [this, path] {
    QString chosen = QFileDialog::getExistingDirectory(this, QString(), path->text());
    if (chosen.isEmpty()) return;
    if (!chosen.endsWith('/')) chosen += '/';
    path->setText(chosen);
  });
  layout->addStretch(1);
  // The box enables or disables every other control of its page.
  const auto follow = [byDate, path, browse](bool on) {
    for (QWidget* control : std::initializer_list<QWidget*>{byDate, path, browse}) control->setEnabled(on);
  };
  connect(enabled, &QCheckBox::toggled, this, follow);
}

void SettingsDialog::BuildWelcomeMessagePage() {
  QWidget* page = AddPage("WelcomeMessage", "lstWelcomeMessage", "welcome");
  auto* layout = new QVBoxLayout(page);
  auto* send = new QCheckBox("Send the welcome message", page);
  send->setObjectName("chkSendWelcomeMessage");
  layout->addWidget(send);
  Bind("WelcomeMessage.SendWelcomeMessage", send);
  welcome_ = new QPlainTextEdit(page);
  welcome_->setObjectName("txtWelcomeMessage");
  layout->addWidget(welcome_, 1);
  auto* buttons = new QHBoxLayout;
  QPushButton* info = Button(page, "cmdWelcomeInfo", "Placeholders...");
  QPushButton* import = Button(page, "cmdImport", "Import...");
  QPushButton* exportButton = Button(page, "cmdExport", "Export...");
  buttons->addWidget(info);
  buttons->addStretch(1);
  buttons->addWidget(import);
  buttons->addWidget(exportButton);
  layout->addLayout(buttons);
  connect(info, &QPushButton::clicked, this, [this] {
    ShowPlaceholders("titleWelcomeMessage", "textWelcomeMessage",
                     {"dataAdminName", "dataAdminMail", "dataIP", "dataMaxTextLength", "dataMaxUsers", "dataOnDays",
                      "dataOnHours", "dataOnMinutes", "dataPort", "dataUsers", "dataVersion"});
  });
  connect(import, &QPushButton::clicked, this, [this] { ImportWelcomeText(); });
  connect(exportButton, &QPushButton::clicked, this, [this] { ExportWelcomeText(); });
  const auto follow = [this, info, import, exportButton](bool on) {
    for (QWidget* control : std::initializer_list<QWidget*>{welcome_, info, import, exportButton}) control->setEnabled(on);
  };
  connect(send, &QCheckBox::toggled, this, follow);
}

void SettingsDialog::ShowPlaceholders(const std::string& titleKey, const std::string& textKey,
                                   const std::vector<std::string>& keys) {
  std::string text = Text(textKey) + "\n";
  for (const std::string& key : keys) text += "\n" + Text(key);
  QMessageBox::information(this, QtText(Text(titleKey)), QtText(text));
}

// The text goes into the field only: like every other control it is stored by OK.
void SettingsDialog::ImportWelcomeText() {
  const QString path = QFileDialog::getOpenFileName(this, QtText(Text("titleImport")));
  if (path.isEmpty()) return;
  const auto fail = [this](const char* why) { ShowNotice(Text("errorImport") + why); };
  struct stat info {};
  const std::string file = path.toStdString();
  if (::stat(file.c_str(), &info) != 0) return fail(std::strerror(errno));
  // A device or a pipe could deliver without end; a text file has a size to check.
  if (!S_ISREG(info.st_mode)) return fail(std::strerror(EINVAL));
  if (static_cast<unsigned long long>(info.st_size) > kMaxWelcomeTextBytes) return fail(std::strerror(EFBIG));
  QFile in(path);
  if (!in.open(QIODevice::ReadOnly)) return fail(std::strerror(EACCES));
  const QByteArray content = in.read(static_cast<qint64>(kMaxWelcomeTextBytes) + 1);
  if (content.size() > static_cast<qsizetype>(kMaxWelcomeTextBytes)) return fail(std::strerror(EFBIG));
  if (content.contains('\0')) return fail(std::strerror(EINVAL));
  QString text = QtText(content.toStdString());
  if (text.endsWith('\n')) text.chop(1);
  welcome_->setPlainText(text);
}

void SettingsDialog::ExportWelcomeText() {
  const QString path = QFileDialog::getSaveFileName(this, QtText(Text("titleExport")));
  if (path.isEmpty()) return;
  QFile out(path);
  const std::string text = ReplaceAll(ServerText(welcome_->toPlainText()), "\n", "\r\n") + "\r\n";
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
    ShowNotice(Text("errorExport") + out.errorString().toStdString());
  }
}

}  // namespace velmorin
