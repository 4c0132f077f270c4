// Test support: starting programs in process groups of their own, reading
// what they write, waiting for conditions.
#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace mivo_test {
namespace {

std::string TemporaryFile(const char* what) {
  const char* directory = getenv("TMPDIR");
  std::string path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                     "/mivo-" + what + "-XXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return "";
  close(fd);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The test's environment with `changes` applied.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) result.emplace_back(*entry);
  for (const std::string& change : changes) {
    std::string name = change.substr(0, change.find('='));
    std::erase_if(result, [&](const std::string& entry) {
      return entry.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (change.find('=') != std::string::npos) result.push_back(change);
  }
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int StatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

Process Process::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  return Spawn(argv, env, -1);
}

// `passFd`, when not -1, stays open in the program as descriptor 3.
Process Process::Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       int passFd) {
  Process process;
  if (argv.empty()) return process;
  process.outputPath_ = TemporaryFile("out");
  process.errorsPath_ = TemporaryFile("err");
  if (process.outputPath_.empty() || process.errorsPath_.empty()) return process;

  // Everything the child needs is made before fork: after it, only
  // async-signal-safe calls.
  std::vector<std::string> arguments = argv;
  std::vector<std::string> environment = Environment(env);
  std::vector<char*> argumentPointers = Pointers(arguments);
  std::vector<char*> environmentPointers = Pointers(environment);
  int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int output = open(process.outputPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  int errors = open(process.errorsPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (input < 0 || output < 0 || errors < 0) {
    for (int fd : {input, output, errors}) {
      if (fd >= 0) close(fd);
    }
    return process;
  }

  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    dup2(input, 0);
    dup2(output, 1);
    dup2(errors, 2);
    if (passFd >= 0 && passFd != 3) dup2(passFd, 3);  // dup2 leaves the copy open across exec
    if (passFd == 3) fcntl(3, F_SETFD, 0);
    execvpe(argumentPointers[0], argumentPointers.data(), environmentPointers.data());
    const char* message = "cannot run the program\n";
    ssize_t ignored = write(2, message, strlen(message));
    (void)ignored;
    _exit(127);
  }
  close(input);
  close(output);
  close(errors);
  if (pid < 0) return process;
  setpgid(pid, pid);  // also here, so the group exists whichever runs first
  process.pid_ = pid;
  process.running_ = true;
  return process;
}

Process::Process(Process&& other) noexcept { *this = std::move(other); }

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Release();
    pid_ = other.pid_;
    running_ = other.running_;
    status_ = other.status_;
    outputPath_ = std::move(other.outputPath_);
    errorsPath_ = std::move(other.errorsPath_);
    other.pid_ = -1;
    other.running_ = false;
    other.outputPath_.clear();
    other.errorsPath_.clear();
  }
  return *this;
}

Process::~Process() { Release(); }

void Process::Release() {
  if (pid_ > 0) Kill();
  if (!outputPath_.empty()) unlink(outputPath_.c_str());
  if (!errorsPath_.empty()) unlink(errorsPath_.c_str());
  pid_ = -1;
}

void Process::Reap(int waitStatus) {
  running_ = false;
  status_ = StatusOf(waitStatus);
}

bool Process::Running() {
  if (!running_) return false;
  int waitStatus = 0;
  if (waitpid(pid_, &waitStatus, WNOHANG) == pid_) Reap(waitStatus);
  return running_;
}

int Process::WaitForExit(double seconds) {
  if (pid_ <= 0) return -1;
  if (!WaitUntil([this] { return !Running(); }, seconds)) return -1;
  return status_;
}

void Process::Signal(int signal) const {
  if (pid_ > 0 && running_) kill(pid_, signal);
}

void Process::Kill() {
  if (pid_ <= 0) return;
  // The group outlives its leader while anything it forked lives on.
  kill(-pid_, SIGKILL);
  if (running_) {
    int waitStatus = 0;
    if (waitpid(pid_, &waitStatus, 0) == pid_) Reap(waitStatus);
  }
}

std::string Process::Output() const { return ReadFile(outputPath_); }

std::string Process::Errors() const { return ReadFile(errorsPath_); }

int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        std::string* output, double seconds) {
  Process process = Process::Start(argv, env);
  if (!process.Started()) return -1;
  int status = process.WaitForExit(seconds);
  if (output != nullptr) *output = process.Output();
  std::string errors = process.Errors();
  if (!errors.empty()) fprintf(stderr, "%s", errors.c_str());
  return status;  // the process, if still running, is killed on the way out
}

}  // namespace mivo_test
