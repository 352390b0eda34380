#pragma once
// Task scheduler with the enkiTS interface: a scheduler of n threads runs n - 1 workers plus the
// calling thread. Task sets are split into disjoint partitions covering [0, set size); workers take
// partitions of any queued set, and a thread waiting for a set takes that set's partitions itself,
// so waits never deadlock even with no workers at all.

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
  // Partitions not yet finished.
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

 private:
  friend class TaskScheduler;
  // Fixed at submission, before the set is queued.
  uint32_t m_PartitionSize = 0;
  uint32_t m_PartitionCount = 0;
  // Partitions handed out so far; whoever takes the last one unqueues the set before running it,
  // so a set is never in the queue once it can be complete (and destroyed by its owner).
  std::atomic<uint32_t> m_NextPartition{0};
  // The scheduler's queue of sets with partitions left, under its mutex.
  ITaskSet* m_QueuePrev = nullptr;
  ITaskSet* m_QueueNext = nullptr;
  bool m_Queued = false;
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
  // Runs the task's pending partitions on this thread, then waits until the others are finished.
  void WaitforTask(const ICompletable* task);
  // Runs pending partitions until every submitted task set is complete.
  void WaitforAll();
  void WaitforAllAndShutdown();
  // Worker threads plus the calling thread; 0 before Initialize and after shutdown.
  uint32_t GetNumTaskThreads() const { return m_NumThreads; }

 private:
  struct claim_t {
    ITaskSet* task = nullptr;
    TaskSetPartition range;
  };

  void worker_main(uint32_t thread_index);
  // A partition of the first queued set that has one left; `lock` is held.
  bool claim_any_locked(claim_t& claim);
  // A partition of `task` if it has one left; takes the mutex only to unqueue the set.
  bool claim_from(ITaskSet* task, claim_t& claim);
  // Takes partition `index` of `task` (handed out by its counter); unqueues the set on the last.
  bool take(ITaskSet* task, uint32_t index, claim_t& claim, bool locked);
  void unqueue_locked(ITaskSet* task);
  void run(const claim_t& claim);
  // Spins briefly until `done` holds: cheaper than sleeping when work comes back at once.
  template <typename predicate_t>
  static bool spin_until(predicate_t done);
  void shutdown();

  std::mutex m_Mutex;
  // Workers sleep here, each woken by a token.
  std::condition_variable m_WorkWake;
  // Threads waiting for sets sleep here; woken when a set completes or new work comes.
  std::condition_variable m_DoneWake;
  ITaskSet* m_QueueHead = nullptr;
  ITaskSet* m_QueueTail = nullptr;
  // Counts submissions (written under the mutex); spinning threads watch it for new work.
  std::atomic<uint64_t> m_Generation{0};
  // Submitted sets not yet complete.
  std::atomic<uint64_t> m_Outstanding{0};
  uint32_t m_SleepingWorkers = 0;
  // Wake-ups handed to sleeping workers and not yet taken. A submission wakes one worker, and a
  // worker that takes a partition wakes the next while sets are queued: no more workers wake than
  // there are partitions to run.
  uint32_t m_WakeTokens = 0;
  std::atomic<uint32_t> m_SleepingWaiters{0};
  bool m_Stopping = false;
  uint32_t m_NumThreads = 0;
  std::vector<std::thread> m_Workers;
};

}  // namespace enki
