#include "sections/side_thread.h"

#include <system_error>
#include <utility>

namespace dudUdudADOD::sections {

SideThread::~SideThread() {
  if (!thread_.joinable()) return;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !running_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SideThread::Start(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    job_ = std::move(job);
    failure_ = nullptr;
    running_ = true;
  }
  if (thread_.joinable()) {
    changed_.notify_all();
    return;
  }
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    // No thread to be had: the job runs here, and the walk is only slower.
    std::function<void()> here = std::move(job_);
    try {
      here();
    } catch (...) {
      failure_ = std::current_exception();
    }
    running_ = false;
  }
}

void SideThread::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !running_; });
  if (failure_ != nullptr) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void SideThread::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return running_ || stopping_; });
    if (stopping_) return;
    std::function<void()> job = std::move(job_);
    lock.unlock();
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    running_ = false;
    changed_.notify_all();
  }
}

}  // namespace dudUdudADOD::sections
