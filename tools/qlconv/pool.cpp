#include "tools/qlconv/pool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

extern char** environ;

namespace ql::qlconv {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

struct Running {
  size_t task = 0;
  pid_t pid = -1;
  int fd = -1;  // read end of the child's stderr/stdout pipe
};

struct Collected {
  std::string partial;             // bytes after the last line break
  std::deque<std::string> lines;   // whole lines not yet printed
  bool done = false;
};

class Printer {
 public:
  Printer(const std::vector<Task>& tasks, std::vector<Collected>& collected, const PoolOptions& options)
      : tasks_(tasks), collected_(collected), options_(options) {}

  // Prints what may be printed now: the lines of the earliest unfinished
  // task, and everything of the tasks before it.
  void flush() {
    while (next_ < tasks_.size()) {
      Collected& c = collected_[next_];
      while (!c.lines.empty()) {
        clearProgress();
        std::fprintf(options_.err, "%s: %s\n", tasks_[next_].name.c_str(), c.lines.front().c_str());
        c.lines.pop_front();
      }
      if (!c.done) break;
      ++next_;
    }
    std::fflush(options_.err);
  }

  // Rewritten only when it changed or a message line wiped it.
  void progress(size_t done, const std::string& current) {
    if (!options_.progress) return;
    std::string text = "[" + std::to_string(done) + "/" + std::to_string(tasks_.size()) + "] " + current;
    if (shown_ && text == lastProgress_) return;
    std::fprintf(options_.err, "\r\033[K%s", text.c_str());
    std::fflush(options_.err);
    lastProgress_ = std::move(text);
    shown_ = true;
  }

  void clearProgress() {
    if (!shown_) return;
    std::fputs("\r\033[K", options_.err);
    shown_ = false;
  }

 private:
  const std::vector<Task>& tasks_;
  std::vector<Collected>& collected_;
  const PoolOptions& options_;
  size_t next_ = 0;
  bool shown_ = false;
  std::string lastProgress_;
};

void takeBytes(Collected& c, const char* data, size_t n) {
  c.partial.append(data, n);
  size_t start = 0;
  for (;;) {
    const size_t cut = c.partial.find('\n', start);
    if (cut == std::string::npos) break;
    c.lines.push_back(c.partial.substr(start, cut - start));
    start = cut + 1;
  }
  c.partial.erase(0, start);
}

void finishLines(Collected& c) {
  if (!c.partial.empty()) c.lines.push_back(std::move(c.partial));
  c.partial.clear();
}

// Starts the task with its stdout and stderr on a fresh pipe and its stdin
// on /dev/null. The error text when it cannot.
std::string start(const Task& task, Running& r) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::string("cannot make a pipe: ") + strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  std::vector<char*> argv;
  for (const std::string& a : task.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return "cannot start " + task.argv[0] + ": " + strerror(rc);
  }
  r.pid = pid;
  r.fd = fds[0];
  return {};
}

}  // namespace

std::vector<TaskOutcome> runTasks(const std::vector<Task>& tasks, const PoolOptions& options) {
  std::vector<TaskOutcome> outcomes(tasks.size());
  std::vector<Collected> collected(tasks.size());
  Printer printer(tasks, collected, options);
  std::vector<Running> running;
  const size_t limit = size_t(options.jobs < 1 ? 1 : options.jobs);
  size_t nextTask = 0;
  size_t done = 0;

  // A child that dies must not take this process with it on its next write.
  struct sigaction ignore{}, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);

  auto finish = [&](size_t task) {
    finishLines(collected[task]);
    collected[task].done = true;
    ++done;
  };

  while (done < tasks.size()) {
    while (running.size() < limit && nextTask < tasks.size()) {
      const size_t t = nextTask++;
      if (tasks[t].argv.empty()) {
        for (const std::string& l : tasks[t].presetLines) collected[t].lines.push_back(l);
        finish(t);
        continue;
      }
      Running r;
      r.task = t;
      const std::string error = start(tasks[t], r);
      if (!error.empty()) {
        collected[t].lines.push_back(error);
        finish(t);
        continue;
      }
      running.push_back(r);
    }
    printer.flush();
    if (!running.empty()) printer.progress(done, tasks[running.front().task].name);
    if (running.empty()) continue;

    std::vector<pollfd> fds;
    for (const Running& r : running) fds.push_back({r.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;  // cannot happen with valid descriptors; the waits below still reap
    }
    for (size_t i = running.size(); i-- > 0;) {
      if (fds[i].revents == 0) continue;
      Running& r = running[i];
      char buffer[kReadChunk];
      const ssize_t n = read(r.fd, buffer, sizeof buffer);
      if (n > 0) {
        takeBytes(collected[r.task], buffer, size_t(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // End of output: the child has ended or is about to.
      close(r.fd);
      int status = 0;
      while (waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
      }
      TaskOutcome& o = outcomes[r.task];
      o.ran = true;
      if (WIFEXITED(status)) {
        o.exitStatus = WEXITSTATUS(status);
      } else if (WIFSIGNALED(status)) {
        o.signal = WTERMSIG(status);
        finishLines(collected[r.task]);
        collected[r.task].lines.push_back(std::string("the conversion crashed (") + strsignal(o.signal) + ")");
      }
      finish(r.task);
      running.erase(running.begin() + std::ptrdiff_t(i));
    }
  }
  printer.flush();
  printer.clearProgress();
  std::fflush(options.err);
  sigaction(SIGPIPE, &previous, nullptr);
  return outcomes;
}

}  // namespace ql::qlconv
