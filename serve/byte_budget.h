// The bytes of request bodies the service holds at once. A request asks for
// its bytes before its body is read and gives them back once its answer is
// written; requests are admitted in the order they ask, and one larger than
// the capacity is admitted alone.
#ifndef VERRIN_SERVE_BYTE_BUDGET_H_
#define VERRIN_SERVE_BYTE_BUDGET_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>

namespace verrin::serve {

class CByteBudget {
 public:
  explicit CByteBudget(size_t capacity) : capacity_(capacity) {}

  // Waits until `bytes` fit. False when `until` passes or the server stops
  // first.
  bool Acquire(size_t bytes, std::chrono::steady_clock::time_point until,
               const std::atomic<bool>& stopping);
  void Release(size_t bytes);
  // Lets every waiting request look again at `stopping`.
  void Wake();

 private:
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::list<size_t> queue_;
  size_t in_use_ = 0;
  size_t since_trim_ = 0;
};

}  // namespace verrin::serve

#endif  // VERRIN_SERVE_BYTE_BUDGET_H_
