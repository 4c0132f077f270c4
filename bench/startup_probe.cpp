// Times programs from their start to their first picture on the X screen,
// watching from outside, so the programs need no hook:
//
//   startup_probe [-n ROUNDS] [-v] NAME COMMAND ARGS... [-- NAME COMMAND ARGS...]...
//
// For each run it forks and executes the command, then follows the X server:
// the program's top-level window being mapped (SubstructureNotify on the
// root window) and every drawing on the screen (DAMAGE on the root window).
// The first frame is the first drawing in the window once it is mapped: SDL
// gives its windows no background, so X paints nothing there itself and a
// GL program's first drawing is its first swap. The report counts first
// frames that showed nothing but black, which is how a map looks from a
// starting view outside it. Then the program gets SIGTERM (its quit
// request) and wait4 gives its peak RSS.
//
// The first program is the baseline. Each round runs every program once, in
// an order that rotates from round to round, and divides each program's
// time to its first frame by the baseline's of the same round; the report
// gives the median of those ratios beside the median times and peak RSS.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kRunTimeoutMs = 20000;
constexpr double kExitTimeoutMs = 5000;

struct Program {
  std::string name;
  std::vector<char*> argv;  // null-terminated, pointing into main's argv
};

struct RunResult {
  bool ok = false;
  bool black = false;  // the window showed nothing but black after its first frame
  double mapMs = -1;  // window mapped, from the fork
  double frameMs = -1;
  long peakRssKb = 0;
};

Display* display;
Window root;
int damageEventBase;
Damage rootDamage;
bool verbose = false;
std::string logPath;

double NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// A window can vanish between an event and a request about it; that ends
// the check in hand, not the probe.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool IsDamage(const XEvent& event) { return event.type == damageEventBase + XDamageNotify; }

// Whether the window shows anything but black.
bool HoldsPicture(Window window, int width, int height) {
  XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  bool found = false;
  if (image->bits_per_pixel == 32) {  // the usual 24-bit screen: scan the words
    for (int y = 0; y < height && !found; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(image->data + y * image->bytes_per_line);
      for (int x = 0; x < width && !found; ++x) found = (row[x] & 0xFFFFFF) != 0;
    }
  } else {
    for (int y = 0; y < height && !found; ++y)
      for (int x = 0; x < width && !found; ++x) found = (XGetPixel(image, x, y) & 0xFFFFFF) != 0;
  }
  XDestroyImage(image);
  return found;
}

XRectangle Area(int x, int y, int width, int height) {
  return {static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(width),
          static_cast<unsigned short>(height)};
}

bool Overlap(const XRectangle& a, const XRectangle& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
         b.y < a.y + a.height;
}

void DiscardEvents() {
  XDamageSubtract(display, rootDamage, None, None);
  XSync(display, False);
  XEvent event;
  while (XPending(display) > 0) XNextEvent(display, &event);
}

pid_t Start(const Program& program) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int devNull = open("/dev/null", O_RDWR);
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    dup2(log >= 0 ? log : devNull, STDERR_FILENO);
    execvp(program.argv[0], program.argv.data());
    fprintf(stderr, "cannot run %s: %s\n", program.argv[0], strerror(errno));
    _exit(127);
  }
  if (pid > 0) setpgid(pid, pid);
  return pid;
}

// Ends the program's process group with SIGTERM (SIGKILL if it lingers) and
// returns its peak RSS in KiB, or 0 when it could not be collected.
long Stop(pid_t pid, bool* exitedCleanly) {
  kill(-pid, SIGTERM);
  double deadline = NowMs() + kExitTimeoutMs;
  int status = 0;
  rusage usage = {};
  while (wait4(pid, &status, WNOHANG, &usage) == 0) {
    if (NowMs() > deadline) {
      kill(-pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      break;
    }
    usleep(1000);
  }
  kill(-pid, SIGKILL);  // whatever the program left behind in its group
  *exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return usage.ru_maxrss;
}

void ShowLog() {
  FILE* log = fopen(logPath.c_str(), "r");
  if (log == nullptr) return;
  char line[512];
  while (fgets(line, sizeof line, log) != nullptr) fprintf(stderr, "  | %s", line);
  fclose(log);
}

RunResult RunOnce(const Program& program) {
  RunResult result;
  DiscardEvents();
  double start = NowMs();
  pid_t pid = Start(program);
  if (pid < 0) {
    perror("fork");
    return result;
  }
  std::map<Window, XRectangle> areas;  // top-level windows created since the start
  Window window = 0;
  bool mapped = false;
  bool childGone = false;
  pollfd x = {ConnectionNumber(display), POLLIN, 0};
  while (result.frameMs < 0 && !childGone) {
    double now = NowMs();
    if (now - start > kRunTimeoutMs) break;
    if (XPending(display) == 0) {
      poll(&x, 1, 10);
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) childGone = true;
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    // SDL makes and drops a small hidden window of its own first: the
    // program's window is the first one created since the start that maps.
    if (event.type == CreateNotify && !event.xcreatewindow.override_redirect) {
      const XCreateWindowEvent& created = event.xcreatewindow;
      areas[created.window] = Area(created.x, created.y, created.width, created.height);
    } else if (event.type == ConfigureNotify && areas.count(event.xconfigure.window)) {
      const XConfigureEvent& configured = event.xconfigure;
      areas[configured.window] =
          Area(configured.x, configured.y, configured.width, configured.height);
    } else if (event.type == MapNotify && !mapped && areas.count(event.xmap.window)) {
      mapped = true;
      window = event.xmap.window;
      result.mapMs = now - start;
    } else if (IsDamage(event) && mapped &&
               Overlap(reinterpret_cast<XDamageNotifyEvent&>(event).area, areas[window])) {
      result.frameMs = now - start;
      result.black = !HoldsPicture(window, areas[window].width, areas[window].height);
    }
  }
  bool exitedCleanly = false;
  if (childGone) {
    fprintf(stderr, "%s ended before its first frame:\n", program.name.c_str());
    ShowLog();
    kill(-pid, SIGKILL);  // whatever it left behind in its group
    return result;
  }
  result.peakRssKb = Stop(pid, &exitedCleanly);
  // A program that fails shows a message box, which maps and draws too; a
  // run counts only when the program also ends cleanly on its quit request.
  result.ok = result.frameMs >= 0 && exitedCleanly;
  if (result.frameMs < 0) {
    fprintf(stderr, "%s: no first frame within %.0f ms\n", program.name.c_str(), kRunTimeoutMs);
    ShowLog();
  } else if (!exitedCleanly) {
    fprintf(stderr, "%s did not end with status 0 on SIGTERM:\n", program.name.c_str());
    ShowLog();
  }
  usleep(50000);  // let the server tidy up after the window before the next start
  return result;
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  size_t half = values.size() / 2;
  return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

int Usage() {
  fprintf(stderr,
          "usage: startup_probe [-n ROUNDS] [-v] NAME COMMAND ARGS... "
          "[-- NAME COMMAND ARGS...]...\n"
          "The first program is the baseline; run it under an X server (tools/with_xvfb.sh).\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 30;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (strcmp(argv[arg], "-n") == 0 && arg + 1 < argc) {
      rounds = atoi(argv[++arg]);
    } else if (strcmp(argv[arg], "-v") == 0) {
      verbose = true;
    } else {
      return Usage();
    }
  }
  std::vector<Program> programs;
  while (arg < argc) {
    Program program;
    program.name = argv[arg++];
    for (; arg < argc && strcmp(argv[arg], "--") != 0; ++arg) program.argv.push_back(argv[arg]);
    ++arg;
    if (program.argv.empty()) return Usage();
    program.argv.push_back(nullptr);
    programs.push_back(program);
  }
  if (programs.empty() || rounds < 1) return Usage();

  display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    fprintf(stderr, "startup_probe: cannot open the X display\n");
    return 1;
  }
  int damageErrorBase;
  if (!XDamageQueryExtension(display, &damageEventBase, &damageErrorBase)) {
    fprintf(stderr, "startup_probe: the X server has no DAMAGE extension\n");
    return 1;
  }
  XSetErrorHandler(IgnoreXError);
  root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  rootDamage = XDamageCreate(display, root, XDamageReportRawRectangles);
  logPath = "/tmp/startup_probe-" + std::to_string(getpid()) + ".log";

  size_t count = programs.size();
  std::vector<std::vector<RunResult>> results(count);
  std::vector<std::vector<double>> ratios(count);
  for (int round = 0; round < rounds; ++round) {
    std::vector<RunResult> thisRound(count);
    for (size_t k = 0; k < count; ++k) {
      size_t p = (round + k) % count;
      thisRound[p] = RunOnce(programs[p]);
      if (!thisRound[p].ok) {
        unlink(logPath.c_str());
        return 1;
      }
      if (verbose)
        fprintf(stderr, "round %2d %-16s map %7.1f ms  frame %7.1f ms%s  rss %ld KiB\n", round,
                programs[p].name.c_str(), thisRound[p].mapMs, thisRound[p].frameMs,
                thisRound[p].black ? " (black)" : "", thisRound[p].peakRssKb);
    }
    for (size_t p = 0; p < count; ++p) {
      results[p].push_back(thisRound[p]);
      ratios[p].push_back(thisRound[p].frameMs / thisRound[0].frameMs);
    }
  }
  unlink(logPath.c_str());

  printf("Start-up under X, %d rounds, medians; the baseline is %s.\n", rounds,
         programs[0].name.c_str());
  printf("%-16s %9s %11s %11s %10s %14s %13s\n", "program", "start to", "window to",
         "start to", "ratio to", "ratio of", "peak RSS");
  printf("%-16s %9s %11s %11s %10s %14s %13s\n", "", "window ms", "frame ms", "frame ms",
         "baseline", "medians", "MiB");
  double baseline = 0;
  for (size_t p = 0; p < count; ++p) {
    std::vector<double> map, mapToFrame, frame, rss;
    int black = 0;
    for (const RunResult& r : results[p]) {
      map.push_back(r.mapMs);
      mapToFrame.push_back(r.frameMs - r.mapMs);
      frame.push_back(r.frameMs);
      rss.push_back(r.peakRssKb / 1024.0);
      black += r.black;
    }
    double medianFrame = Median(frame);
    if (p == 0) baseline = medianFrame;
    printf("%-16s %9.1f %11.1f %11.1f %10.3f %14.3f %13.1f", programs[p].name.c_str(),
           Median(map), Median(mapToFrame), medianFrame, Median(ratios[p]),
           medianFrame / baseline, Median(rss));
    if (black > 0) printf("  (%d first frames all black)", black);
    printf("\n");
  }
  XDamageDestroy(display, rootDamage);
  XCloseDisplay(display);
  return 0;
}
