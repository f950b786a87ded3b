#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/bookc/run_program.h"

TProgramRun RunProgram(const std::vector<std::string>& argv) {
  TProgramRun run;
  if (argv.empty()) return run;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The output pipe, and one that tells the parent why exec failed: it is
  // closed on a successful exec, so reading it gives nothing then.
  int output[2], failure[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    run.Output = std::strerror(errno);
    return run;
  }
  if (pipe2(failure, O_CLOEXEC) != 0) {
    run.Output = std::strerror(errno);
    close(output[0]);
    close(output[1]);
    return run;
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(output[1], STDOUT_FILENO);
    dup2(output[1], STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    execvp(args[0], args.data());
    const int error = errno;
    (void)!write(failure[1], &error, sizeof(error));
    _exit(127);
  }
  close(output[1]);
  close(failure[1]);
  if (child < 0) {
    run.Output = std::strerror(errno);
    close(output[0]);
    close(failure[0]);
    return run;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(output[0], buffer, sizeof(buffer));
    if (got > 0) {
      run.Output.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(output[0]);
  int execError = 0;
  const bool failed = read(failure[0], &execError, sizeof(execError)) == sizeof(execError);
  close(failure[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (failed) {
    run.Output = std::strerror(execError);
    return run;
  }
  run.Started = true;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  const std::string folders = path;
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + name;
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}
