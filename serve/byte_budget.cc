#include "serve/byte_budget.h"

#include <malloc.h>

#include <algorithm>

namespace verrin::serve {
namespace {

using Clock = std::chrono::steady_clock;

// Memory is given back to the system once this many body bytes have passed
// through since the last time and nothing is in flight.
constexpr size_t kTrimAfterBytes = 256 << 10;

}  // namespace

bool CByteBudget::Acquire(size_t bytes, Clock::time_point until,
                          const std::atomic<bool>& stopping) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto ticket = queue_.insert(queue_.end(), bytes);
  auto fits = [&] {
    return queue_.begin() == ticket && (in_use_ == 0 || in_use_ + bytes <= capacity_);
  };
  while (!fits()) {
    if (stopping.load() || Clock::now() >= until) {
      queue_.erase(ticket);
      cv_.notify_all();  // the next in line may fit now
      return false;
    }
    cv_.wait_until(lock, std::min(until, Clock::now() + std::chrono::milliseconds(200)));
  }
  queue_.erase(ticket);
  in_use_ += bytes;
  since_trim_ += bytes;
  cv_.notify_all();
  return true;
}

void CByteBudget::Release(size_t bytes) {
  bool trim = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    in_use_ -= bytes;
    if (in_use_ == 0 && since_trim_ >= kTrimAfterBytes) {
      since_trim_ = 0;
      trim = true;
    }
    cv_.notify_all();
  }
  // The answers of a burst leave free pages in every thread's heap.
  if (trim) malloc_trim(0);
}

void CByteBudget::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  cv_.notify_all();
}

}  // namespace verrin::serve
