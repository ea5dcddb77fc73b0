#pragma once
// Answering Qt's modal message boxes from a test, through a timer on Qt's own loop:
//
//   BoxAnswerer no(QMessageBox::No);        answers the next box once; no.text holds its text
//   ModalAnswerer yes(QMessageBox::Yes);    answers every box while it lives; yes.texts

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

namespace velmorin::testing {

// Answers the next message box with `button` and keeps its text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton button) {
    QObject::connect(&poll_, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      poll_.stop();
      text = box->text().toStdString();
      box->button(button)->click();
    });
    poll_.start(10);
  }
  std::optional<std::string> text;

 private:
  QTimer poll_;
};

// Answers every message box that opens while it lives with `button`, and keeps their texts.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(QMessageBox::StandardButton button) {
    QObject::connect(&poll_, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || box->property("answered").toBool()) return;
      box->setProperty("answered", true);
      texts.push_back(box->text().toStdString());
      box->button(button)->click();
    });
    poll_.start(10);
  }
  std::vector<std::string> texts;

 private:
  QTimer poll_;
};

}  // namespace velmorin::testing
