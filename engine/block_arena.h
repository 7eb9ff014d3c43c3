// BlockArena: bump allocation from fixed-size blocks, released all at once.
//
// The decoder takes every node, edge and per-position table of a clause from
// two arenas and gives them back wholesale after the clause. Addresses stay
// stable until Release(). Objects are never destroyed one by one, so only
// trivially destructible types may be placed here.
#ifndef VERRIN_ENGINE_BLOCK_ARENA_H_
#define VERRIN_ENGINE_BLOCK_ARENA_H_

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace verrin {

class BlockArena {
 public:
  // Usable bytes of one regular block.
  static constexpr size_t kBlockSize = 65408;
  // Every request is rounded up to this many bytes, which also aligns every
  // result for pointers and doubles.
  static constexpr size_t kAlignment = alignof(std::max_align_t);

  BlockArena() = default;
  ~BlockArena();
  BlockArena(const BlockArena&) = delete;
  BlockArena& operator=(const BlockArena&) = delete;

  // `bytes` of uninitialised storage (a distinct address even for 0 bytes).
  // A request larger than kBlockSize gets a block of its own. Throws
  // std::bad_alloc when the heap is exhausted.
  void* Allocate(size_t bytes) {
    const size_t rounded =
        bytes == 0 ? kAlignment : (bytes + kAlignment - 1) / kAlignment * kAlignment;
    if (rounded <= static_cast<size_t>(limit_ - cursor_)) {
      void* result = cursor_;
      cursor_ += rounded;
      return result;
    }
    return AllocateSlow(rounded);
  }

  // A value-initialised T (trivially destructible) in arena storage.
  template <typename T, typename... Args>
  T* New(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>, "arena objects are never destroyed");
    return new (Allocate(sizeof(T))) T{std::forward<Args>(args)...};
  }
  // `count` value-initialised Ts.
  template <typename T>
  T* NewArray(size_t count) {
    static_assert(std::is_trivially_destructible_v<T>, "arena objects are never destroyed");
    T* items = static_cast<T*>(Allocate(sizeof(T) * count));
    for (size_t i = 0; i < count; ++i) new (items + i) T();
    return items;
  }

  // Invalidates everything handed out: the blocks in use become the spare
  // blocks for the next clause, earlier spare blocks and oversized blocks go
  // back to the heap.
  void Release();

  // Statistics, for tests and benchmarks.
  size_t BlocksInUse() const;
  size_t SpareBlocks() const;
  size_t OversizedBlocks() const;

 private:
  struct Block {
    Block* next;
    size_t size;  // usable bytes after the header
  };
  static constexpr size_t kHeader = (sizeof(Block) + kAlignment - 1) / kAlignment * kAlignment;

  void* AllocateSlow(size_t rounded);
  static Block* NewBlock(size_t size);
  static void FreeList(Block* list);
  static size_t Count(const Block* list);
  static char* Payload(Block* block) { return reinterpret_cast<char*>(block) + kHeader; }

  Block* used_ = nullptr;  // head is the block being carved
  Block* spare_ = nullptr;
  Block* oversized_ = nullptr;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_BLOCK_ARENA_H_
