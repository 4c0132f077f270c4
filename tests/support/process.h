// Test support: running programs and waiting for things to happen.
//
//   Process viewer = Process::Start({"/path/to/program", "arg"}, {"NAME=value", "UNSET"});
//   ASSERT_TRUE(viewer.Started()) << viewer.Errors();
//   ASSERT_TRUE(WaitUntil([&] { return viewer.Output().find("ready") != std::string::npos; }));
//   int status = viewer.WaitForExit();   // its exit status, 128 + N for signal N, -1 on timeout
//
// Nothing here sleeps for a fixed time: waits poll their condition every few
// milliseconds until it holds or a generous limit runs out, because the
// machines that run the tests are small and busy.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace mivo_test {

// Long enough for a loaded 2-core machine; a test that passes waits far less.
constexpr double WaitSeconds = 60;

// Checks `condition` until it is true (returns true) or `seconds` have
// passed (returns false).
bool WaitUntil(const std::function<bool()>& condition, double seconds = WaitSeconds);

// A program started by a test, in a process group of its own so that it and
// every process it forks can be killed together. Its stdout and stderr go to
// temporary files, readable at any time. Killed, with its group, when the
// object goes.
class Process {
 public:
  // argv[0] is a path or a name looked up in PATH. The environment is the
  // test's own, changed by `env`: "NAME=value" sets NAME, a bare "NAME"
  // removes it.
  static Process Start(const std::vector<std::string>& argv,
                       const std::vector<std::string>& env = {});

  Process() = default;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // False once the program has ended (it is then reaped).
  bool Running();

  // Waits for the end; returns the exit status, 128 + N when signal N ended
  // it, or -1 when it still runs after `seconds` (it is left running).
  int WaitForExit(double seconds = WaitSeconds);

  // Sends `signal` to the program alone.
  void Signal(int signal) const;

  // Kills the whole process group and reaps the program.
  void Kill();

  // Everything written so far.
  std::string Output() const;
  std::string Errors() const;

 private:
  friend class Xvfb;
  static Process Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       int passFd);
  void Reap(int waitStatus);
  void Release();

  pid_t pid_ = -1;
  bool running_ = false;
  int status_ = -1;
  std::string outputPath_;
  std::string errorsPath_;
};

// Runs a program to its end. Returns its exit status (as WaitForExit), or -1
// when it could not be started or did not end in time (it is then killed).
// Its stdout goes to `output` when given; its stderr to the test's stderr.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
        std::string* output = nullptr, double seconds = WaitSeconds);

}  // namespace mivo_test
