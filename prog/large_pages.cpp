// The executable's allocation functions: stores of several megabytes (the sample, a series and
// its residual, the fit's work) are placed on transparent huge pages where the system offers
// them, and what the analysis frees stays with the allocator for the next series. Page faults
// then take a small share of a run instead of a tenth or more on a virtual machine. Nothing
// else changes: every other allocation goes to malloc as before. Left out under the
// sanitizers, which bring allocation functions of their own.
#include <malloc.h>
#include <sys/mman.h>

#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TRAMEL_OWN_ALLOCATION 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TRAMEL_OWN_ALLOCATION 0
#endif
#endif
#ifndef TRAMEL_OWN_ALLOCATION
#define TRAMEL_OWN_ALLOCATION 1
#endif

#if TRAMEL_OWN_ALLOCATION

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Freed stores are kept (no trimming, no separate mappings) so that the next series reuses
// pages already mapped.
const bool kKeepFreed = [] {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  return true;
}();

void* allocate(std::size_t n) {
  if (n >= kHugePage) {
    const std::size_t rounded = (n + kHugePage - 1) / kHugePage * kHugePage;
    if (void* p = std::aligned_alloc(kHugePage, rounded)) {
      madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without huge pages nothing changes
      return p;
    }
  }
  return std::malloc(n == 0 ? 1 : n);
}

}  // namespace

void* operator new(std::size_t n) {
  if (void* p = allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#endif
