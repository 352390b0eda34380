#include "support/log.h"

#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Keeps copies of every record it receives.
class capture_sink : public logger::log_sink_t {
 public:
  explicit capture_sink(int min_level = 0) : log_sink_t(min_level) {}
  struct copy_t {
    int level;
    std::string level_name, time, location, message, line;
  };
  void write(const logger::log_record_t& r) override {
    records.push_back({r.level, r.level_name, r.time, r.location, r.message, r.line});
  }
  std::vector<copy_t> records;
};

// Installs a test logger as the current one and restores the previous one afterwards.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = logger::current_logger();
    test_logger.break_level = -1;
    logger::set_current_logger(&test_logger);
  }
  void TearDown() override { logger::set_current_logger(previous); }
  logger::logger_t test_logger;
  logger::logger_t* previous = nullptr;
};

const std::regex k_time("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]");

TEST_F(LogTest, FullAndShortLineForms) {
  capture_sink full, brief;
  test_logger.sinks = {{&full, -1}, {&brief, logger::short_format}};
  log_message(LOG_LEVEL_DBG, "src/x.cpp", 42, "value %d of %s", 7, "seven");

  ASSERT_EQ(full.records.size(), 1u);
  ASSERT_EQ(brief.records.size(), 1u);
  const auto& f = full.records[0];
  EXPECT_EQ(f.level, 1);
  EXPECT_EQ(f.level_name, "DBG");
  EXPECT_TRUE(std::regex_match(f.time, k_time)) << f.time;
  EXPECT_EQ(f.location, "src/x.cpp(42)");
  EXPECT_EQ(f.message, "value 7 of seven");
  EXPECT_EQ(f.line, "src/x.cpp(42): [" + f.time + ": DBG] value 7 of seven\n");
  const auto& b = brief.records[0];
  EXPECT_EQ(b.line, "[" + b.time + ": DBG] value 7 of seven\n");
  EXPECT_EQ(b.location, "src/x.cpp(42)");
}

TEST_F(LogTest, SinkMinimumLevelFilters) {
  capture_sink all(0), warnings(3);
  test_logger.sinks = {{&all, -1}, {&warnings, -1}};
  for (int level = 0; level <= 4; ++level)
    log_message(static_cast<log_level_t>(level), "f", level, "m%d", level);
  ASSERT_EQ(all.records.size(), 5u);
  ASSERT_EQ(warnings.records.size(), 2u);
  EXPECT_EQ(warnings.records[0].level_name, "WRN");
  EXPECT_EQ(warnings.records[1].level_name, "ERR");
  const char* names[] = {"VRB", "DBG", "INF", "WRN", "ERR"};
  for (int level = 0; level <= 4; ++level) EXPECT_EQ(all.records[level].level_name, names[level]);
}

TEST_F(LogTest, LongLocationIsCutButMessageIsNot) {
  capture_sink sink;
  test_logger.sinks = {{&sink, -1}};
  std::string file(300, 'p');
  std::string message(1000, 'm');
  log_message(LOG_LEVEL_INF, file.c_str(), 12, "%s", message.c_str());
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].location, file.substr(0, 255));
  EXPECT_EQ(sink.records[0].message, message);
  EXPECT_EQ(sink.records[0].line.substr(0, 257), file.substr(0, 255) + ": ");
  EXPECT_EQ(sink.records[0].line.size(), 255 + 2 + 1 + 8 + 7 + 1000 + 1u);
}

TEST(LogDefaultTest, DefaultLoggerDropsMessages) {
  logger::logger_t* previous = logger::current_logger();
  logger::set_current_logger(nullptr);
  EXPECT_EQ(logger::current_logger(), &logger::default_logger());
  EXPECT_TRUE(logger::default_logger().sinks.empty());
  EXPECT_EQ(logger::default_logger().break_level, 4);
  ::testing::internal::CaptureStderr();
  LOG_WRN("dropped %d", 1);
  LOG_ERR("dropped %d", 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  logger::set_current_logger(previous);
}

TEST(LogDefaultTest, DebuggerSinkWritesTheLine) {
  logger::logger_t host(4);
  host.sinks = {{&logger::debugger_sink_instance(), -1}};
  EXPECT_EQ(logger::debugger_sink_instance().min_level, 0);
  ::testing::internal::CaptureStderr();
  host.write(LOG_LEVEL_VRB, "a.cpp", 3, "hello");
  std::string out = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::regex_match(out, std::regex(R"(a\.cpp\(3\): \[\d\d:\d\d:\d\d: VRB\] hello\n)"))) << out;
}

// Logs one message per level in a child traced by this process and counts the breakpoint traps.
int count_breaks(int break_level) {
  pid_t child = fork();
  if (child == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(77);
    logger::logger_t traced(break_level);
    for (int level = 0; level <= 4; ++level) traced.write(static_cast<log_level_t>(level), "t", 1, "m");
    _exit(0);
  }
  int traps = 0;
  for (;;) {
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 77 ? -2 : (WEXITSTATUS(status) == 0 ? traps : -1);
    if (WIFSIGNALED(status)) return -1;
    int signal = WSTOPSIG(status);
    if (signal == SIGTRAP) ++traps;
    ptrace(PTRACE_CONT, child, nullptr,
           reinterpret_cast<void*>(static_cast<intptr_t>(signal == SIGTRAP ? 0 : signal)));
  }
}

TEST(LogBreakTest, BreakLevels) {
  struct case_t {
    int break_level;
    int traps;
  } cases[] = {{4, 1}, {3, 2}, {0, 5}, {-1, 0}};
  for (const case_t& c : cases) {
    int traps = count_breaks(c.break_level);
    if (traps == -2) GTEST_SKIP() << "ptrace is not permitted here";
    EXPECT_EQ(traps, c.traps) << "break level " << c.break_level;
  }
}

TEST(LogThreadTest, LinesFromManyThreadsNeverOverlap) {
  // Flags any sink call that starts while another is still running.
  struct exclusive_sink : logger::log_sink_t {
    void write(const logger::log_record_t& r) override {
      if (busy.exchange(true)) overlaps.fetch_add(1);
      if (std::strstr(r.line, "] from ") != nullptr) count.fetch_add(1);
      busy.store(false);
    }
    std::atomic<bool> busy{false};
    std::atomic<int> overlaps{0}, count{0};
  } sink;
  logger::logger_t shared(-1);
  shared.sinks = {{&sink, -1}};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&shared, t] {
      for (int i = 0; i < 200; ++i) shared.write(LOG_LEVEL_INF, "thread.cpp", t, "from worker");
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(sink.overlaps.load(), 0);
  EXPECT_EQ(sink.count.load(), 1600);
}

}  // namespace
