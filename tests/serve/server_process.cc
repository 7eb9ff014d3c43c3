#include "serve/server_process.h"

#include <httplib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace verrin::testing {

CServerProcess::CServerProcess(const std::vector<std::string>& args) {
  // The server closes a connection whose body it refuses (413) while the
  // client may still be writing it.
  signal(SIGPIPE, SIG_IGN);
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    // The server must not outlive a test that crashes or is killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    // The command may start with an emulator (cross builds): words apart.
    std::vector<std::string> all;
    std::istringstream command(VERRIN_CLI_PATH);
    for (std::string word; command >> word;) all.push_back(word);
    all.insert(all.end(), {"serve", "--port", "0", "--res", VERRIN_DEFAULT_RESOURCE_DIR});
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // "verrin serve: listening on http://127.0.0.1:PORT/"
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (colon == std::string::npos) return;
  const int port = std::atoi(line.c_str() + colon + 1);
  httplib::Client client("127.0.0.1", port);
  for (int i = 0; i < 600; ++i) {
    auto res = client.Get("/healthz");
    if (res && res->status == 200) {
      port_ = port;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

CServerProcess::~CServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int CServerProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  // Two minutes: the requests in flight finish first, and under an emulator
  // (cross builds) they take many times as long.
  for (int i = 0; i < 12000; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

long CServerProcess::ResidentKib() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

}  // namespace verrin::testing
