#include "libs/enki/task_scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Counts how often each index runs and which ranges and thread numbers were used.
class counting_task : public enki::ITaskSet {
 public:
  counting_task(uint32_t size, uint32_t min_range) : ITaskSet(size, min_range), hits(size) {}
  void ExecuteRange(enki::TaskSetPartition range, uint32_t threadnum) override {
    for (uint32_t i = range.start; i < range.end; ++i) hits[i].fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(mutex);
    ranges.push_back(range);
    max_thread = std::max(max_thread, threadnum);
  }
  std::vector<std::atomic<int>> hits;
  std::mutex mutex;
  std::vector<enki::TaskSetPartition> ranges;
  uint32_t max_thread = 0;
};

void expect_each_index_once(counting_task& task) {
  for (size_t i = 0; i < task.hits.size(); ++i) ASSERT_EQ(task.hits[i].load(), 1) << "index " << i;
  for (const auto& range : task.ranges) EXPECT_LT(range.start, range.end);
}

TEST(TaskSchedulerThreadTest, ManyTaskSetsCoverTheirRangesExactlyOnce) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(8);
  EXPECT_EQ(scheduler.GetNumTaskThreads(), 8u);
  std::vector<std::unique_ptr<counting_task>> tasks;
  for (uint32_t i = 0; i < 64; ++i) {
    tasks.push_back(std::make_unique<counting_task>(1 + i * 37, 1 + i % 5));
    scheduler.AddTaskSetToPipe(tasks.back().get());
  }
  scheduler.WaitforAll();
  for (auto& task : tasks) {
    EXPECT_TRUE(task->GetIsComplete());
    expect_each_index_once(*task);
    for (const auto& range : task->ranges) {
      if (range.end != task->m_SetSize) {
        EXPECT_GE(range.end - range.start, task->m_MinRange);
      }
    }
    EXPECT_LT(task->max_thread, 8u);
  }
}

TEST(TaskSchedulerThreadTest, MinRangeLimitsThePartitions) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(4);
  counting_task task(100, 60);
  scheduler.AddTaskSetToPipe(&task);
  scheduler.WaitforTask(&task);
  expect_each_index_once(task);
  EXPECT_EQ(task.ranges.size(), 2u);
}

TEST(TaskSchedulerThreadTest, TaskOnTheStackCanBeDestroyedRightAfterItsWait) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(8);
  for (int frame = 0; frame < 300; ++frame) {
    counting_task task(500, 1);
    scheduler.AddTaskSetToPipe(&task);
    scheduler.WaitforTask(&task);
    ASSERT_TRUE(task.GetIsComplete());
    expect_each_index_once(task);
  }
  scheduler.WaitforAllAndShutdown();
  EXPECT_EQ(scheduler.GetNumTaskThreads(), 0u);
}

// Each partition submits an inner task set and waits for it from inside the scheduler.
class nesting_task : public enki::ITaskSet {
 public:
  nesting_task(enki::TaskScheduler& scheduler, uint32_t size) : ITaskSet(size, 1), scheduler(scheduler) {}
  void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
    for (uint32_t i = range.start; i < range.end; ++i) {
      counting_task inner(64, 4);
      scheduler.AddTaskSetToPipe(&inner);
      scheduler.WaitforTask(&inner);
      bool all = inner.GetIsComplete();
      for (auto& hit : inner.hits) all = all && hit.load() == 1;
      if (all) completed_inner.fetch_add(1);
    }
  }
  enki::TaskScheduler& scheduler;
  std::atomic<int> completed_inner{0};
};

TEST(TaskSchedulerThreadTest, NestedWaits) {
  for (uint32_t threads : {1u, 2u, 8u}) {
    enki::TaskScheduler scheduler;
    scheduler.Initialize(threads);
    nesting_task outer(scheduler, 40);
    scheduler.AddTaskSetToPipe(&outer);
    scheduler.WaitforTask(&outer);
    EXPECT_EQ(outer.completed_inner.load(), 40) << threads << " threads";
  }
}

TEST(TaskSchedulerThreadTest, OneThreadSchedulerRunsWorkInTheWait) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(1);
  EXPECT_EQ(scheduler.GetNumTaskThreads(), 1u);

  struct thread_task : enki::ITaskSet {
    thread_task() : ITaskSet(1, 1) {}
    void ExecuteRange(enki::TaskSetPartition, uint32_t threadnum) override {
      ran_on = std::this_thread::get_id();
      number = threadnum;
    }
    std::thread::id ran_on;
    uint32_t number = 99;
  } first, second;
  scheduler.AddTaskSetToPipe(&first);
  scheduler.AddTaskSetToPipe(&second);
  EXPECT_FALSE(first.GetIsComplete());
  scheduler.WaitforTask(&first);
  EXPECT_TRUE(first.GetIsComplete());
  EXPECT_EQ(first.ran_on, std::this_thread::get_id());
  EXPECT_EQ(first.number, 0u);
  scheduler.WaitforAll();
  EXPECT_TRUE(second.GetIsComplete());
  scheduler.WaitforAllAndShutdown();
}

// Queued sets wait in the order they came. Without workers nothing runs until a wait, so the queue's
// contents are known: a wait takes its own set out of the middle, the sets added later go behind the
// others, and a wait for all runs every partition exactly once.
TEST(TaskSchedulerThreadTest, QueueThatWrapsAndGrowsKeepsEveryPartitionInOrder) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(1);  // four partitions per task set
  std::vector<std::unique_ptr<counting_task>> tasks;
  auto add = [&] {
    tasks.push_back(std::make_unique<counting_task>(400, 1));
    scheduler.AddTaskSetToPipe(tasks.back().get());
  };
  for (int i = 0; i < 4; ++i) add();  // 16 partitions: the first ring is full
  scheduler.WaitforTask(tasks[0].get());  // the head moves on by four
  EXPECT_FALSE(tasks[1]->GetIsComplete());
  for (int i = 0; i < 6; ++i) add();  // wraps round, then grows while wrapped
  scheduler.WaitforTask(tasks[1].get());
  // FIFO: the second task's partitions ran before any of the later ones.
  EXPECT_TRUE(tasks[1]->GetIsComplete());
  EXPECT_FALSE(tasks[2]->GetIsComplete());
  scheduler.WaitforAll();
  for (auto& task : tasks) {
    EXPECT_TRUE(task->GetIsComplete());
    expect_each_index_once(*task);
    EXPECT_EQ(task->ranges.size(), 4u);
  }
}

// A thread waiting for a set runs that set's partitions and no others: it is never caught in a long
// task that happened to be queued first.
TEST(TaskSchedulerThreadTest, WaitingForASetRunsOnlyThatSet) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(1);
  counting_task earlier(100, 1), waited(100, 1), later(100, 1);
  scheduler.AddTaskSetToPipe(&earlier);
  scheduler.AddTaskSetToPipe(&waited);
  scheduler.AddTaskSetToPipe(&later);
  scheduler.WaitforTask(&waited);
  EXPECT_TRUE(waited.GetIsComplete());
  expect_each_index_once(waited);
  EXPECT_TRUE(earlier.ranges.empty());
  EXPECT_TRUE(later.ranges.empty());
  scheduler.WaitforAll();
  expect_each_index_once(earlier);
  expect_each_index_once(later);
}

// Sets submitted and awaited back to back from the calling thread, as a frame does, each split
// across the workers: every index once, whichever thread runs it.
TEST(TaskSchedulerThreadTest, BackToBackSetsOfEverySizeCoverTheirRanges) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(4);
  for (uint32_t round = 0; round < 2000; ++round) {
    counting_task task(1 + round % 97, 1 + round % 3);
    scheduler.AddTaskSetToPipe(&task);
    scheduler.WaitforTask(&task);
    ASSERT_TRUE(task.GetIsComplete());
    expect_each_index_once(task);
  }
}

TEST(TaskSchedulerThreadTest, WithoutWorkersTasksRunInline) {
  enki::TaskScheduler scheduler;
  EXPECT_EQ(scheduler.GetNumTaskThreads(), 0u);
  counting_task task(10, 1);
  scheduler.AddTaskSetToPipe(&task);
  EXPECT_TRUE(task.GetIsComplete());
  expect_each_index_once(task);

  counting_task empty(0, 1);
  scheduler.Initialize(2);
  scheduler.AddTaskSetToPipe(&empty);
  EXPECT_TRUE(empty.GetIsComplete());
  scheduler.WaitforTask(&empty);
}

TEST(TaskSchedulerThreadTest, DestructorFinishesQueuedWork) {
  counting_task task(1000, 1);
  {
    enki::TaskScheduler scheduler;
    scheduler.Initialize(3);
    scheduler.AddTaskSetToPipe(&task);
  }
  EXPECT_TRUE(task.GetIsComplete());
  expect_each_index_once(task);
}

}  // namespace
