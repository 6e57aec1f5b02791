#include "app/QtUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "app/Widgets.h"

void QtUi::message(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, toQ(title), toQ(text), QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("MessageBox"));
  box.exec();
}

bool QtUi::ask(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Question, toQ(title), toQ(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("QuestionBox"));
  QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
  box.exec();
  return box.clickedButton() == yes;
}

void QtUi::errorBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("ostraftp"), toQ(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.exec();
}

void QtUi::beginWait() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::endWait() {
  QApplication::restoreOverrideCursor();
}

void QtUi::pause(int milliseconds) {
  QThread::msleep(static_cast<unsigned long>(milliseconds));
}
