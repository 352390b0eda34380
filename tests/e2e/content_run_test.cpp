// The player runs the bundled production from its archive: the project, its shaders, camera scenes,
// texture, sync tracks and music load without a complaint, and the first scene and its finishing
// pass are drawn with the music as the clock.

#include <gtest/gtest.h>

#include "x_session.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fmt/printf.h>

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ContentRunTest, BundledProductionLoadsAndItsFirstSceneIsDrawn) {
  const std::string dir = ::testing::TempDir();
  const std::string log_path = fmt::sprintf("%scontent_run_%d.log", dir, static_cast<int>(getpid()));
  const std::string pid_path = log_path + ".pid";
  // Without a sound card the music plays on SDL's dummy output, in real time.
  const std::string start = fmt::sprintf(
      "cd / && DISPLAY=%s SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 timeout 180 '%s/bin/pumblecrisp' "
      ">/dev/null 2>'%s' & echo $! > '%s'",
      x_session::display_t::get().name(), PUMBLECRISP_BINARY_DIR, log_path, pid_path);
  ASSERT_EQ(std::system(start.c_str()), 0);
  const pid_t pid = static_cast<pid_t>(std::atoi(read_file(pid_path).c_str()));
  ASSERT_GT(pid, 0);

  std::string dialog;
  for (int i = 0; i < 300 && dialog.empty(); ++i) {
    dialog = x_session::find_window("^velmora$");
    if (dialog.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(dialog.empty()) << read_file(log_path);
  x_session::press_keys(dialog, "Return");

  // Loading takes a while: the L-system makes its full-capacity buffers (about 1.3 GB) first.
  std::string log;
  for (int i = 0; i < 1500; ++i) {
    log = read_file(log_path);
    if (log.find("First execute: grade:PsGrade") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  kill(pid, SIGKILL);
  std::remove(pid_path.c_str());
  std::remove(log_path.c_str());

  EXPECT_NE(log.find("Loaded:"), std::string::npos);
  EXPECT_NE(log.find("First execute: starfield:PsStarfield"), std::string::npos);
  EXPECT_NE(log.find("First execute: grade:PsGrade"), std::string::npos);
  // What the loaders say when a piece of the production is missing or malformed. (Metadata entries
  // for frame constants that a shader does not use are reported, harmlessly, as not found.)
  for (const char* complaint :
       {"Error loading music", "Unable to load scene for camera", "Unable to load texture",
        "Error parsing render pass", "unable to load", "Trying to create unsupported class",
        "Error looking for camera", "attempting to load unsupported type", "Unable to find matching output",
        "is not a var or a sys", "Unable to find system texture", "Error parsing meta data",
        "Unable to load default", "Shader cached: skipping", "Unknown layout token", "Error loading project"})
    EXPECT_EQ(log.find(complaint), std::string::npos) << complaint;
}

}  // namespace
