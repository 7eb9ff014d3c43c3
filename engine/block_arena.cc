#include "engine/block_arena.h"

#include <cstdlib>

namespace verrin {

BlockArena::~BlockArena() {
  FreeList(used_);
  FreeList(spare_);
  FreeList(oversized_);
}

BlockArena::Block* BlockArena::NewBlock(size_t size) {
  void* memory = std::malloc(kHeader + size);
  if (memory == nullptr) throw std::bad_alloc();
  Block* block = static_cast<Block*>(memory);
  block->next = nullptr;
  block->size = size;
  return block;
}

void BlockArena::FreeList(Block* list) {
  while (list != nullptr) {
    Block* next = list->next;
    std::free(list);
    list = next;
  }
}

size_t BlockArena::Count(const Block* list) {
  size_t n = 0;
  for (; list != nullptr; list = list->next) ++n;
  return n;
}

void* BlockArena::AllocateSlow(size_t bytes) {
  if (bytes > kBlockSize) {
    Block* block = NewBlock(bytes);
    block->next = oversized_;
    oversized_ = block;
    return Payload(block);
  }
  // The current block (if any) cannot hold the request: carve a fresh one.
  Block* block = spare_;
  if (block != nullptr) {
    spare_ = block->next;
  } else {
    block = NewBlock(kBlockSize);
  }
  block->next = used_;
  used_ = block;
  cursor_ = Payload(block);
  limit_ = cursor_ + block->size;
  void* result = cursor_;
  cursor_ += bytes;
  return result;
}

void BlockArena::Release() {
  FreeList(spare_);
  spare_ = used_;
  used_ = nullptr;
  FreeList(oversized_);
  oversized_ = nullptr;
  cursor_ = nullptr;
  limit_ = nullptr;
}

size_t BlockArena::BlocksInUse() const { return Count(used_); }
size_t BlockArena::SpareBlocks() const { return Count(spare_); }
size_t BlockArena::OversizedBlocks() const { return Count(oversized_); }

}  // namespace verrin
