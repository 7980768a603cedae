// Fixed chunks on std::jthread: no pool, no queue. A thread costs some tens of microseconds to
// start; the callers hand out work of milliseconds or more per chunk.
#include "parallel/parallel.hpp"

#include <sched.h>

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace tramel::parallel {

int available_threads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void for_chunks(std::int64_t count, Threads threads,
                const std::function<void(std::int64_t, std::int64_t)>& body) {
  if (count <= 0) return;
  const std::int64_t chunks = std::min<std::int64_t>(std::max(threads.count, 1), count);
  if (chunks == 1) {
    body(0, count);
    return;
  }
  // Chunk c covers [c*count/chunks, (c+1)*count/chunks): sizes differ by at most one.
  const auto bound = [&](std::int64_t c) { return c * count / chunks; };
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(chunks));
  const auto run = [&](std::int64_t c) {
    try {
      body(bound(c), bound(c + 1));
    } catch (...) {
      errors[static_cast<std::size_t>(c)] = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> workers;
    workers.reserve(static_cast<std::size_t>(chunks - 1));
    for (std::int64_t c = 1; c < chunks; ++c) workers.emplace_back(run, c);
    run(0);
  }  // the workers join here
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

void for_blocks(std::int64_t count, std::int64_t block, Threads threads,
                const std::function<void(std::int64_t, std::int64_t)>& body) {
  for_chunks((count + block - 1) / block, threads, [&](std::int64_t first, std::int64_t last) {
    body(first * block, std::min(count, last * block));
  });
}

void for_each_index(std::int64_t count, Threads threads,
                    const std::function<void(std::int64_t)>& body) {
  for_chunks(count, threads, [&](std::int64_t first, std::int64_t last) {
    for (std::int64_t i = first; i < last; ++i) body(i);
  });
}

}  // namespace tramel::parallel
