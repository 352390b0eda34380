// End-to-end runs of the player in a real window: it is started as a separate process under the
// current X display (or an Xvfb of the test's own), driven with xdotool and judged by its exit code
// and its log on standard error.

#include <gtest/gtest.h>

#include "player_run.h"
#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using x_session::display_t;
using x_session::shell_output;

using player_run::count_of;
using player_run::dialog_title;
using player_run::player_path;
using player_run::player_run_t;
using player_run::window_title;

std::string test_player_path(const char* name) {
  return std::string(PUMBLECRISP_BINARY_DIR) + "/test-bin/" + name;
}

// Where the tests leave their pictures for people to look at.
std::string output_path(const std::string& name) {
  const std::string dir = std::string(PUMBLECRISP_BINARY_DIR) + "/test-output/e2e";
  std::system(("mkdir -p " + dir).c_str());
  return dir + "/" + name;
}

// The frame colour the back buffer is cleared to, (0.1, 0.2, 0.5, 1.0), as 8-bit values.
bool is_frame_colour(const x_session::rgb_t& c) {
  auto near = [](int value, int expected) { return value >= expected - 2 && value <= expected + 2; };
  return near(c.r, 26) && near(c.g, 51) && near(c.b, 128);
}

// Every pixel of a grid over the picture has the frame colour.
::testing::AssertionResult cleared_to_frame_colour(const x_session::picture_t& picture) {
  if (picture.width == 0) return ::testing::AssertionFailure() << "no picture";
  for (int gy = 0; gy <= 8; ++gy)
    for (int gx = 0; gx <= 8; ++gx) {
      const int x = std::min(picture.width - 1, picture.width * gx / 8);
      const int y = std::min(picture.height - 1, picture.height * gy / 8);
      const x_session::rgb_t c = picture.at(x, y);
      if (!is_frame_colour(c))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.r << "," << c.g << ","
                                             << c.b;
    }
  return ::testing::AssertionSuccess();
}

// Pictures of the window until one shows the frame colour everywhere, for at most a few seconds.
::testing::AssertionResult wait_for_frame_colour(const std::string& window, const std::string& png_path) {
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  for (int i = 0; i < 20; ++i) {
    result = cleared_to_frame_colour(x_session::take_picture(window, png_path));
    if (result) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  return result;
}

const char* const resize_line = "DBG] Resizing swap chain to ";

class PlayerTest : public ::testing::TestWithParam<std::vector<std::string>> {
 protected:
  void SetUp() override {
    if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  }
};

// Whatever the command line, the player shows its dialog, opens its window once the dialog is
// confirmed, logs its start, plays until Escape, closes the engine once and ends with exit code 0.
TEST_P(PlayerTest, RunsUntilEscapeWithAnyCommandLine) {
  player_run_t run(player_path(), GetParam());
  std::string window = run.start_playing();
  ASSERT_FALSE(window.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(run.quit_with_escape(window), 0) << run.log();

  const std::string log = run.log();
  std::regex create_line(R"((^|\n)[^\n]*system\.cpp\(\d+\): \[\d\d:\d\d:\d\d: INF\] engine::create\n)");
  EXPECT_TRUE(std::regex_search(log, create_line)) << log;
  EXPECT_EQ(count_of(log, "Engine::close"), 1u) << log;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, PlayerTest,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"--zip", "-z"},
                      std::vector<std::string>{"--unknown", "\"quoted", "text\"", "-p"}));

class PlayerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  }
};

// The dialog comes up centred with the screen's mode preselected and its check boxes; Tab moves
// from "GOGOGO!" through "NONONO!" and the mode list to "Windowed", Space ticks it and Return
// confirms. The window's client area is then the chosen mode, and every frame shows the frame
// colour until Escape ends the player with exit code 0.
TEST_F(PlayerWindowTest, DialogChoiceOpensTheWindowAtTheChosenSizeClearedEveryFrame) {
  // Without a project nothing is drawn over the cleared back buffer.
  player_run_t run(test_player_path("pumblecrisp_missing_project"), {});
  const std::string dialog = run.wait_for_dialog();
  ASSERT_FALSE(dialog.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const x_session::picture_t screen = x_session::take_picture("root", output_path("settings_dialog.png"));
  const x_session::geometry_t box = x_session::window_geometry(dialog);
  ASSERT_GT(box.width, 0);
  // Centred: (screen / 2 − client / 2) on both axes.
  EXPECT_NEAR(box.x, screen.width / 2 - box.width / 2, 1);
  EXPECT_NEAR(box.y, screen.height / 2 - box.height / 2, 1);
  // A light dialog over the black screen.
  ASSERT_GT(screen.width, 0);
  const x_session::rgb_t inside = screen.at(box.x + 4, box.y + 4);
  EXPECT_GT(inside.r + inside.g + inside.b, 600);

  x_session::press_keys(dialog, "Tab Tab Tab space Return");
  const std::string window = run.wait_for_window();
  ASSERT_FALSE(window.empty()) << run.log();
  // Windowed, the window is grown to give that client area and placed at (-1, -1).
  const x_session::geometry_t client = x_session::window_geometry(window);
  EXPECT_EQ(client.width, screen.width);
  EXPECT_EQ(client.height, screen.height);
  EXPECT_EQ(client.x, -1);
  EXPECT_EQ(client.y, -1);

  // The first frames take a while (shaders are translated on first use); later ones must all show
  // the frame colour.
  EXPECT_TRUE(wait_for_frame_colour(window, output_path("frame_1.png")));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(cleared_to_frame_colour(x_session::take_picture(window, output_path("frame_2.png"))));
  EXPECT_TRUE(x_session::find_window(dialog_title).empty()) << "the dialog is still there";

  EXPECT_EQ(run.quit_with_escape(window), 0) << run.log();
  EXPECT_EQ(count_of(run.log(), "Engine::close"), 1u) << run.log();
}

class DeclinedDialogTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  }
};

// "NONONO!" (by Tab then Return or Space) and Escape end start-up before any window opens.
TEST_P(DeclinedDialogTest, EndsStartupWithExitCodeOne) {
  player_run_t run(player_path(), {});
  ASSERT_TRUE(run.answer_dialog(GetParam())) << run.log();
  EXPECT_EQ(run.wait_exit(), 1) << run.log();
  const std::string log = run.log();
  EXPECT_EQ(count_of(log, "WRN] Unable to init graphics: Error in show dialog\n"), 1u) << log;
  EXPECT_EQ(log.find("Engine::"), std::string::npos) << log;
  EXPECT_TRUE(x_session::find_window(window_title).empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, DeclinedDialogTest, ::testing::Values("Tab Return", "Tab space", "Escape"));

// A new client size resizes the swap chain; iconifying does not, and restoring resizes it to the
// client size again. The frames still fill the window after the resize.
TEST_F(PlayerWindowTest, ResizingResizesTheSwapChainIconifyingDoesNot) {
  x_session::x_client_t x;
  ASSERT_TRUE(x.connected());
  player_run_t run(test_player_path("pumblecrisp_missing_project"), {});
  const std::string window = run.start_playing("Tab Tab Tab space Return");
  ASSERT_FALSE(window.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(count_of(run.log(), resize_line), 0u) << run.log();

  x_session::run("xdotool windowsize " + window + " 640 360");
  EXPECT_TRUE(run.wait_for_log(std::string(resize_line) + "640x360\n")) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(wait_for_frame_colour(window, output_path("resized.png")));
  const x_session::geometry_t client = x_session::window_geometry(window);
  EXPECT_EQ(client.width, 640);
  EXPECT_EQ(client.height, 360);

  x.iconify(window);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(count_of(run.log(), resize_line), 1u) << run.log();
  // Restored, the window reports its client size again (without a window manager SDL puts back
  // the size it created the window with) and the swap chain takes that size.
  x.restore(window);
  EXPECT_TRUE(run.wait_for_log(resize_line, 2)) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const x_session::geometry_t restored = x_session::window_geometry(window);
  const std::string last = run.log().substr(run.log().rfind(resize_line));
  EXPECT_EQ(last.substr(0, last.find('\n')),
            std::string(resize_line) + std::to_string(restored.width) + "x" + std::to_string(restored.height));
  EXPECT_EQ(count_of(run.log(), resize_line), 2u) << run.log();

  EXPECT_EQ(run.quit_with_escape(window), 0) << run.log();
}

// The close box (WM_DELETE_WINDOW) destroys the window, which ends the player normally.
TEST_F(PlayerWindowTest, ClosingTheWindowEndsWithExitCodeZero) {
  x_session::x_client_t x;
  ASSERT_TRUE(x.connected());
  player_run_t run(player_path(), {});
  const std::string window = run.start_playing();
  ASSERT_FALSE(window.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  x.request_close(window);
  EXPECT_EQ(run.wait_exit(), 0) << run.log();
  EXPECT_EQ(count_of(run.log(), "Engine::close"), 1u) << run.log();
}

TEST(PlayerStartupTest, MissingExportEndsStartupWithExitCodeOne) {
  if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  player_run_t run(test_player_path("pumblecrisp_missing_export"), {});
  // The exports are resolved after the window has opened.
  ASSERT_TRUE(run.answer_dialog()) << run.log();
  EXPECT_EQ(run.wait_exit(), 1) << run.log();
  const std::string log = run.log();
  EXPECT_NE(log.find("WRN] Unable to find 'engine_stop' in dll"), std::string::npos) << log;
  EXPECT_EQ(log.find("WRN] Unable to find 'engine_init'"), std::string::npos) << log;
  EXPECT_NE(log.find("WRN] unable to load dll"), std::string::npos) << log;
}

TEST(PlayerStartupTest, UnreadableProjectStillRunsTheLoopUntilEscape) {
  if (display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  player_run_t run(test_player_path("pumblecrisp_missing_project"), {});
  std::string window = run.start_playing();
  ASSERT_FALSE(window.empty()) << run.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(run.quit_with_escape(window), 0) << run.log();
  const std::string log = run.log();
  EXPECT_NE(log.find("WRN] Unable to load project file: projects/no-such-project.proj.toml"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Engine::start"), std::string::npos) << log;
}

}  // namespace
