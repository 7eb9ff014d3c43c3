// Runs `verrin serve --port 0` as a child process for the tests that speak
// HTTP to it.
#ifndef VERRIN_TESTS_SERVE_SERVER_PROCESS_H_
#define VERRIN_TESTS_SERVE_SERVER_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace verrin::testing {

class CServerProcess {
 public:
  // Starts the server with the bundled resources and `args`, reads the port
  // it prints and waits until /healthz answers 200. port() is 0 on failure.
  explicit CServerProcess(const std::vector<std::string>& args);
  // Kills the server if Stop was not called.
  ~CServerProcess();

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Sends `signal` and waits; returns the exit status, or -1 when the server
  // did not exit within 20 s or died of a signal.
  int Stop(int signal);
  // Resident memory of the server in KiB (VmRSS), 0 when unknown.
  long ResidentKib() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace verrin::testing

#endif  // VERRIN_TESTS_SERVE_SERVER_PROCESS_H_
