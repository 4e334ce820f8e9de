// Shared by the operation tests: a platform that holds each request until the
// test answers it, a record of destroyed workers, and looks into the window.
#pragma once

#include "mainwindow/MainFormUnit.h"
#include "remote/RebootThreadUnit.h"
#include "tests/support/RecordingWinApi.h"

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace skarvet::test {

inline constexpr int kWaitMs = 5000;

// Waits (running the main thread's events, which the workers' reports need)
// until `done` holds or the time is up.
template <class Predicate> bool WaitFor(Predicate done, int timeoutMs = kWaitMs) {
  return QTest::qWaitFor(done, timeoutMs);
}

// Every worker destroyed, in order, with the thread it was destroyed on.
class DestroyedWorkers {
public:
  static DestroyedWorkers& Instance() {
    static DestroyedWorkers log;
    return log;
  }
  static void Hook(const TRebootThread* thread) { Instance().Add(thread); }

  void Add(const TRebootThread* thread) {
    std::lock_guard lock(mutex_);
    destroyed_.push_back(thread);
  }
  int Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(destroyed_.size());
  }
  int CountOf(const TRebootThread* thread) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto* t : destroyed_) n += t == thread ? 1 : 0;
    return n;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    destroyed_.clear();
  }

private:
  mutable std::mutex mutex_;
  std::vector<const TRebootThread*> destroyed_;
};

// Installs the destroy hook for the lifetime of a test.
class ScopedDestroyLog {
public:
  ScopedDestroyLog() {
    DestroyedWorkers::Instance().Clear();
    TRebootThread::SetDestroyHook(&DestroyedWorkers::Hook);
  }
  ~ScopedDestroyLog() { TRebootThread::SetDestroyHook(nullptr); }
};

// A gate for the requests that reach the platform: each request waits at it
// until the test answers it (in the order the requests arrived).
class HeldRequests {
public:
  struct Answer {
    bool succeed = true;
    DWORD error = 0; // the last error a failing call leaves
  };

  // Blocks the calling worker; returns the answer the test gave.
  Answer Hold() {
    std::unique_lock lock(mutex_);
    const int index = arrived_++;
    changed_.notify_all();
    changed_.wait(lock, [&] { return answers_.count(index) > 0; });
    return answers_[index];
  }

  int Arrived() const {
    std::lock_guard lock(mutex_);
    return arrived_;
  }
  bool WaitArrived(int count) {
    return WaitFor([&] { return Arrived() >= count; });
  }
  void Release(int index) { Release(index, Answer{true, 0}); }
  void Release(int index, Answer answer) {
    std::lock_guard lock(mutex_);
    answers_[index] = answer;
    changed_.notify_all();
  }
  // Lets every request through, now and later (the test's end).
  void ReleaseAll() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < arrived_ + 64; ++i) answers_.emplace(i, Answer{true, 0});
    changed_.notify_all();
  }

private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int arrived_ = 0;
  std::map<int, Answer> answers_;
};

// A recording platform whose shutdown calls and logoff scripts wait for the
// test. A held logoff that is told to fail leaves `scriptError` as the
// component's error description.
class HoldingWinApi : public RecordingWinApi {
public:
  HeldRequests held;
  std::u16string scriptError = u"Access is denied.";

  HoldingWinApi() {
    onInitiateSystemShutdownExA = [this](LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) -> BOOL {
      const HeldRequests::Answer answer = held.Hold();
      if (answer.succeed) return TRUE;
      SetLastError(answer.error);
      return FALSE;
    };
    onExecuteStatement = [this](const std::u16string&) -> HRESULT {
      const HeldRequests::Answer answer = held.Hold();
      if (answer.succeed) return S_OK;
      SetThreadErrorInfo({scriptError, u"SWbemLocator"});
      return static_cast<HRESULT>(0x80070005u);
    };
  }
  ~HoldingWinApi() override { held.ReleaseAll(); }
};

// --- looks into the window ---------------------------------------------------

template <class T = QWidget> T* Find(QWidget& form, const char* name) {
  T* widget = form.findChild<T*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

inline QString StatusText(QWidget& form) {
  return Find<QLabel>(form, "StatusLabel")->text();
}

inline QColor StatusColour(QWidget& form) {
  QLabel* label = Find<QLabel>(form, "StatusLabel");
  return label->palette().color(label->foregroundRole());
}

inline const QColor kBlue(0, 0, 255);
inline const QColor kRed(255, 0, 0);

inline void TypeName(QWidget& form, const QString& name) {
  Find<QLineEdit>(form, "ComputerNameEdit")->setText(name);
}

inline void Click(QWidget& form, const char* buttonName) {
  QTest::mouseClick(Find<QAbstractButton>(form, buttonName), Qt::LeftButton);
}

inline bool Enabled(QWidget& form, const char* name) {
  return Find(form, name)->isEnabled();
}

inline bool Shown(QWidget& form, const char* name) {
  return Find(form, name)->isVisibleTo(&form);
}

} // namespace skarvet::test
