#pragma once
// Runs a program as a child process with extra environment variables and
// collects its exit status and output.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "../platform/keyfile/test_folder.h"

namespace moonwisp::test {

struct ChildResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Starts the program; env entries "NAME=value" are added, "NAME" alone unsets.
inline pid_t startChild(const std::vector<std::string>& args, const std::vector<std::string>& env,
                        const std::string& outPath = "/dev/null", const std::string& errPath = "/dev/null") {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  for (const std::string& entry : env) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) {
      unsetenv(entry.c_str());
    } else {
      setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
  }
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

inline int waitChild(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

inline ChildResult runChild(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  TestFolder scratch;
  ChildResult result;
  result.status = waitChild(startChild(args, env, scratch / "out", scratch / "err"));
  result.out = readFile(scratch / "out");
  result.err = readFile(scratch / "err");
  return result;
}

}  // namespace moonwisp::test
