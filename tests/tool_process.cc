#include "tool_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "watchdog.h"

namespace tpjconv::testing {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int start_tool(const std::filesystem::path& work, const std::vector<std::string>& args,
               const ToolStreams& streams) {
  std::vector<char*> argv;
  const bool drop = streams.as_other_user && geteuid() == 0;
  const std::string groups = "--groups=" + std::to_string(streams.other_user_group);
  if (drop) {
    for (const char* a : {"setpriv", "--reuid=65534", "--regid=65534",
                          streams.other_user_group != 0 ? groups.c_str() : "--clear-groups",
                          "--"}) {
      argv.push_back(const_cast<char*>(a));
    }
  }
  argv.push_back(const_cast<char*>(TPJCONV_BINARY));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(work.c_str()) != 0) _exit(127);
  const int how = O_WRONLY | O_CREAT | (streams.append ? O_APPEND : O_TRUNC);
  const int out = open(streams.out.c_str(), how, 0644);
  const int err = open(streams.err.c_str(), how, 0644);
  if (out < 0 || err < 0) _exit(127);
  dup2(out, 1);
  dup2(err, 2);
  if (streams.in.empty()) {
    close(0);
  } else {
    const int in = open(streams.in.c_str(), O_RDONLY);
    if (in < 0) _exit(127);
    dup2(in, 0);
  }
  for (int fd = 3; fd < 64; ++fd) close(fd);
  if (streams.address_space > 0) {
    const rlimit limit{static_cast<rlim_t>(streams.address_space),
                       static_cast<rlim_t>(streams.address_space)};
    setrlimit(RLIMIT_AS, &limit);
  }
  for (const std::string& setting : streams.environment) putenv(strdup(setting.c_str()));
  if (drop) {
    execvp("setpriv", argv.data());
  } else {
    execv(TPJCONV_BINARY, argv.data());
  }
  _exit(127);
}

unsigned other_user_id() { return geteuid() == 0 ? 65534u : static_cast<unsigned>(geteuid()); }
unsigned other_group_id() { return geteuid() == 0 ? 65534u : static_cast<unsigned>(getegid()); }

int wait_tool(int pid) {
  // A run that hangs is ended at the step limit, and the test fails saying so.
  const auto deadline = std::chrono::steady_clock::now() + kStepLimit;
  auto pause = std::chrono::microseconds(100);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the tool did not finish within " << kStepLimit.count()
                    << " s and was killed";
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int run_tool(const std::filesystem::path& work, const std::vector<std::string>& args,
             const std::filesystem::path& stdin_path, const std::filesystem::path& out_path,
             const std::filesystem::path& err_path) {
  return wait_tool(start_tool(work, args, {stdin_path, out_path, err_path}));
}

int run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                const std::filesystem::path& work, const std::filesystem::path& out_path,
                const std::filesystem::path& err_path, int timeout_seconds) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (chdir(work.c_str()) != 0) _exit(127);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    close(0);
    for (int fd = 3; fd < 64; ++fd) close(fd);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  setpgid(pid, pid);  // also here, so that the group exists before a kill can name it
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(20000);
  }
  // Helpers the program started and left behind go with it.
  kill(-pid, SIGKILL);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace tpjconv::testing
