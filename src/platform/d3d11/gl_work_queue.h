#pragma once
// GL work handed over by device calls on any thread, run in order by the context thread before
// its next command. Creation and deletion both go through it, so a name is never used before it
// exists nor after it is gone.

#include <functional>
#include <mutex>
#include <vector>

class gl_work_queue_t {
 public:
  void push(std::function<void()> job);
  // Runs every job queued so far, and those the jobs queue in turn. Context thread only, and not
  // from inside a job.
  void run_all();
  bool empty();

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> jobs_;
  std::vector<std::function<void()>> running_;  // reused, so a flush keeps its capacity
};
