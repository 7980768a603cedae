// Work shared out over threads in fixed, contiguous chunks. Every chunk is one thread's, so
// whatever a chunk computes it computes in its own sequential order, and the result is the
// same for any number of threads: callers never add up partial results across chunks.
#pragma once

#include <cstdint>
#include <functional>

namespace tramel::parallel {

// How many threads a piece of work may use, 1 for the calling thread alone.
struct Threads {
  int count = 1;
  bool single() const { return count <= 1; }
};

// The number of threads this process may run on (its processor affinity), at least 1.
int available_threads();

// Calls body(first, last) for consecutive chunks [first, last) that together cover
// [0, count), at most `threads.count` of them, each on a thread of its own (the first on the
// calling thread). Returns when every chunk is done; an exception thrown by a chunk is thrown
// again here, after all chunks have ended. With one thread, or count below 2, the whole range
// is one call on the calling thread.
void for_chunks(std::int64_t count, Threads threads,
                const std::function<void(std::int64_t first, std::int64_t last)>& body);

// As for_chunks, with chunks that begin at multiples of `block` (the last ends at `count`).
void for_blocks(std::int64_t count, std::int64_t block, Threads threads,
                const std::function<void(std::int64_t first, std::int64_t last)>& body);
// Calls body(i) for every i in [0, count), the indices shared out in chunks as above.
void for_each_index(std::int64_t count, Threads threads,
                    const std::function<void(std::int64_t index)>& body);

}  // namespace tramel::parallel
