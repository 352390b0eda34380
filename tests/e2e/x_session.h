#pragma once
// The X display the end-to-end tests run on (the caller's, or an Xvfb of the test program's own),
// and what a person or a window manager would do to windows there: find them by title, focus them,
// press keys, look at them, ask them to close, iconify and restore them.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace x_session {

class display_t {
 public:
  static display_t& get() {
    static display_t instance;
    return instance;
  }
  const std::string& name() const { return name_; }
  // The screen of an Xvfb started here; the caller's display may differ.
  static constexpr int screen_width = 1280;
  static constexpr int screen_height = 720;

 private:
  display_t() {
    if (const char* existing = std::getenv("DISPLAY"); existing && *existing) {
      name_ = existing;
      return;
    }
    // Xvfb picks a free display number itself and writes it back: test programs that start at
    // the same moment would otherwise race for one number and share one server.
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    pid_t pid = fork();
    if (pid == 0) {
      close(pipe_fds[0]);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string screen = std::to_string(screen_width) + "x" + std::to_string(screen_height) + "x24";
      const std::string fd = std::to_string(pipe_fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipe_fds[1]);
    std::string number;
    char c;
    while (read(pipe_fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipe_fds[0]);
    if (pid > 0 && !number.empty()) {
      xvfb_ = pid;
      name_ = ":" + number;
    } else if (pid > 0) {
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

inline std::string shell_output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out;
}

// Runs a command against the display with its output discarded; true on exit code 0.
inline bool run(const std::string& command) {
  const std::string line = "DISPLAY=" + display_t::get().name() + " " + command + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

// The first mapped window whose title matches the regular expression, empty when there is none.
// Windows get their titles before they are mapped, and an unmapped window takes no focus.
inline std::string find_window(const std::string& title_pattern) {
  std::string id = shell_output("DISPLAY=" + display_t::get().name() + " xdotool search --onlyvisible --name '" +
                                title_pattern + "' 2>/dev/null");
  return id.substr(0, id.find('\n'));
}

// X servers without a window manager take keys only at the focused window, and GTK ignores keys
// sent to a window directly: focus first, then press real keys.
// SDL takes the focus a moment after it arrives, and drops keys until then.
inline void press_keys(const std::string& window, const std::string& keys) {
  run("xdotool windowfocus --sync " + window);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  run("xdotool key --delay 50 " + keys);
}

struct geometry_t {
  int x = 0, y = 0, width = 0, height = 0;
};

inline geometry_t window_geometry(const std::string& window) {
  geometry_t g;
  const std::string out =
      shell_output("DISPLAY=" + display_t::get().name() + " xdotool getwindowgeometry --shell " + window);
  auto value = [&](const char* key) {
    const std::string prefix = std::string(key) + "=";
    const size_t at = out.find(prefix);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + prefix.size());
  };
  g.x = value("X");
  g.y = value("Y");
  g.width = value("WIDTH");
  g.height = value("HEIGHT");
  return g;
}

struct rgb_t {
  int r = 0, g = 0, b = 0;
};

// A picture of a window (or "root") as ImageMagick's import takes it.
struct picture_t {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // RGB rows, top first
  rgb_t at(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
  }
};

// Saves a picture as PNG at png_path (for people) and takes another one to read.
inline picture_t take_picture(const std::string& window, const std::string& png_path) {
  picture_t picture;
  run("import -window " + window + " " + png_path);
  const std::string ppm_path = png_path + ".ppm";
  if (!run("import -window " + window + " -depth 8 ppm:" + ppm_path)) return picture;
  std::ifstream in(ppm_path, std::ios::binary);
  std::string magic;
  int max = 0;
  in >> magic >> picture.width >> picture.height >> max;
  in.get();
  if (magic != "P6" || max != 255 || picture.width <= 0 || picture.height <= 0) return {};
  picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  in.read(reinterpret_cast<char*>(picture.pixels.data()), static_cast<std::streamsize>(picture.pixels.size()));
  std::remove(ppm_path.c_str());
  return picture;
}

// What a window manager does, done here with plain Xlib since the server has none.
class x_client_t {
 public:
  x_client_t() : display_(XOpenDisplay(display_t::get().name().c_str())) {}
  ~x_client_t() {
    if (display_) XCloseDisplay(display_);
  }
  x_client_t(const x_client_t&) = delete;
  x_client_t& operator=(const x_client_t&) = delete;
  bool connected() const { return display_ != nullptr; }

  // The close box: WM_PROTOCOLS with WM_DELETE_WINDOW.
  void request_close(const std::string& window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id(window);
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, id(window), False, NoEventMask, &event);
    XSync(display_, False);
  }
  // Iconifying unmaps the window; restoring maps it again.
  void iconify(const std::string& window) {
    XUnmapWindow(display_, id(window));
    XSync(display_, False);
  }
  void restore(const std::string& window) {
    XMapWindow(display_, id(window));
    XSync(display_, False);
  }

 private:
  static Window id(const std::string& window) { return static_cast<Window>(std::stoul(window)); }
  Display* display_;
};

}  // namespace x_session
