// Storage for large tables filled at load time (the model's, the lexicons').
#ifndef VERRIN_TEXT_LARGE_TABLE_H_
#define VERRIN_TEXT_LARGE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace verrin {

// An allocator for tables of megabytes that are filled at once, such as the
// vocabularies of a model being loaded. On Linux a block of 2 MB or more is
// aligned to 2 MB and offered to the kernel for transparent huge pages, so
// that filling it costs a page fault per 2 MB instead of one per 4 KB (the
// faults were a good part of a model's load time). Elsewhere, and for smaller
// blocks, it is std::allocator.
template <class T>
class CLargeTableAllocator {
 public:
  using value_type = T;

  CLargeTableAllocator() noexcept = default;
  template <class U>
  CLargeTableAllocator(const CLargeTableAllocator<U>&) noexcept {}

  T* allocate(size_t count) {
#if defined(__linux__)
    if (Large(count)) {
      const size_t bytes = (count * sizeof(T) + kHugePage - 1) & ~(kHugePage - 1);
      void* block = std::aligned_alloc(kHugePage, bytes);
      if (block == nullptr) throw std::bad_alloc();
      madvise(block, bytes, MADV_HUGEPAGE);  // advice only: a refusal changes nothing
      return static_cast<T*>(block);
    }
#endif
    return std::allocator<T>().allocate(count);
  }
  void deallocate(T* block, size_t count) noexcept {
#if defined(__linux__)
    if (Large(count)) {
      std::free(block);
      return;
    }
#endif
    std::allocator<T>().deallocate(block, count);
  }

  // Elements in one huge page: a table given at least this capacity gets
  // the huge-page treatment whatever its size.
  static constexpr size_t kHugePageCount = (size_t{2} << 20) / sizeof(T);

  friend bool operator==(const CLargeTableAllocator&, const CLargeTableAllocator&) { return true; }
  friend bool operator!=(const CLargeTableAllocator&, const CLargeTableAllocator&) { return false; }

 private:
  static constexpr size_t kHugePage = size_t{2} << 20;
  // Blocks of at least one huge page, and small enough that their size
  // rounded up to whole huge pages does not overflow.
  static bool Large(size_t count) {
    return count >= kHugePage / sizeof(T) && count <= (SIZE_MAX - kHugePage) / sizeof(T);
  }
};

// A vector of such a table.
template <class T>
using CLargeTable = std::vector<T, CLargeTableAllocator<T>>;

// Room for `count` elements of a table the tagger reads at random: one of
// 256 KB to 2 MB gets the room of a whole huge page, so that it too lies on
// one 2 MB page where the kernel allows, instead of on 64 to 512 small
// pages whose look-ups cost page-table walks. The unused room costs memory
// only where the kernel backs it with a huge page.
template <class T>
void ReserveForRandomReads(CLargeTable<T>& table, size_t count) {
  const size_t page = CLargeTableAllocator<T>::kHugePageCount;
  table.reserve(count >= page / 8 && count < page ? page : count);
}

}  // namespace verrin

#endif  // VERRIN_TEXT_LARGE_TABLE_H_
