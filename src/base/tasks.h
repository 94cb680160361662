// Tasks on several threads for the symmetric searches: tasks run in order
// of their numbers, and a task that finds a wheel nothing after it can beat
// keeps later ones from starting. Plain data in and out; nothing process-wide.
#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace design {

// Runs tasks 0..count-1 on the threads; a task may lower `stop_after` so
// that no later task starts (the ones before it still run, so the result
// does not depend on which thread got there first).
// An exception (out of memory) ends every thread's work and reaches the caller.
template <class F>
inline void run_tasks(size_t count, int threads, std::atomic<size_t> &stop_after, F task) {
  std::atomic<size_t> next{0};
  std::exception_ptr failed;
  std::mutex lock;
  auto work = [&] {
    try {
      for (size_t i; (i = next++) < count;)
        if (i <= stop_after) task(i);
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock);
      if (!failed) failed = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> pool;
  // A thread that cannot start (no memory for its stack) leaves its tasks to the others.
  try {
    for (int i = 1; i < std::min<int>(threads, (int)count); i++) pool.emplace_back(work);
  } catch (const std::system_error &) {
  }
  work();
  for (auto &th : pool) th.join();
  if (failed) std::rethrow_exception(failed);
}

}  // namespace design
