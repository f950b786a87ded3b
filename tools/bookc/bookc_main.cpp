#include <iostream>

#include "runtime/process.h"
#include "tools/bookc/bookc.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  const int status = RunBookc(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
