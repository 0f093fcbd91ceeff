// The folders the outputs go into. The conversions of one run run at once and
// several write into one folder, so the folders are made before any of them
// starts and tidied after all have ended: a conversion that fails must not
// take away a folder another one is about to write into.
#pragma once

#include <filesystem>
#include <vector>

#include "tools/qlconv/cli.h"

namespace ql::qlconv {

class OutputFolders {
 public:
  // Makes the folder of every job's output that is missing, with its missing
  // parents. A job whose folder cannot be made gets the reason as its problem.
  void prepare(std::vector<Job>& jobs);
  // Removes the folders prepare() made that are still empty, innermost
  // first; folders that were there before are never touched.
  void tidy();

 private:
  std::vector<fs::path> made_;  // in the order made: a parent before its children
};

}  // namespace ql::qlconv
