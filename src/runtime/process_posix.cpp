#include "runtime/process.h"

#include <dirent.h>

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

int ProcessThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
  }
  return count;
}
