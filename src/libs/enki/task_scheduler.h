#pragma once
// Task scheduler with the enkiTS interface: a scheduler of n threads runs n - 1 workers plus the
// calling thread. Task sets are split into disjoint partitions covering [0, set size); any
// thread may run one, including a thread that waits, so waits never deadlock even with no
// workers at all.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace enki {

class TaskScheduler;

struct TaskSetPartition {
  uint32_t start = 0;
  uint32_t end = 0;
};

// Something a thread can wait for.
class ICompletable {
 public:
  ICompletable() = default;
  ICompletable(const ICompletable&) = delete;
  ICompletable& operator=(const ICompletable&) = delete;
  virtual ~ICompletable() = default;
  bool GetIsComplete() const { return m_RunningCount.load(std::memory_order_acquire) == 0; }

 private:
  friend class TaskScheduler;
  std::atomic<int32_t> m_RunningCount{0};
};

// Work over the index range [0, m_SetSize), run in pieces of at least m_MinRange indices.
class ITaskSet : public ICompletable {
 public:
  ITaskSet() = default;
  explicit ITaskSet(uint32_t set_size) : m_SetSize(set_size) {}
  ITaskSet(uint32_t set_size, uint32_t min_range) : m_SetSize(set_size), m_MinRange(min_range) {}
  virtual void ExecuteRange(TaskSetPartition range, uint32_t threadnum) = 0;

  uint32_t m_SetSize = 1;
  uint32_t m_MinRange = 1;
};

class TaskScheduler {
 public:
  TaskScheduler() = default;
  TaskScheduler(const TaskScheduler&) = delete;
  TaskScheduler& operator=(const TaskScheduler&) = delete;
  ~TaskScheduler();

  // n threads in all (0 counts as 1): n - 1 workers plus the caller, which is thread 0.
  void Initialize(uint32_t num_threads);
  // One thread per hardware thread.
  void Initialize();
  // The task set must stay alive until it is complete. Without an initialised scheduler it runs
  // on the calling thread before this returns.
  void AddTaskSetToPipe(ITaskSet* task_set);
  // Runs pending partitions on this thread until the task is complete.
  void WaitforTask(const ICompletable* task);
  // Runs pending partitions until every submitted task set is complete.
  void WaitforAll();
  void WaitforAllAndShutdown();
  // Worker threads plus the calling thread; 0 before Initialize and after shutdown.
  uint32_t GetNumTaskThreads() const { return m_NumThreads; }

 private:
  struct work_item_t {
    ITaskSet* task = nullptr;
    TaskSetPartition range;
  };

  void worker_main(uint32_t thread_index);
  // Runs one queued partition if there is one; `lock` is held on entry and on return.
  bool run_one_locked(std::unique_lock<std::mutex>& lock);
  void push_locked(const work_item_t& item);
  void shutdown();

  std::mutex m_Mutex;
  std::condition_variable m_Wake;
  // A ring that grows when full and never shrinks: a steady stream of task sets allocates nothing.
  std::vector<work_item_t> m_Queue;
  size_t m_QueueHead = 0;
  size_t m_QueueSize = 0;
  uint64_t m_Outstanding = 0;  // partitions queued or running
  bool m_Stopping = false;
  uint32_t m_NumThreads = 0;
  std::vector<std::thread> m_Workers;
};

}  // namespace enki
