// Tagging on every core while keeping the input order: one thread reads
// items, a pool of workers (each with its own tagger) turns them into
// results, and the calling thread hands the results on in input order.
#ifndef VERRIN_CLI_LINE_PIPELINE_H_
#define VERRIN_CLI_LINE_PIPELINE_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace verrin::cli {

// The default number of workers: the number of cores (at least 1).
int DefaultThreadCount();

// Parses the value of --threads (a whole number from 1 to 1024, or "0" for
// the default); false on anything else.
bool ParseThreadCount(const std::string& text, int* threads);

template <typename In, typename Out>
struct PipelineSteps {
  // Reads the next item; false at the end of the input. Runs on a reader
  // thread of its own, so a read that waits for a pipe never holds back the
  // results of lines already read.
  std::function<bool(In&)> read;
  // Makes the work function of worker `index` (0 to threads - 1); called
  // once on each worker thread, which keeps what it returns to itself. Make
  // the workers' taggers before the run and destroy them after it.
  std::function<std::function<void(In&, Out&)>(int index)> make_worker;
  // Takes the results in input order on the calling thread. `more_ready`
  // tells whether the next result is already waiting: a writer flushes its
  // output when it is not, so that a line from a pipe is answered at once.
  // Returning false stops the pipeline.
  std::function<bool(Out&, bool more_ready)> write;
};

// Runs the steps with `threads` workers and at most `window` items read but
// not yet written. Returns false when `write` stopped it.
template <typename In, typename Out>
bool RunPipeline(const PipelineSteps<In, Out>& steps, int threads, size_t window = 0) {
  if (threads < 1) threads = 1;
  if (window == 0) window = 64 * static_cast<size_t>(threads);
  struct Item {
    uint64_t number;
    In in;
  };
  std::mutex mutex;
  std::condition_variable work_ready, result_ready, room;
  std::deque<Item> queue;
  std::map<uint64_t, Out> done;
  uint64_t read_count = 0, written = 0;
  bool input_ended = false, stop = false;

  std::thread reader([&] {
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        room.wait(lock, [&] { return stop || read_count - written < window; });
        if (stop) break;
      }
      Item item{0, In()};
      const bool got = steps.read(item.in);
      std::lock_guard<std::mutex> lock(mutex);
      if (!got) break;
      item.number = read_count++;
      queue.push_back(std::move(item));
      work_ready.notify_one();
    }
    std::lock_guard<std::mutex> lock(mutex);
    input_ended = true;
    work_ready.notify_all();
    result_ready.notify_all();
  });

  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      const std::function<void(In&, Out&)> work = steps.make_worker(t);
      for (;;) {
        Item item{0, In()};
        {
          std::unique_lock<std::mutex> lock(mutex);
          work_ready.wait(lock, [&] { return stop || !queue.empty() || input_ended; });
          if (stop || queue.empty()) return;
          item = std::move(queue.front());
          queue.pop_front();
        }
        Out out;
        work(item.in, out);
        std::lock_guard<std::mutex> lock(mutex);
        done.emplace(item.number, std::move(out));
        if (item.number == written) result_ready.notify_one();
      }
    });
  }

  bool completed = true;
  for (;;) {
    Out out;
    bool more_ready = false;
    {
      std::unique_lock<std::mutex> lock(mutex);
      result_ready.wait(
          lock, [&] { return done.count(written) != 0 || (input_ended && written == read_count); });
      auto next = done.find(written);
      if (next == done.end()) break;  // every item read has been written
      out = std::move(next->second);
      done.erase(next);
      more_ready = done.count(written + 1) != 0;
    }
    const bool go_on = steps.write(out, more_ready);
    std::lock_guard<std::mutex> lock(mutex);
    ++written;
    room.notify_one();
    if (!go_on) {
      stop = true;
      completed = false;
      work_ready.notify_all();
      room.notify_all();
      break;
    }
  }
  reader.join();
  for (std::thread& worker : workers) worker.join();
  return completed;
}

}  // namespace verrin::cli

#endif  // VERRIN_CLI_LINE_PIPELINE_H_
