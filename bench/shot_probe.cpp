// Times `mivo --shot` from outside: from the fork to the picture landing in
// its place (the rename that puts it there, seen through inotify), and to
// the process's end:
//
//   shot_probe [-n ROUNDS] [-s SIZE] MIVO NAME MAP [NAME MAP]...
//
// Each round runs every map once, in an order that rotates from round to
// round; the report gives medians and the peak RSS. The program runs with
// no display, as a thumbnailer does; -s passes --size SIZE, as a
// thumbnailer does.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Result {
  double fileMs = -1;
  double exitMs = -1;
  long peakRssKb = 0;
};

double NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t half = values.size() / 2;
  return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// One run of `mivo --shot DIR/shot.png MAP`; false when it failed.
bool RunOnce(const char* mivo, const char* size, const char* map, const std::string& dir,
             Result& result) {
  const std::string out = dir + "/shot.png";
  unlink(out.c_str());
  int watch = inotify_init1(IN_NONBLOCK);
  if (watch < 0 || inotify_add_watch(watch, dir.c_str(), IN_MOVED_TO) < 0) {
    perror("inotify");
    return false;
  }
  double start = NowMs();
  pid_t pid = fork();
  if (pid == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (size != nullptr) {
      execl(mivo, mivo, "--shot", out.c_str(), "--size", size, map, static_cast<char*>(nullptr));
    } else {
      execl(mivo, mivo, "--shot", out.c_str(), map, static_cast<char*>(nullptr));
    }
    fprintf(stderr, "cannot run %s: %s\n", mivo, strerror(errno));
    _exit(127);
  }
  int status = 0;
  rusage usage = {};
  pollfd events = {watch, POLLIN, 0};
  pid_t ended = 0;
  while (result.fileMs < 0 && (ended = wait4(pid, &status, WNOHANG, &usage)) == 0) {
    if (poll(&events, 1, 1) <= 0) continue;
    alignas(inotify_event) char buffer[4096];
    ssize_t length = read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0 && strcmp(event->name, "shot.png") == 0) result.fileMs = NowMs() - start;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  if (ended == 0) wait4(pid, &status, 0, &usage);
  result.exitMs = NowMs() - start;
  result.peakRssKb = usage.ru_maxrss;
  close(watch);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || result.fileMs < 0) {
    fprintf(stderr, "%s --shot %s failed (status %d)\n", mivo, map, status);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 30;
  const char* size = nullptr;
  int arg = 1;
  for (; arg + 1 < argc && argv[arg][0] == '-'; arg += 2) {
    if (strcmp(argv[arg], "-n") == 0) {
      rounds = atoi(argv[arg + 1]);
    } else if (strcmp(argv[arg], "-s") == 0) {
      size = argv[arg + 1];
    } else {
      rounds = 0;
    }
  }
  if (rounds < 1 || argc - arg < 3 || (argc - arg - 1) % 2 != 0) {
    fprintf(stderr, "usage: shot_probe [-n ROUNDS] [-s SIZE] MIVO NAME MAP [NAME MAP]...\n");
    return 2;
  }
  const char* mivo = argv[arg++];
  std::vector<const char*> names, maps;
  for (; arg < argc; arg += 2) {
    names.push_back(argv[arg]);
    maps.push_back(argv[arg + 1]);
  }
  char dirTemplate[] = "/tmp/shot_probe-XXXXXX";
  if (mkdtemp(dirTemplate) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  const std::string dir = dirTemplate;
  size_t count = maps.size();
  std::vector<std::vector<Result>> results(count);
  bool failed = false;
  for (int round = 0; round < rounds && !failed; ++round) {
    for (size_t k = 0; k < count && !failed; ++k) {
      size_t m = (round + k) % count;
      Result result;
      failed = !RunOnce(mivo, size, maps[m], dir, result);
      results[m].push_back(result);
    }
  }
  unlink((dir + "/shot.png").c_str());
  rmdir(dir.c_str());
  if (failed) return 1;

  printf("mivo --shot%s%s with no display, %d rounds, medians.\n", size ? " --size " : "",
         size ? size : "", rounds);
  printf("%-16s %14s %14s %13s\n", "map", "start to", "start to", "peak RSS");
  printf("%-16s %14s %14s %13s\n", "", "file ms", "exit ms", "MiB");
  for (size_t m = 0; m < count; ++m) {
    std::vector<double> file, exit, rss;
    for (const Result& r : results[m]) {
      file.push_back(r.fileMs);
      exit.push_back(r.exitMs);
      rss.push_back(r.peakRssKb / 1024.0);
    }
    printf("%-16s %14.1f %14.1f %13.1f\n", names[m], Median(file), Median(exit), Median(rss));
  }
  return 0;
}
