#include "libs/enki/task_scheduler.h"

#include <algorithm>

namespace enki {
namespace {

// 0 for the thread that initialised the scheduler and for any other outside thread.
thread_local uint32_t t_thread_index = 0;

// Enough partitions per thread to balance uneven work.
constexpr uint32_t k_partitions_per_thread = 4;

}  // namespace

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

  std::lock_guard lock(m_Mutex);
  task_set->m_RunningCount.store(static_cast<int32_t>(count), std::memory_order_release);
  for (uint32_t start = 0; start < size; start += chunk) {
    uint32_t end = size - start > chunk ? start + chunk : size;
    push_locked(work_item_t{task_set, TaskSetPartition{start, end}});
  }
  m_Outstanding += count;
  m_Wake.notify_all();
}

void TaskScheduler::push_locked(const work_item_t& item) {
  if (m_QueueSize == m_Queue.size()) {
    // Unrolled into a ring twice the size, oldest first.
    std::vector<work_item_t> grown(std::max<size_t>(16, m_Queue.size() * 2));
    for (size_t i = 0; i < m_QueueSize; ++i) grown[i] = m_Queue[(m_QueueHead + i) % m_Queue.size()];
    m_Queue = std::move(grown);
    m_QueueHead = 0;
  }
  m_Queue[(m_QueueHead + m_QueueSize) % m_Queue.size()] = item;
  ++m_QueueSize;
}

bool TaskScheduler::run_one_locked(std::unique_lock<std::mutex>& lock) {
  if (m_QueueSize == 0) return false;
  work_item_t item = m_Queue[m_QueueHead];
  m_QueueHead = (m_QueueHead + 1) % m_Queue.size();
  --m_QueueSize;
  lock.unlock();
  item.task->ExecuteRange(item.range, t_thread_index);
  lock.lock();
  // Under the mutex so a waiter cannot miss the wake-up; the task may be destroyed by its owner
  // as soon as the count reaches zero, so it is not touched afterwards.
  item.task->m_RunningCount.fetch_sub(1, std::memory_order_acq_rel);
  --m_Outstanding;
  m_Wake.notify_all();
  return true;
}

void TaskScheduler::WaitforTask(const ICompletable* task) {
  if (!task) return;
  std::unique_lock lock(m_Mutex);
  while (!task->GetIsComplete())
    if (!run_one_locked(lock)) m_Wake.wait(lock);
}

void TaskScheduler::WaitforAll() {
  std::unique_lock lock(m_Mutex);
  while (m_Outstanding > 0)
    if (!run_one_locked(lock)) m_Wake.wait(lock);
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
    m_Wake.notify_all();
  }
  for (std::thread& worker : m_Workers) worker.join();
  m_Workers.clear();
  m_NumThreads = 0;
  m_Stopping = false;
}

void TaskScheduler::worker_main(uint32_t thread_index) {
  t_thread_index = thread_index;
  std::unique_lock lock(m_Mutex);
  for (;;) {
    if (run_one_locked(lock)) continue;
    if (m_Stopping) break;
    m_Wake.wait(lock);
  }
}

}  // namespace enki
