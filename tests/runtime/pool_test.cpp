// Record pools: growth by doubling at the margin, index stability, reuse of the last freed
// record, list links, and release of what a record owns.
#include <gtest/gtest.h>

#include "runtime/runtime.h"

namespace {

struct TestRecord {
  RecordLinks links;
  int32_t value;
  int32_t defaulted;
};

int gReleased = 0;

RecordPool MakePool(int32_t initialCapacity, int32_t margin) {
  RecordPool pool{};
  pool.name = "test";
  pool.recordSize = sizeof(TestRecord);
  pool.initialCapacity = initialCapacity;
  pool.growMargin = margin;
  pool.initRecord = [](void* r) { static_cast<TestRecord*>(r)->defaulted = -1; };
  pool.releaseRecord = [](void*) { ++gReleased; };
  return pool;
}

TEST(RecordPool, GrowsByDoublingAndKeepsIndices) {
  RecordPool pool = MakePool(2, 4);
  ASSERT_TRUE(CreateRecordPool(pool));
  std::vector<int32_t> capacities;
  std::vector<int32_t> indices;
  for (int i = 0; i < 10; ++i) {
    int32_t index = AllocRecord(pool);
    ASSERT_GE(index, 0);
    RecordAt<TestRecord>(pool, index)->value = 100 + i;
    indices.push_back(index);
    capacities.push_back(pool.capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 8, 8, 8, 16, 16, 16, 16, 16}));
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(RecordAt<TestRecord>(pool, indices[static_cast<size_t>(i)])->value, 100 + i);
    EXPECT_EQ(RecordAt<TestRecord>(pool, indices[static_cast<size_t>(i)])->defaulted, -1);
  }
  EXPECT_EQ(pool.count, 10);
  DestroyRecordPool(pool);
}

TEST(RecordPool, ImagePoolMarginAndReuseOfLastFreed) {
  RecordPool pool = MakePool(16, 12);
  ASSERT_TRUE(CreateRecordPool(pool));
  int32_t a = AllocRecord(pool), b = AllocRecord(pool), c = AllocRecord(pool), d = AllocRecord(pool);
  AllocRecord(pool);  // count 4 is not above 16 - 12
  EXPECT_EQ(pool.capacity, 16);
  AllocRecord(pool);  // count 5 is: grows
  EXPECT_EQ(pool.capacity, 32);
  gReleased = 0;
  FreeRecord(pool, b);
  FreeRecord(pool, d);
  EXPECT_EQ(gReleased, 2);
  EXPECT_EQ(AllocRecord(pool), d);
  EXPECT_EQ(AllocRecord(pool), b);
  // The used list runs in allocation order with consistent back links.
  std::vector<int32_t> order;
  for (int32_t i = pool.usedHead; i >= 0; i = RecordAt<TestRecord>(pool, i)->links.next) {
    int32_t prev = RecordAt<TestRecord>(pool, i)->links.prev;
    EXPECT_EQ(prev >= 0 ? RecordAt<TestRecord>(pool, prev)->links.next : pool.usedHead, i);
    order.push_back(i);
  }
  EXPECT_EQ(order.size(), 6u);  // a, c, e, f, then d and b again
  EXPECT_EQ(order.front(), a);
  EXPECT_EQ(order.back(), b);
  EXPECT_EQ(pool.usedTail, b);
  (void)c;
  DestroyRecordPool(pool);
}

// A growth that fails (here the parallel data refuses) is error 101 and leaves the pool as it
// was: its records, capacity, count and free list; a later growth that works goes on from there.
TEST(RecordPool, FailedGrowthIsOutOfMemoryAndChangesNothing) {
  static bool refuse = false;
  RecordPool pool = MakePool(2, 1);
  pool.growParallel = [](int32_t) { return !refuse; };
  ASSERT_TRUE(CreateRecordPool(pool));
  const int32_t first = AllocRecord(pool);
  const int32_t second = AllocRecord(pool);  // count 1 is not above 2 - 1
  RecordAt<TestRecord>(pool, first)->value = 11;
  RecordAt<TestRecord>(pool, second)->value = 22;
  EXPECT_EQ(pool.capacity, 2);
  refuse = true;
  ClearRuntimeError();
  EXPECT_EQ(AllocRecord(pool), -1);
  EXPECT_EQ(RuntimeErrorNumber(), 101);
  EXPECT_EQ(pool.capacity, 2);
  EXPECT_EQ(pool.count, 2);
  EXPECT_EQ(pool.usedTail, second);
  ClearRuntimeError();
  refuse = false;
  const int32_t third = AllocRecord(pool);
  EXPECT_EQ(RuntimeErrorNumber(), 0);
  EXPECT_EQ(pool.capacity, 4);
  EXPECT_EQ(third, 2);
  EXPECT_EQ(RecordAt<TestRecord>(pool, first)->value, 11);
  EXPECT_EQ(RecordAt<TestRecord>(pool, second)->value, 22);
  EXPECT_EQ(AllocRecord(pool), 3);
  DestroyRecordPool(pool);
}

TEST(RecordPool, RegisteredPoolsAreCreatedAndFreedTogether) {
  static RecordPool pool = MakePool(8, 4);
  RegisterRecordPool(&pool);
  RegisterRecordPool(&pool);  // once is enough
  ASSERT_TRUE(CreateRecordPools());
  EXPECT_EQ(pool.capacity, 8);
  EXPECT_GE(AllocRecord(pool), 0);
  FreeRecordPools();
  EXPECT_EQ(pool.records, nullptr);
  EXPECT_EQ(pool.count, 0);
}

}  // namespace
