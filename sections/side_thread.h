// SideThread: one more thread that runs one job at a time for the values
// walk, so that a large array's text is formatted on two cores: the walk's
// own thread formats a slice while this one formats the next.
//
// Contract: Start hands over a job while none is running; Wait blocks until
// it has run and rethrows what it threw. The thread starts with the first
// job, so a walk that never splits costs nothing; the destructor waits for
// a running job (whose captures may live on the caller's stack) and joins.
// Start and Wait are called from one thread.
#ifndef DUD_SECTIONS_SIDE_THREAD_H_
#define DUD_SECTIONS_SIDE_THREAD_H_

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace dudUdudADOD::sections {

class SideThread {
 public:
  SideThread() = default;
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;
  ~SideThread();

  void Start(std::function<void()> job);
  void Wait();

 private:
  void Work();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;  // set while a job waits or runs
  std::exception_ptr failure_;
  bool running_ = false;
  bool stopping_ = false;
};

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_SIDE_THREAD_H_
