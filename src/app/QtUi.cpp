#include "app/QtUi.h"

#include <algorithm>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "app/Widgets.h"

namespace {

// A box is always shown under the normal cursor, also when the work that shows it runs inside another
// one's hourglass (an object click started by the connection choice or the refresh): the arrow goes on
// top of the cursor stack while the box is up, and the hourglass is back when it closes.
class NormalCursor {
 public:
  NormalCursor() : waiting_(QApplication::overrideCursor() != nullptr) {
    if (waiting_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~NormalCursor() {
    if (waiting_) QApplication::restoreOverrideCursor();
  }
  NormalCursor(const NormalCursor&) = delete;
  NormalCursor& operator=(const NormalCursor&) = delete;

 private:
  const bool waiting_;
};

}  // namespace

void QtUi::message(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, toQ(title), toQ(text), QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("MessageBox"));
  const NormalCursor cursor;
  box.exec();
}

bool QtUi::ask(const std::string& text, const std::string& title, Answer preset) {
  QMessageBox box(QMessageBox::Question, toQ(title), toQ(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("QuestionBox"));
  QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
  box.setDefaultButton(preset == Answer::Yes ? yes : no);
  const NormalCursor cursor;
  box.exec();
  return box.clickedButton() == yes;
}

void QtUi::errorBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("ostraftp"), toQ(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorBox"));
  const NormalCursor cursor;
  box.exec();
}

void QtUi::beginWait() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::endWait() {
  QApplication::restoreOverrideCursor();
}

void QtUi::pause(int milliseconds) {
  constexpr int kSlice = 30;
  for (int left = milliseconds; left > 0; left -= kSlice) {
    QThread::msleep(static_cast<unsigned long>(std::min(left, kSlice)));
    if (pauseHook_) pauseHook_();
  }
}
