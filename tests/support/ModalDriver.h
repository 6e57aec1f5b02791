#pragma once
// Drives modal dialogs the way an operator would, without blocking the test: a short repeating timer
// waits for the next modal dialog of the wanted class and then acts on it (fills edits, clicks buttons).
// The action may open further dialogs; drivers for those must be armed before.

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>

template <typename Dialog>
void onModal(std::function<void(Dialog*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  auto done = std::make_shared<bool>(false);
  QObject::connect(timer, &QTimer::timeout, [timer, act, done] {
    if (*done) return;
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!d) return;
    *done = true;
    timer->stop();
    timer->deleteLater();
    act(d);
  });
  timer->start();
}
