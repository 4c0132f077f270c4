// Test support: the private X server and the tools that drive it.
#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace mivo_test {
namespace {

// "Window id: 0x400007 "name"" in xwininfo's answer.
std::string WindowIdIn(const std::string& info) {
  const std::string marker = "Window id: ";
  size_t at = info.find(marker);
  if (at == std::string::npos) return "";
  at += marker.size();
  size_t end = info.find(' ', at);
  return info.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool IsViewable(const std::string& info) {
  return info.find("Map State: IsViewable") != std::string::npos;
}

// The next token of a PPM header, skipping blanks and comments.
bool PpmNumber(const std::string& data, size_t& at, int& number) {
  for (;;) {
    while (at < data.size() && isspace(static_cast<unsigned char>(data[at]))) ++at;
    if (at < data.size() && data[at] == '#') {
      while (at < data.size() && data[at] != '\n') ++at;
      continue;
    }
    break;
  }
  size_t start = at;
  number = 0;
  while (at < data.size() && isdigit(static_cast<unsigned char>(data[at])) && at - start < 6) {
    number = number * 10 + (data[at] - '0');
    ++at;
  }
  return at > start;
}

// Runs a tool whose complaints are expected while waiting (no such window
// yet), keeping them out of the test's output.
int RunQuietly(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               std::string& output) {
  Process process = Process::Start(argv, env);
  int status = process.WaitForExit();
  output = process.Output();
  return status;
}

}  // namespace

uint32_t Image::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0xFF000000;  // no such pixel
  size_t at = (static_cast<size_t>(y) * width + x) * 3;
  return (uint32_t{rgb[at]} << 16) | (uint32_t{rgb[at + 1]} << 8) | rgb[at + 2];
}

Xvfb::Xvfb() {
  // With -displayfd Xvfb picks a free display itself and writes its number
  // to the descriptor once it accepts clients: no fixed number to collide
  // on, and no guessing when it is ready.
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    error_ = "cannot make a pipe for Xvfb";
    return;
  }
  server_ = Process::Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten",
                            "tcp", "-noreset"},
                           {}, ready[1]);
  close(ready[1]);
  std::string number;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(WaitSeconds);
  while (server_.Started() && number.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd readable{ready[0], POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[16];
    ssize_t got = read(ready[0], buffer, sizeof buffer);
    if (got <= 0) break;  // Xvfb ended without a display
    number.append(buffer, static_cast<size_t>(got));
  }
  close(ready[0]);
  while (!number.empty() && isspace(static_cast<unsigned char>(number.back()))) number.pop_back();
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    error_ = "Xvfb did not start: " + server_.Errors();
    server_.Kill();
    return;
  }
  display_ = ":" + number;
}

Xvfb::~Xvfb() {
  if (!server_.Started()) return;
  server_.Signal(SIGTERM);  // lets it remove its lock file and socket
  if (server_.WaitForExit(10) == -1) server_.Kill();
}

std::vector<std::string> Xvfb::Environment() const {
  return {"DISPLAY=" + display_, "SDL_VIDEODRIVER=x11"};
}

Process Xvfb::Start(const std::vector<std::string>& argv,
                    const std::vector<std::string>& env) const {
  std::vector<std::string> all = Environment();
  all.insert(all.end(), env.begin(), env.end());
  return Process::Start(argv, all);
}

int Xvfb::Run(const std::vector<std::string>& argv, std::string* output) const {
  return mivo_test::Run(argv, Environment(), output);
}

std::string Xvfb::WaitForWindow(const std::string& name, double seconds) const {
  std::string window;
  WaitUntil(
      [&] {
        std::string info;
        if (RunQuietly({"xwininfo", "-name", name}, Environment(), info) != 0 ||
            !IsViewable(info)) {
          return false;
        }
        window = WindowIdIn(info);
        return !window.empty();
      },
      seconds);
  return window;
}

bool Xvfb::Viewable(const std::string& window) const {
  std::string info;
  return RunQuietly({"xwininfo", "-id", window}, Environment(), info) == 0 && IsViewable(info);
}

bool Xvfb::Keys(const std::string& window, const std::vector<std::string>& keys) const {
  std::vector<std::string> command = {"xdotool", "windowfocus", "--sync", window,
                                      "key",     "--delay",     "30"};
  command.insert(command.end(), keys.begin(), keys.end());
  return Run(command) == 0;
}

bool Xvfb::KeyDown(const std::string& window, const std::string& key) const {
  return Run({"xdotool", "windowfocus", "--sync", window, "keydown", key}) == 0;
}

bool Xvfb::KeyUp(const std::string& key) const { return Run({"xdotool", "keyup", key}) == 0; }

bool Xvfb::NumLock(bool on) const { return Run({MIVO_XHELPER, "numlock", on ? "on" : "off"}) == 0; }

bool Xvfb::Close(const std::string& window) const {
  return Run({MIVO_XHELPER, "close", window}) == 0;
}

bool Xvfb::Resize(const std::string& window, int width, int height) const {
  return Run({"xdotool", "windowsize", window, std::to_string(width), std::to_string(height)}) == 0;
}

bool Xvfb::Screenshot(Image& image) const {
  std::string data;
  if (Run({"import", "-silent", "-window", "root", "-depth", "8", "ppm:-"}, &data) != 0) {
    return false;
  }
  // A binary PPM: "P6", width, height, maximum 255, one blank, then RGB.
  size_t at = 2;
  int width = 0, height = 0, maximum = 0;
  if (data.compare(0, 2, "P6") != 0 || !PpmNumber(data, at, width) ||
      !PpmNumber(data, at, height) || !PpmNumber(data, at, maximum) || maximum != 255) {
    return false;
  }
  ++at;
  size_t size = static_cast<size_t>(width) * height * 3;
  if (width <= 0 || height <= 0 || data.size() - at < size) return false;
  image.width = width;
  image.height = height;
  image.rgb.assign(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + size));
  return true;
}

}  // namespace mivo_test
