#include "admin-gui/SplashWindow.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QScreen>
#include <QEventLoop>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <array>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "platform/ProgramPaths.hpp"

namespace velmorin {

namespace {

struct StepInfo {
  StartupStep step;
  int progress;
  const char* key;
  const char* fallback;  // shown until a language file is applied
};

constexpr std::array<StepInfo, 5> kSteps{{
    {StartupStep::Window, 20, "stepWindow", "Building the window..."},
    {StartupStep::Server, 40, "stepServer", "Preparing the server..."},
    {StartupStep::WindowState, 60, "stepWindowState", "Restoring the window..."},
    {StartupStep::Online, 80, "stepOnline", "Loading plugins and going online..."},
    {StartupStep::Ready, 100, "stepReady", "Ready."},
}};

const StepInfo& Info(StartupStep step) { return kSteps[static_cast<std::size_t>(step)]; }

// A click into the half-built main window waits until the start-up has finished.
constexpr QEventLoop::ProcessEventsFlags kDrawOnly = QEventLoop::ExcludeUserInputEvents;

}  // namespace

int StartupProgress(StartupStep step) { return Info(step).progress; }

const char* StartupStepKey(StartupStep step) { return Info(step).key; }

SplashWindow::SplashWindow(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("frmLoading");
  setWindowTitle("Velmorin Server");
  setAttribute(Qt::WA_ShowWithoutActivating);
  // Without a window frame, the box marks the window's edge.
  auto* box = new QFrame(this);
  box->setFrameShape(QFrame::Box);
  box->setFrameShadow(QFrame::Plain);
  auto* product = new QLabel(QtText("Velmorin Server " + RunningVersion()), box);
  product->setObjectName("lblProduct");
  QFont large = product->font();
  large.setPointSizeF(large.pointSizeF() * 1.6);
  large.setBold(true);
  product->setFont(large);
  auto* loading = new QLabel("Starting the server, please wait...", box);
  loading->setObjectName("lblLoading");
  step_ = new QLabel(box);
  step_->setObjectName("lblStep");
  step_->setWordWrap(true);
  // Room for two lines, so that a long step text wraps instead of resizing the window.
  step_->setMinimumHeight(2 * step_->fontMetrics().lineSpacing());
  step_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  bar_ = new GradientProgressBar(box);
  auto* inner = new QVBoxLayout(box);
  inner->setContentsMargins(24, 20, 24, 20);
  inner->addWidget(product);
  inner->addWidget(loading);
  inner->addSpacing(8);
  inner->addWidget(step_);
  inner->addWidget(bar_);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(box);
  setFixedWidth(440);
}

std::vector<std::string> SplashWindow::SetLanguage(const std::string& languageFile) {
  texts_.SetLanguage("frmLoading", languageFile);
  return ApplyWindowLanguage(*this, "frmLoading", languageFile);
}

void SplashWindow::setProgress(int percent) {
  const int before = bar_->value();
  bar_->setValue(percent);
  if (bar_->value() != before) emit progressChanged(bar_->value());
  Redraw();
}

void SplashWindow::ShowStep(StartupStep step) {
  const StepInfo& info = Info(step);
  const std::string text = texts_.Data(info.key);
  step_->setText(text.empty() ? QString(info.fallback) : QtText(text));
  setProgress(info.progress);
}

void SplashWindow::ShowAndDraw() {
  adjustSize();
  if (const QScreen* shown = screen()) move(shown->availableGeometry().center() - rect().center());
  show();
  // A new window is drawn once the window system has mapped it; a display that never answers
  // costs at most this long.
  QElapsedTimer waited;
  waited.start();
  while (windowHandle() != nullptr && !windowHandle()->isExposed() && waited.elapsed() < 500) {
    QCoreApplication::processEvents(kDrawOnly);
    QThread::msleep(5);
  }
  Redraw();
}

void SplashWindow::Redraw() {
  if (!isVisible()) return;
  QCoreApplication::processEvents(kDrawOnly);  // a new step text laid out first
  repaint();
}

StartupSplash::StartupSplash(bool shown, const std::string& languageFile) {
  if (!shown) return;
  window_ = std::make_unique<SplashWindow>();
  window_->SetLanguage(languageFile);
  window_->ShowAndDraw();
}

StartupSplash::~StartupSplash() { Close(); }

void StartupSplash::Reach(StartupStep step) {
  if (window_ && StartupProgress(step) >= window_->progress()) window_->ShowStep(step);
}

void StartupSplash::Raise() {
  if (window_) window_->raise();
}

void StartupSplash::Close() {
  if (!window_) return;
  window_->close();
  window_.reset();
}

}  // namespace velmorin
