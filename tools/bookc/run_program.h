// Runs another program of the machine (the signing tool) and collects what
// it prints, without a shell: every argument reaches the program as it is.
#pragma once

#include <string>
#include <vector>

struct TProgramRun {
  bool Started = false;  // false: the program could not be started (Output says why)
  int Status = -1;       // its exit status once it has run
  std::string Output;    // what it wrote on standard output and standard error
};

// argv[0] is the program: a path, or a name looked up in PATH. Arguments
// and output are UTF-8.
TProgramRun RunProgram(const std::vector<std::string>& argv);

// The full path of an executable file named name in one of the PATH
// folders; empty when there is none.
std::string FindInPath(const std::string& name);
