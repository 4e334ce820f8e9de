// The toolkit thread as the program's workers use it: created suspended,
// started once, a body, steps run on the main thread while the worker
// waits, and a free-on-end mark (the object deletes itself once its body has
// returned, if it has been marked by then).
//
// The system thread is created by the constructor, so a failure to create
// it surfaces there (as std::system_error), before anything was started.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

class QObject;

namespace skarvet {

class TThread {
public:
  // Creates the system thread, which waits until Resume.
  TThread();
  // Only a thread that was never started may be deleted from outside;
  // a started one deletes itself through the free-on-end mark.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the body. Call once.
  void Resume();

  // The free-on-end mark. Set on the main thread; read by the worker once
  // its body has returned.
  void SetFreeOnTerminate(bool value) { freeOnTerminate_.store(value); }
  bool FreeOnTerminate() const { return freeOnTerminate_.load(); }

  // Worker threads whose body has not yet ended, in the whole process. The
  // program ends at once rather than tear down under a running worker.
  static int RunningCount();

protected:
  // The thread body, on the worker thread.
  virtual void Execute() = 0;

  // Runs `step` on the main thread and waits until it has run (or until Qt
  // has dropped it because the main-thread context is gone). On the main
  // thread itself it simply runs `step`.
  void Synchronize(const std::function<void()>& step);

private:
  struct Gate;
  std::shared_ptr<Gate> gate_;
  std::atomic<bool> freeOnTerminate_{false};
  bool started_ = false;

  static void Run(TThread* self, std::shared_ptr<Gate> gate);
};

} // namespace skarvet
