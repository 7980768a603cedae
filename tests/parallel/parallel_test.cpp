// Work shared out in chunks: the chunks tile [0, count) in order, at most one per thread, the
// first on the calling thread; small or single-threaded work runs inline; an exception from a
// chunk comes back only after every chunk has ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "parallel/parallel.hpp"

namespace tramel::parallel {
namespace {

struct Chunk {
  std::int64_t first;
  std::int64_t last;
  std::thread::id thread;
};

// The chunks of one call, in the order of their first index.
std::vector<Chunk> chunks_of(std::int64_t count, int threads) {
  std::mutex mutex;
  std::vector<Chunk> chunks;
  for_chunks(count, Threads{threads}, [&](std::int64_t first, std::int64_t last) {
    const std::lock_guard<std::mutex> lock(mutex);
    chunks.push_back({first, last, std::this_thread::get_id()});
  });
  std::sort(chunks.begin(), chunks.end(),
            [](const Chunk& a, const Chunk& b) { return a.first < b.first; });
  return chunks;
}

TEST(ForChunks, ChunksTileTheRangeInOrderOnePerThread) {
  for (const std::int64_t count : {2, 3, 5, 7, 64, 1001})
    for (const int threads : {2, 3, 4, 8, 16}) {
      SCOPED_TRACE("count " + std::to_string(count) + ", threads " + std::to_string(threads));
      const std::vector<Chunk> chunks = chunks_of(count, threads);
      ASSERT_FALSE(chunks.empty());
      EXPECT_LE(chunks.size(), static_cast<std::size_t>(threads));
      // Contiguous, non-empty, from 0 to count: every index in exactly one chunk.
      std::int64_t next = 0;
      for (const Chunk& c : chunks) {
        EXPECT_EQ(c.first, next);
        EXPECT_LT(c.first, c.last);
        next = c.last;
      }
      EXPECT_EQ(next, count);
      // The first chunk on the calling thread, every chunk on a thread of its own.
      EXPECT_EQ(chunks.front().thread, std::this_thread::get_id());
      std::set<std::thread::id> ids;
      for (const Chunk& c : chunks) ids.insert(c.thread);
      EXPECT_EQ(ids.size(), chunks.size());
    }
}

// One thread (or a count of threads below 1), or fewer than two indices: the whole range in
// one call on the calling thread; no index, no call.
TEST(ForChunks, SmallOrSingleThreadedWorkRunsInline) {
  const struct {
    std::int64_t count;
    int threads;
    std::size_t calls;
  } cases[] = {
      {100, 1, 1}, {100, 0, 1}, {100, -3, 1}, {1, 8, 1}, {0, 8, 0}, {-5, 8, 0}, {0, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("count " + std::to_string(c.count) + ", threads " + std::to_string(c.threads));
    const std::vector<Chunk> chunks = chunks_of(c.count, c.threads);
    ASSERT_EQ(chunks.size(), c.calls);
    if (c.calls == 0) continue;
    EXPECT_EQ(chunks[0].first, 0);
    EXPECT_EQ(chunks[0].last, c.count);
    EXPECT_EQ(chunks[0].thread, std::this_thread::get_id());
  }
}

// A chunk that throws, on a worker or on the calling thread: the exception reaches the caller
// only when the other chunks, slower on purpose, have all ended.
TEST(ForChunks, ExceptionComesBackAfterEveryChunkEnded) {
  constexpr int kThreads = 4;
  for (const std::int64_t thrower : {0, 2}) {
    SCOPED_TRACE("throwing chunk starts at " + std::to_string(thrower));
    std::atomic<int> ended{0};
    bool caught = false;
    try {
      for_chunks(kThreads, Threads{kThreads}, [&](std::int64_t first, std::int64_t) {
        if (first == thrower) throw std::runtime_error("chunk failed");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ++ended;
      });
    } catch (const std::runtime_error& e) {
      caught = true;
      EXPECT_STREQ(e.what(), "chunk failed");
      EXPECT_EQ(ended.load(), kThreads - 1);
    }
    EXPECT_TRUE(caught);
  }
}

TEST(ForEachIndex, EveryIndexExactlyOnce) {
  for (const std::int64_t count : {0, 1, 2, 9, 1000})
    for (const int threads : {1, 2, 3, 7}) {
      SCOPED_TRACE("count " + std::to_string(count) + ", threads " + std::to_string(threads));
      std::vector<std::atomic<int>> visits(static_cast<std::size_t>(count));
      for_each_index(count, Threads{threads},
                     [&](std::int64_t i) { ++visits[static_cast<std::size_t>(i)]; });
      for (std::int64_t i = 0; i < count; ++i)
        EXPECT_EQ(visits[static_cast<std::size_t>(i)].load(), 1) << i;
    }
}

TEST(ForBlocks, ChunksOfWholeBlocksTileTheRange) {
  for (const std::int64_t count : {0, 1, 4, 9, 1001})
    for (const int threads : {1, 2, 3, 7}) {
      SCOPED_TRACE("count " + std::to_string(count) + ", threads " + std::to_string(threads));
      std::mutex mutex;
      std::vector<std::pair<std::int64_t, std::int64_t>> chunks;
      for_blocks(count, 4, Threads{threads}, [&](std::int64_t first, std::int64_t last) {
        const std::lock_guard<std::mutex> lock(mutex);
        chunks.emplace_back(first, last);
      });
      std::sort(chunks.begin(), chunks.end());
      std::int64_t next = 0;
      for (const auto& [first, last] : chunks) {
        EXPECT_EQ(first, next);
        EXPECT_EQ(first % 4, 0);
        EXPECT_LT(first, last);
        next = last;
      }
      EXPECT_EQ(next, count);
    }
}

}  // namespace
}  // namespace tramel::parallel
