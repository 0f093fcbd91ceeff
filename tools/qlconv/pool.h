// Runs tasks as child processes, at most N at once, and passes on what each
// writes to standard error as lines prefixed with the task's name. A task's
// lines come out together and in task order, whatever order the tasks end
// in: the lines of the earliest unfinished task stream as they arrive, the
// others wait for their turn.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace ql::qlconv {

struct Task {
  std::string name;               // the prefix of its lines
  std::vector<std::string> argv;  // argv[0] is the program's path; empty: not run
  // For a task that is not run: its lines; it counts as failed.
  std::vector<std::string> presetLines;
};

struct TaskOutcome {
  bool ran = false;
  int exitStatus = -1;  // the child's exit status; -1 when it did not exit
  int signal = 0;       // the signal that ended it, if one did
  bool succeeded() const { return ran && exitStatus == 0; }
};

struct PoolOptions {
  int jobs = 1;
  // A line "[done/total] name" on `err` while tasks run, rewritten in place;
  // for terminals only.
  bool progress = false;
  FILE* err = stderr;
};

// Runs every task and returns their outcomes in task order. A child that
// cannot be started, or that ends by a signal, fails with a line saying so.
std::vector<TaskOutcome> runTasks(const std::vector<Task>& tasks, const PoolOptions& options);

}  // namespace ql::qlconv
