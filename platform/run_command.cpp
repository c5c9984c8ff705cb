// fork/exec with two pipes read in one poll loop against a deadline.
#include "platform/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/shell_open.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

void Keep(std::string* sink, const char* data, size_t n) {
  if (sink == nullptr || sink->size() >= kCommandOutputLimit) return;
  sink->append(data, std::min(n, kCommandOutputLimit - sink->size()));
}

// Reads both pipes until both are closed or the deadline passes; false on time-out.
bool DrainPipes(int out_fd, int err_fd, std::string* out, std::string* err,
                Clock::time_point deadline) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open_pipes = 2;
  char buf[4096];
  while (open_pipes > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        --open_pipes;
        continue;
      }
      Keep(sinks[i], buf, static_cast<size_t>(n));
    }
  }
  return true;
}

}  // namespace

int RunCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
               int timeout_ms) {
  if (out != nullptr) out->clear();
  if (err != nullptr) err->clear();
  if (argv.empty()) return kCommandNotStarted;
  const std::string program =
      argv[0].find('/') == std::string::npos ? FindOnPath(argv[0]) : argv[0];
  if (program.empty()) return kCommandNotStarted;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return kCommandNotStarted;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return kCommandNotStarted;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    // A group of its own, so a time-out also ends whatever the command started.
    setpgid(0, 0);
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  if (child > 0) setpgid(child, child);  // also here: the kill may come before the child runs
  close(out_pipe[1]);
  close(err_pipe[1]);
  bool in_time = child > 0 && DrainPipes(out_pipe[0], err_pipe[0], out, err,
                                         Clock::now() + std::chrono::milliseconds(timeout_ms));
  close(out_pipe[0]);
  close(err_pipe[0]);
  if (child < 0) return kCommandNotStarted;
  if (!in_time) kill(-child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!in_time) return kCommandTimedOut;
  return WIFEXITED(status) ? WEXITSTATUS(status) : kCommandNotStarted;
}

}  // namespace platform
