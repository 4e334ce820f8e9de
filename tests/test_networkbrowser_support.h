// Shared by the browser tree and browser dialog tests: waiting for workers,
// a simulated network that counts listings and can hold one on a latch, and
// plain-colour image lists whose pixels are easy to find.
#pragma once

#include "netbrowse/NetworkBrowser.h"
#include "platform/sim/SimulatedWinApi.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace skarvet::test {

// Processes events until `done` holds or `ms` milliseconds have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QTest::qWait(2);
  }
  return true;
}

// Every browse worker has ended and freed itself.
inline bool AllWorkersGone() {
  return WaitFor([] { return TBrowseThread::InstanceCount() == 0; });
}

// The default network where WS-Discovery finds nothing (the computer the
// program runs on has no address), so that a listing is not held for the
// discovery's answers: the tests of the tree and the dialog see the browse
// lists alone.
inline sim::Network NetworkWithoutDiscovery() {
  sim::Network network = sim::Network::Default();
  network.FindComputer(network.localComputer)->address.clear();
  return network;
}

// The simulated network, counting the listing calls; the next listing of a
// kind can be held until Release().
class HoldingWinApi : public SimulatedWinApi {
public:
  explicit HoldingWinApi(sim::Network network = NetworkWithoutDiscovery())
      : SimulatedWinApi(std::move(network), std::chrono::milliseconds(0)) {}

  std::atomic<int> serverEnums{0};
  std::atomic<int> topLevelOpens{0};
  std::atomic<bool> holdNextServerEnum{false};
  std::atomic<bool> holdNextTopLevelOpen{false};
  std::atomic<bool> throwOnTopLevelOpen{false};
  std::atomic<int> waiting{0};

  void Release() {
    std::lock_guard lock(latchMutex_);
    released_ = true;
    latch_.notify_all();
  }

  NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                               LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                               LPCWSTR domain, LPDWORD resume_handle) override {
    ++serverEnums;
    if (holdNextServerEnum.exchange(false)) Hold();
    return SimulatedWinApi::NetServerEnum(servername, level, bufptr, prefmaxlen, entriesread,
                                          totalentries, servertype, domain, resume_handle);
  }

  DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA lpNetResource,
                      LPHANDLE lphEnum) override {
    if (!lpNetResource) {
      ++topLevelOpens;
      if (throwOnTopLevelOpen) throw std::bad_alloc();
      if (holdNextTopLevelOpen.exchange(false)) Hold();
    }
    return SimulatedWinApi::WNetOpenEnumA(dwScope, dwType, dwUsage, lpNetResource, lphEnum);
  }

private:
  void Hold() {
    ++waiting;
    std::unique_lock lock(latchMutex_);
    latch_.wait(lock, [this] { return released_; });
    --waiting;
  }

  std::mutex latchMutex_;
  std::condition_variable latch_;
  bool released_ = false;
};

// Images 0 and 1 and state images 2 and 3 in plain colours.
inline QList<QPixmap> PlainImageList() {
  QList<QPixmap> list;
  for (QColor colour :
       {QColor(0, 0, 255), QColor(255, 255, 0), QColor(255, 0, 0), QColor(0, 255, 0)}) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    list.append(pixmap);
  }
  return list;
}

inline const QColor kCheckedColour(255, 0, 0);
inline const QColor kUncheckedColour(0, 255, 0);

} // namespace skarvet::test
