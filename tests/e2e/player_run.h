#pragma once
// One run of a player executable as a separate process under the test display, with its standard
// error captured in a file: waiting for its windows and log lines, answering the settings dialog,
// pressing Escape and reading its exit code.

#include <gtest/gtest.h>

#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace player_run {

constexpr const char* window_title = "^pumblecrisp - velmora$";
constexpr const char* dialog_title = "^velmora$";

inline std::string player_path() { return std::string(PUMBLECRISP_BINARY_DIR) + "/bin/pumblecrisp"; }

inline size_t count_of(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

// Variables set in the player's environment on top of the test's own.
using environment_t = std::vector<std::pair<std::string, std::string>>;

class player_run_t {
 public:
  player_run_t(const std::string& executable, const std::vector<std::string>& args,
               const environment_t& environment = {}) {
    const std::string& display = x_session::display_t::get().name();
    log_path_ = ::testing::TempDir() + "player_" + std::to_string(getpid()) + "_" +
                std::to_string(counter_++) + ".log";
    pid_ = fork();
    if (pid_ == 0) {
      int log = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(log, 2);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      setenv("DISPLAY", display.c_str(), 1);
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
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
  player_run_t(const player_run_t&) = delete;
  player_run_t& operator=(const player_run_t&) = delete;

  // The X window id of the first window with a matching title, empty when none appeared in time
  // or the player ended first.
  std::string wait_for(const char* title_pattern) {
    // Generous: the bundled production takes a while to load on a busy machine.
    for (int i = 0; i < 600; ++i) {
      std::string id = x_session::find_window(title_pattern);
      if (!id.empty()) return id;
      if (poll_exit()) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }
  std::string wait_for_dialog() { return wait_for(dialog_title); }
  std::string wait_for_window() { return wait_for(window_title); }

  // Answers the settings dialog with the keys given (Return takes the choice as it stands).
  bool answer_dialog(const std::string& keys = "Return") {
    std::string dialog = wait_for_dialog();
    if (dialog.empty()) return false;
    x_session::press_keys(dialog, keys);
    return true;
  }

  // Confirms the dialog as it stands and waits for the player's window.
  std::string start_playing(const std::string& keys = "Return") {
    if (!answer_dialog(keys)) return {};
    return wait_for_window();
  }

  // Presses Escape until the player ends and returns its exit code (-1 when it does not end). SDL
  // on X11 takes the keyboard focus only a while after it has seen the focus arrive, and drops
  // keys until then; a busy frame loop sees the focus late.
  int quit_with_escape(const std::string& window) {
    for (int attempt = 0; attempt < 6; ++attempt) {
      x_session::press_keys(window, "Escape");
      if (int code = wait_exit(3); code != -1) return code;
    }
    // A press during the load waits in the queue until the first frame; the production's load
    // (the L-system's full-capacity buffers) takes tens of seconds under the sanitizers.
    return wait_exit(120);
  }

  // The exit code, or -1 when the player did not end within the time.
  int wait_exit(int seconds = 120) {
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

  // Waits until the log holds `piece` at least `count` times; false when it does not in time.
  bool wait_for_log(const std::string& piece, size_t count = 1, int seconds = 10) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (count_of(log(), piece) >= count) return true;
      if (poll_exit()) return count_of(log(), piece) >= count;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
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
};

}  // namespace player_run
