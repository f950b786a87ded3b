// The program's command line as UTF-8 strings (without the program name), on
// Windows read from the wide command line so that no name is lost to the
// ANSI code page.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The number of threads the process runs now.
int ProcessThreadCount();

// The full path of the running program's file, as UTF-8.
std::string ExecutablePath();
