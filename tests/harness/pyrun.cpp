// kvd_pyrun script.py [args...]: runs the script with /usr/bin/python3 in an
// environment whose Driver Manager reads the harness's private ini files
// (see harness.h) and whose PYTHONPATH holds the scripts' shared module
// (kvd_pyodbc.py), and exits with the script's status.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "harness.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s script.py [args...]\n", argv[0]);
    return 2;
  }
  harness::DmInit();
  setenv("KVD_BUILD_DIR", KVD_BUILD_DIR, 1);
  setenv("KVD_SOURCE_DIR", KVD_SOURCE_DIR, 1);
  setenv("PYTHONDONTWRITEBYTECODE", "1", 1);
  // The scripts' shared module (kvd_pyodbc.py).
  setenv("PYTHONPATH", KVD_SOURCE_DIR "/tests/harness", 1);
  std::vector<char *> args;
  args.push_back(const_cast<char *>("/usr/bin/python3"));
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("kvd_pyrun: fork");
    return 2;
  }
  if (pid == 0) {
    execv(args[0], args.data());
    std::perror("kvd_pyrun: /usr/bin/python3");
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  std::fprintf(stderr, "kvd_pyrun: script ended by signal %d\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return 1;
}
