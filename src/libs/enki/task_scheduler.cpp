#include "libs/enki/task_scheduler.h"

#include <algorithm>
#include <chrono>

namespace enki {
namespace {

// 0 for the thread that initialised the scheduler and for any other outside thread.
thread_local uint32_t t_thread_index = 0;

// Enough partitions per thread to balance uneven work. Taking one costs an atomic add, so small
// partitions are cheap.
constexpr uint32_t k_partitions_per_thread = 4;

// A frame's task sets come back to back: a thread that found nothing to do keeps looking this long
// before it sleeps, which saves a futex wait and wake per set.
constexpr std::chrono::microseconds k_spin_time{50};

void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

template <typename predicate_t>
bool TaskScheduler::spin_until(predicate_t done) {
  const auto until = std::chrono::steady_clock::now() + k_spin_time;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (done()) return true;
      cpu_relax();
    }
    if (std::chrono::steady_clock::now() > until) return done();
  }
}

TaskScheduler::~TaskScheduler() { WaitforAllAndShutdown(); }

void TaskScheduler::Initialize(uint32_t num_threads) {
  if (m_NumThreads > 0) WaitforAllAndShutdown();
  m_NumThreads = std::max<uint32_t>(num_threads, 1);
  m_Stopping = false;
  m_Workers.reserve(m_NumThreads - 1);
  for (uint32_t i = 1; i < m_NumThreads; ++i) m_Workers.emplace_back([this, i] { worker_main(i); });
}

void TaskScheduler::Initialize() { Initialize(std::max(1u, std::thread::hardware_concurrency())); }

void TaskScheduler::AddTaskSetToPipe(ITaskSet* task_set) {
  if (!task_set) return;
  uint32_t size = task_set->m_SetSize;
  if (size == 0) {
    task_set->m_RunningCount.store(0, std::memory_order_release);
    return;
  }
  if (m_NumThreads == 0) {
    task_set->m_RunningCount.store(1, std::memory_order_relaxed);
    task_set->ExecuteRange(TaskSetPartition{0, size}, t_thread_index);
    task_set->m_RunningCount.store(0, std::memory_order_release);
    return;
  }

  uint32_t min_range = std::max<uint32_t>(task_set->m_MinRange, 1);
  uint32_t target = m_NumThreads * k_partitions_per_thread;
  uint32_t chunk = std::max(min_range, size / target + (size % target ? 1 : 0));
  uint32_t count = size / chunk + (size % chunk ? 1 : 0);
  task_set->m_PartitionSize = chunk;
  task_set->m_PartitionCount = count;
  task_set->m_NextPartition.store(0, std::memory_order_relaxed);
  task_set->m_RunningCount.store(static_cast<int32_t>(count), std::memory_order_release);
  m_Outstanding.fetch_add(1, std::memory_order_seq_cst);

  uint32_t wake = 0;
  {
    std::lock_guard lock(m_Mutex);
    task_set->m_QueuePrev = m_QueueTail;
    task_set->m_QueueNext = nullptr;
    (m_QueueTail ? m_QueueTail->m_QueueNext : m_QueueHead) = task_set;
    m_QueueTail = task_set;
    task_set->m_Queued = true;
    m_Generation.fetch_add(1, std::memory_order_release);
    // One sleeper at most: spinning workers find the set themselves, and a woken worker wakes the
    // next while partitions are left, so the submitting thread pays for one wake-up only.
    wake = m_SleepingWorkers > m_WakeTokens ? 1 : 0;
    m_WakeTokens += wake;
  }
  if (wake) m_WorkWake.notify_one();
  // A thread in WaitforAll runs any set, so it looks again.
  if (m_SleepingWaiters.load(std::memory_order_seq_cst) > 0) {
    std::lock_guard lock(m_Mutex);
    m_DoneWake.notify_all();
  }
}

bool TaskScheduler::take(ITaskSet* task, uint32_t index, claim_t& claim, bool locked) {
  if (index >= task->m_PartitionCount) return false;
  if (index + 1 == task->m_PartitionCount) {
    if (locked) {
      unqueue_locked(task);
    } else {
      std::lock_guard lock(m_Mutex);
      unqueue_locked(task);
    }
  }
  const uint32_t start = index * task->m_PartitionSize;
  const uint32_t size = task->m_SetSize;
  claim.task = task;
  claim.range = TaskSetPartition{start, size - start > task->m_PartitionSize ? start + task->m_PartitionSize : size};
  return true;
}

bool TaskScheduler::claim_any_locked(claim_t& claim) {
  // A queued set cannot complete (its last partition is taken only by unqueueing it, under this
  // mutex), so it stays alive while it is looked at here.
  for (ITaskSet* task = m_QueueHead; task; task = task->m_QueueNext)
    if (take(task, task->m_NextPartition.fetch_add(1, std::memory_order_relaxed), claim, true)) return true;
  return false;
}

bool TaskScheduler::claim_from(ITaskSet* task, claim_t& claim) {
  return take(task, task->m_NextPartition.fetch_add(1, std::memory_order_relaxed), claim, false);
}

void TaskScheduler::unqueue_locked(ITaskSet* task) {
  if (!task->m_Queued) return;
  (task->m_QueuePrev ? task->m_QueuePrev->m_QueueNext : m_QueueHead) = task->m_QueueNext;
  (task->m_QueueNext ? task->m_QueueNext->m_QueuePrev : m_QueueTail) = task->m_QueuePrev;
  task->m_QueuePrev = task->m_QueueNext = nullptr;
  task->m_Queued = false;
}

void TaskScheduler::run(const claim_t& claim) {
  claim.task->ExecuteRange(claim.range, t_thread_index);
  // The owner may destroy the set as soon as its count reaches zero: it is not touched afterwards.
  if (claim.task->m_RunningCount.fetch_sub(1, std::memory_order_seq_cst) != 1) return;
  m_Outstanding.fetch_sub(1, std::memory_order_seq_cst);
  // Sequentially consistent with the waiters' count, so either they see the set complete or it sees
  // them asleep; the mutex then orders the wake after their wait began.
  if (m_SleepingWaiters.load(std::memory_order_seq_cst) > 0) {
    std::lock_guard lock(m_Mutex);
    m_DoneWake.notify_all();
  }
}

void TaskScheduler::WaitforTask(const ICompletable* task) {
  if (!task || task->GetIsComplete()) return;
  if (auto* set = const_cast<ITaskSet*>(dynamic_cast<const ITaskSet*>(task))) {
    claim_t claim;
    while (claim_from(set, claim)) run(claim);
  }
  // The rest is running on other threads and about to finish.
  if (spin_until([task] { return task->GetIsComplete(); })) return;
  std::unique_lock lock(m_Mutex);
  m_SleepingWaiters.fetch_add(1, std::memory_order_seq_cst);
  m_DoneWake.wait(lock, [task] { return task->GetIsComplete(); });
  m_SleepingWaiters.fetch_sub(1, std::memory_order_seq_cst);
}

void TaskScheduler::WaitforAll() {
  for (;;) {
    claim_t claim;
    uint64_t seen = 0;
    {
      std::lock_guard lock(m_Mutex);
      if (!claim_any_locked(claim)) {
        if (m_Outstanding.load(std::memory_order_seq_cst) == 0) return;
        seen = m_Generation.load(std::memory_order_relaxed);
      }
    }
    if (claim.task) {
      run(claim);
      continue;
    }
    auto settled = [&] {
      return m_Outstanding.load(std::memory_order_seq_cst) == 0 ||
             m_Generation.load(std::memory_order_acquire) != seen;
    };
    if (spin_until(settled)) continue;
    std::unique_lock lock(m_Mutex);
    m_SleepingWaiters.fetch_add(1, std::memory_order_seq_cst);
    m_DoneWake.wait(lock, settled);
    m_SleepingWaiters.fetch_sub(1, std::memory_order_seq_cst);
  }
}

void TaskScheduler::WaitforAllAndShutdown() {
  if (m_NumThreads == 0) return;
  WaitforAll();
  shutdown();
}

void TaskScheduler::shutdown() {
  {
    std::lock_guard lock(m_Mutex);
    m_Stopping = true;
  }
  m_WorkWake.notify_all();
  for (std::thread& worker : m_Workers) worker.join();
  m_Workers.clear();
  m_NumThreads = 0;
  m_Stopping = false;
  m_WakeTokens = 0;
}

void TaskScheduler::worker_main(uint32_t thread_index) {
  t_thread_index = thread_index;
  for (;;) {
    claim_t claim;
    uint64_t seen = 0;
    bool wake_next = false;
    {
      std::lock_guard lock(m_Mutex);
      if (claim_any_locked(claim)) {
        wake_next = m_QueueHead && m_SleepingWorkers > m_WakeTokens;
        m_WakeTokens += wake_next ? 1 : 0;
      } else {
        if (m_Stopping) return;
        seen = m_Generation.load(std::memory_order_relaxed);
      }
    }
    if (wake_next) m_WorkWake.notify_one();
    if (claim.task) {
      run(claim);
      continue;
    }
    if (spin_until([&] { return m_Generation.load(std::memory_order_acquire) != seen; })) continue;
    std::unique_lock lock(m_Mutex);
    if (m_Generation.load(std::memory_order_relaxed) != seen) continue;
    if (m_Stopping) return;
    ++m_SleepingWorkers;
    m_WorkWake.wait(lock, [this] { return m_WakeTokens > 0 || m_Stopping; });
    --m_SleepingWorkers;
    if (m_WakeTokens > 0) --m_WakeTokens;
  }
}

}  // namespace enki
