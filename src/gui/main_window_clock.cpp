#include "gui/main_window_clock.h"

#include <QMetaObject>
#include <QTimer>

QtWindowClock::QtWindowClock(QObject* window, std::function<void(TimerId)> tick) : window_(window) {
  for (const TimerId id : kAllTimers) {
    auto* timer = new QTimer(window);
    timer->setObjectName(QString::fromLatin1(TimerName(id)));
    QObject::connect(timer, &QTimer::timeout, window, [tick, id] { tick(id); });
    timers_[id] = timer;
  }
}

void QtWindowClock::startTimer(TimerId id, int intervalMs) {
  timers_[id]->setInterval(intervalMs);
  timers_[id]->start();
}

void QtWindowClock::stopTimer(TimerId id) { timers_[id]->stop(); }

// Queued calls to one object run in the order they were posted; none runs once the
// window is gone.
void QtWindowClock::post(std::function<void()> call) {
  QMetaObject::invokeMethod(window_, std::move(call), Qt::QueuedConnection);
}
