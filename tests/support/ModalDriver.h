#pragma once
// Drives modal dialogs the way an operator would, without blocking the test: a short repeating timer
// waits for the next modal dialog of the wanted class and then acts on it (fills edits, clicks buttons).
// The action may open further dialogs; drivers for those must be armed before.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>

template <typename Dialog>
void onModal(std::function<void(Dialog*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  auto done = std::make_shared<bool>(false);
  auto ticks = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, act, done, ticks] {
    if (*done) return;
    // A dialog that never comes is the test's failure, not a driver left waiting for later tests.
    if (++*ticks > 2000) {
      *done = true;
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal dialog of the expected kind appeared";
      return;
    }
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!d) return;
    *done = true;
    timer->stop();
    timer->deleteLater();
    act(d);
  });
  timer->start();
}
