// End-to-end runs of the player in a real window: it is started as a separate process under the
// current X display (or an Xvfb of the test's own), driven with xdotool and judged by its exit code
// and its log on standard error.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* window_title = "pumblecrisp - velmora";

// An X display for the whole test program: the caller's, or an Xvfb started here.
class display_t {
 public:
  static display_t& get() {
    static display_t instance;
    return instance;
  }
  const std::string& name() const { return name_; }

 private:
  display_t() {
    if (const char* existing = std::getenv("DISPLAY"); existing && *existing) {
      name_ = existing;
      return;
    }
    for (int n = 90 + static_cast<int>(getpid() % 100); n < 400; ++n) {
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      struct stat st;
      if (stat(socket.c_str(), &st) == 0 || stat(lock.c_str(), &st) == 0) continue;
      std::string display = ":" + std::to_string(n);
      pid_t pid = fork();
      if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x720x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int i = 0; i < 100 && stat(socket.c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (stat(socket.c_str(), &st) == 0) {
        xvfb_ = pid;
        name_ = display;
        return;
      }
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  ~display_t() {
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
    }
  }

  std::string name_;
  pid_t xvfb_ = -1;
};

std::string shell_output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out;
}

// One run of a player executable with its standard error captured in a file.
class player_run_t {
 public:
  player_run_t(const std::string& executable, const std::vector<std::string>& args) {
    const std::string& display = display_t::get().name();
    log_path_ = ::testing::TempDir() + "player_" + std::to_string(getpid()) + "_" +
                std::to_string(counter_++) + ".log";
    env_ = "DISPLAY=" + display;
    pid_ = fork();
    if (pid_ == 0) {
      int log = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(log, 2);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      setenv("DISPLAY", display.c_str(), 1);
      // Started from another directory: the player must find its files beside its executable.
      if (chdir("/") != 0) _exit(126);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(executable.c_str()));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(executable.c_str(), argv.data());
      _exit(127);
    }
  }
  ~player_run_t() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The X window id of the player's window, empty when none appeared in time.
  std::string wait_for_window() {
    for (int i = 0; i < 200; ++i) {
      std::string id = shell_output(env_ + " xdotool search --name '" + window_title + "' 2>/dev/null");
      if (!id.empty()) return id.substr(0, id.find('\n'));
      if (poll_exit()) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }

  void press_escape(const std::string& window) {
    // X servers without a window manager take keys only at the focused window.
    std::system((env_ + " xdotool windowfocus --sync " + window + " >/dev/null 2>&1").c_str());
    std::system((env_ + " xdotool key Escape >/dev/null 2>&1").c_str());
  }

  // The exit code, or -1 when the player did not end within the time.
  int wait_exit(int seconds = 30) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (poll_exit()) return exit_code_;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }

  std::string log() const {
    std::ifstream in(log_path_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  bool poll_exit() {
    if (exited_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exited_ = true;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  static inline int counter_ = 0;
  pid_t pid_ = -1;
  bool exited_ = false;
  int exit_code_ = -1;
  std::string log_path_;
  std::string env_;
};

std::string player_path() { return std::string(PUMBLECRISP_BINARY_DIR) + "/bin/pumblecrisp"; }
std::string test_player_path(const char* name) {
  return std::string(PUMBLECRISP_BINARY_DIR) + "/test-bin/" + name;
}

size_t count_of(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

class PlayerTest : public ::testing::TestWithParam<std::vector<std::string>> {
 protected:
  void SetUp() override {
    if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  }
};

// Whatever the command line, the player opens its window, logs its start, plays until Escape,
// closes the engine once and ends with exit code 0.
TEST_P(PlayerTest, RunsUntilEscapeWithAnyCommandLine) {
  player_run_t run(player_path(), GetParam());
  std::string window = run.wait_for_window();
  ASSERT_FALSE(window.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  run.press_escape(window);
  EXPECT_EQ(run.wait_exit(), 0) << run.log();

  const std::string log = run.log();
  std::regex create_line(R"((^|\n)[^\n]*system\.cpp\(\d+\): \[\d\d:\d\d:\d\d: INF\] engine::create\n)");
  EXPECT_TRUE(std::regex_search(log, create_line)) << log;
  EXPECT_EQ(count_of(log, "Engine::close"), 1u) << log;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, PlayerTest,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"--zip", "-z"},
                      std::vector<std::string>{"--unknown", "\"quoted", "text\"", "-p"}));

TEST(PlayerStartupTest, MissingExportEndsStartupWithExitCodeOne) {
  if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  player_run_t run(test_player_path("pumblecrisp_missing_export"), {});
  // The window may appear before the exports are resolved; the player must end by itself.
  EXPECT_EQ(run.wait_exit(), 1) << run.log();
  const std::string log = run.log();
  EXPECT_NE(log.find("WRN] Unable to find 'engine_stop' in dll"), std::string::npos) << log;
  EXPECT_EQ(log.find("WRN] Unable to find 'engine_init'"), std::string::npos) << log;
  EXPECT_NE(log.find("WRN] unable to load dll"), std::string::npos) << log;
}

TEST(PlayerStartupTest, UnreadableProjectStillRunsTheLoopUntilEscape) {
  if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  player_run_t run(test_player_path("pumblecrisp_missing_project"), {});
  std::string window = run.wait_for_window();
  ASSERT_FALSE(window.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  run.press_escape(window);
  EXPECT_EQ(run.wait_exit(), 0) << run.log();
  const std::string log = run.log();
  EXPECT_NE(log.find("WRN] Unable to load project file: projects/no-such-project.proj.toml"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Engine::start"), std::string::npos) << log;
}

}  // namespace
