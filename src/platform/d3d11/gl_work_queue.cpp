#include "platform/d3d11/gl_work_queue.h"

void gl_work_queue_t::push(std::function<void()> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.push_back(std::move(job));
}

bool gl_work_queue_t::empty() {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.empty();
}

void gl_work_queue_t::run_all() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (jobs_.empty()) return;
      // The emptied batch goes back as the new queue, so neither vector reallocates once warm.
      running_.swap(jobs_);
    }
    for (auto& job : running_) job();
    running_.clear();
  }
}
