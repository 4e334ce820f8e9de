#include "controls/Thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace skarvet {
namespace {

std::atomic<int> g_running{0};
// Held by a worker while it posts a step (see Synchronize). Recursive: the
// worker's own moved-from copy of the call is destroyed while it holds it.
std::recursive_mutex g_postMutex;

// The object that main-thread steps are queued to.
QObject* MainThreadContext() {
  return QCoreApplication::instance();
}

} // namespace

// Shared by the object and its system thread, so that the thread can leave
// safely when an unstarted object is deleted.
struct TThread::Gate {
  std::mutex mutex;
  std::condition_variable wake;
  bool open = false;
  bool abandoned = false;
};

TThread::TThread() : gate_(std::make_shared<Gate>()) {
  ++g_running;
  try {
    std::thread(&TThread::Run, this, gate_).detach();
  } catch (...) {
    --g_running;
    throw;
  }
}

TThread::~TThread() {
  if (!started_) {
    std::lock_guard lock(gate_->mutex);
    gate_->abandoned = true;
    gate_->wake.notify_one();
  }
}

void TThread::Resume() {
  if (started_) return;
  started_ = true;
  std::lock_guard lock(gate_->mutex);
  gate_->open = true;
  gate_->wake.notify_one();
}

int TThread::RunningCount() {
  return g_running.load();
}

void TThread::Run(TThread* self, std::shared_ptr<Gate> gate) {
  {
    std::unique_lock lock(gate->mutex);
    gate->wake.wait(lock, [&] { return gate->open || gate->abandoned; });
    if (gate->abandoned) {
      --g_running;
      return;
    }
  }
  try {
    self->Execute();
  } catch (...) {
    // A body that throws ends its thread; nothing may escape into the runtime.
  }
  // Every write of the mark happened on the main thread before the body's
  // last synchronised step returned, so this read sees it.
  if (self->FreeOnTerminate()) delete self;
  --g_running;
}

void TThread::Synchronize(const std::function<void()>& step) {
  QObject* context = MainThreadContext();
  if (!context || QThread::currentThread() == context->thread()) {
    step();
    return;
  }
  // The worker waits on a standard mutex rather than through a blocking
  // queued call: Qt's own locks are futexes that ThreadSanitizer cannot see,
  // so every step's effects would look unordered with the worker's. The
  // worker holds g_postMutex while it builds and posts the call, and the main
  // thread takes it before it reads the call, which orders all the worker did
  // before the step. The call signals from its destructor, so that a call Qt
  // discards (its receiver gone) still lets the worker go on.
  struct Handshake {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
  };
  struct Call {
    const std::function<void()>* step;
    std::shared_ptr<Handshake> handshake;
    Call(const std::function<void()>* s, std::shared_ptr<Handshake> h)
        : step(s), handshake(std::move(h)) {}
    Call(Call&&) = default;
    Call(const Call&) = delete;
    ~Call() {
      { std::lock_guard post(g_postMutex); }
      if (!handshake) return; // moved from
      std::lock_guard lock(handshake->mutex);
      handshake->finished = true;
      handshake->done.notify_one();
    }
    void operator()() const {
      { std::lock_guard post(g_postMutex); }
      (*step)();
    }
  };
  auto handshake = std::make_shared<Handshake>();
  {
    std::lock_guard post(g_postMutex);
    QMetaObject::invokeMethod(context, Call(&step, handshake), Qt::QueuedConnection);
  }
  std::unique_lock lock(handshake->mutex);
  handshake->done.wait(lock, [&] { return handshake->finished; });
}

} // namespace skarvet
