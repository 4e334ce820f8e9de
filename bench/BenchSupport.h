// What several benchmarks measure with: the moment a label is painted with a
// text, waiting on the event loop, and the process's own memory.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace skarvet::bench {

using Clock = std::chrono::steady_clock;

// Notes when a label has been painted with a given text.
class PaintWatch : public QObject {
public:
  explicit PaintWatch(QLabel* label) : label_(label) { label->installEventFilter(this); }

  void Expect(const QString& text) {
    expected_ = text;
    painted_ = false;
  }
  bool Painted() const { return painted_; }
  Clock::time_point PaintedAt() const { return paintedAt_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != label_ || event->type() != QEvent::Paint) return false;
    // Paint first, then note the moment: the text is on screen after this.
    label_->removeEventFilter(this);
    QCoreApplication::sendEvent(label_, event);
    label_->installEventFilter(this);
    if (!painted_ && label_->text() == expected_) {
      painted_ = true;
      paintedAt_ = Clock::now();
    }
    return true;
  }

private:
  QLabel* label_;
  QString expected_;
  bool painted_ = false;
  Clock::time_point paintedAt_;
};

// Runs the event loop as the program does, sleeping until something
// arrives, until `done` holds; false after `timeoutMs`. A slow heartbeat
// guards against a condition that turns true without an event.
inline bool AwaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QTimer heartbeat;
  heartbeat.start(5);
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// A line of /proc/self/status, in kB; -1 when there is no such line.
inline long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  }
  return -1;
}

} // namespace skarvet::bench
