// Training prints its iterations as one line redrawn with carriage returns,
// which a log file keeps as one endless line. While a CLogLines lives and
// standard error is not a terminal, every carriage return written to
// standard error becomes a line end (a carriage return before a line end is
// dropped), so that a log gets one line per iteration.
#ifndef VERRIN_CLI_LOG_LINES_H_
#define VERRIN_CLI_LOG_LINES_H_

#include <thread>

namespace verrin::cli {

class CLogLines {
 public:
  CLogLines();
  // Restores standard error once everything written before has been passed on.
  ~CLogLines();
  CLogLines(const CLogLines&) = delete;
  CLogLines& operator=(const CLogLines&) = delete;

 private:
  int saved_stderr_ = -1;  // the real standard error while active
  std::thread copier_;
};

}  // namespace verrin::cli

#endif  // VERRIN_CLI_LOG_LINES_H_
