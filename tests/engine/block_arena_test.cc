#include "engine/block_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace verrin {
namespace {

struct Record {
  Record* next;
  double value;
  int32_t label;
};

TEST(BlockArenaTest, AllocationsAreAlignedDistinctAndStable) {
  BlockArena arena;
  std::vector<Record*> records;
  // Far more than one block holds.
  for (int i = 0; i < 10000; ++i) {
    Record* r = arena.New<Record>();
    ASSERT_EQ(reinterpret_cast<uintptr_t>(r) % alignof(Record), 0u);
    EXPECT_EQ(r->next, nullptr);
    EXPECT_EQ(r->value, 0.0);
    r->label = i;
    r->value = i * 0.5;
    records.push_back(r);
  }
  EXPECT_GT(arena.BlocksInUse(), 1u);
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(records[static_cast<size_t>(i)]->label, i);
    ASSERT_EQ(records[static_cast<size_t>(i)]->value, i * 0.5);
  }
  std::set<Record*> distinct(records.begin(), records.end());
  EXPECT_EQ(distinct.size(), records.size());
  // Odd sizes keep later objects aligned.
  arena.Allocate(3);
  double* d = arena.New<double>(2.5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(d) % alignof(double), 0u);
  EXPECT_EQ(*d, 2.5);
}

TEST(BlockArenaTest, ReleaseTurnsUsedBlocksIntoSpareBlocks) {
  BlockArena arena;
  void* first = arena.Allocate(100);
  // Each of these fills most of a block, so none fits beside another.
  for (int i = 0; i < 3; ++i) arena.Allocate(BlockArena::kBlockSize - 64);
  const size_t used = arena.BlocksInUse();
  EXPECT_EQ(used, 4u);
  arena.Release();
  EXPECT_EQ(arena.BlocksInUse(), 0u);
  EXPECT_EQ(arena.SpareBlocks(), used);
  // The next clause is carved from a spare block, not the heap.
  void* again = arena.Allocate(100);
  EXPECT_NE(again, nullptr);
  EXPECT_EQ(arena.SpareBlocks(), used - 1);
  // A second release frees the spare blocks that went unused.
  arena.Release();
  EXPECT_EQ(arena.SpareBlocks(), 1u);
  (void)first;
}

TEST(BlockArenaTest, OversizedRequestsGetTheirOwnBlock) {
  BlockArena arena;
  const size_t big = BlockArena::kBlockSize * 3;
  char* p = static_cast<char*>(arena.Allocate(big));
  std::memset(p, 0x5A, big);
  char* small = static_cast<char*>(arena.Allocate(16));
  EXPECT_EQ(arena.OversizedBlocks(), 1u);
  EXPECT_EQ(arena.BlocksInUse(), 1u);
  EXPECT_TRUE(small < p || small >= p + big);
  int32_t* table = arena.NewArray<int32_t>(100000);
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(table[i], 0);
  EXPECT_EQ(arena.OversizedBlocks(), 2u);
  arena.Release();
  EXPECT_EQ(arena.OversizedBlocks(), 0u);
}

}  // namespace
}  // namespace verrin
